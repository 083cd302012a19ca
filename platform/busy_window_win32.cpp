#include "platform/busy_window.h"

#include <windows.h>

namespace platform {

namespace {
// A message nobody sends: the look finds nothing, and so takes nothing.
constexpr UINT kNoMessage = 0xBFFF;
constexpr ULONGLONG kEveryMs = 50;
}  // namespace

void stayResponsive() {
  static ULONGLONG last = 0;  // only the window's thread calls
  const ULONGLONG now = ::GetTickCount64();
  if (now - last < kEveryMs) return;
  last = now;
  MSG m;
  ::PeekMessageW(&m, nullptr, kNoMessage, kNoMessage, PM_NOREMOVE);
}

}  // namespace platform
