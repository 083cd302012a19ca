#include "platform/busy_window.h"

#include <windows.h>

#include <QWidget>

namespace platform {

namespace {
// A message nobody sends: the look finds nothing, and so takes nothing.
constexpr UINT kNoMessage = 0xBFFF;
constexpr ULONGLONG kEveryMs = 50;
}  // namespace

bool stayResponsive(QWidget* window) {
  static ULONGLONG last = 0;  // only the window's thread calls
  const ULONGLONG now = ::GetTickCount64();
  if (now - last < kEveryMs) return false;
  last = now;
  MSG m;
  ::PeekMessageW(&m, nullptr, kNoMessage, kNoMessage, PM_NOREMOVE);
  // Looked at, never taken: the request is carried out once the work ends.
  const HWND hwnd = window ? reinterpret_cast<HWND>(window->winId()) : nullptr;
  if (!hwnd) return false;
  return ::PeekMessageW(&m, hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) ||
         (::PeekMessageW(&m, hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) && (m.wParam & 0xFFF0) == SC_CLOSE) ||
         (::PeekMessageW(&m, hwnd, WM_NCLBUTTONUP, WM_NCLBUTTONUP, PM_NOREMOVE) && m.wParam == HTCLOSE);
}

}  // namespace platform
