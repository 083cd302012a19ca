#include <windows.h>
// after windows.h, which they need
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <QWidget>
#include <QWindow>

#include "platform/shell_menu.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// Releases a COM interface at the end of the scope.
template <typename T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T** put() { return &p; }
  T* operator->() const { return p; }
};

constexpr UINT kFirstCommand = 1, kLastCommand = 0x7FFF;

}  // namespace

std::optional<ShellMenuFailure> showShellMenu(QWidget* owner, const std::string& path, const QPoint& globalPos) {
  const HWND hwnd = reinterpret_cast<HWND>(owner->window()->winId());
  PIDLIST_ABSOLUTE pidl = nullptr;
  HRESULT hr = SHParseDisplayName(win32::wide(path).c_str(), nullptr, &pidl, 0, nullptr);
  if (FAILED(hr)) return ShellMenuFailure{4, static_cast<uint32_t>(hr)};
  ComPtr<IShellFolder> folder;
  PCUITEMID_CHILD child = nullptr;
  hr = SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(folder.put()), &child);
  if (FAILED(hr)) {
    CoTaskMemFree(pidl);
    return ShellMenuFailure{5, static_cast<uint32_t>(hr)};
  }
  ComPtr<IContextMenu> menu;
  hr = folder->GetUIObjectOf(hwnd, 1, &child, IID_IContextMenu, nullptr, reinterpret_cast<void**>(menu.put()));
  CoTaskMemFree(pidl);
  if (FAILED(hr)) return ShellMenuFailure{6, static_cast<uint32_t>(hr)};
  HMENU popup = CreatePopupMenu();
  hr = menu->QueryContextMenu(popup, 0, kFirstCommand, kLastCommand, CMF_NORMAL);
  if (FAILED(hr)) {
    DestroyMenu(popup);
    return ShellMenuFailure{7, static_cast<uint32_t>(hr)};
  }
  // Qt's coordinates are device-independent, the shell's are pixels.
  const qreal ratio = owner->window()->windowHandle() ? owner->window()->windowHandle()->devicePixelRatio() : 1.0;
  const POINT at{static_cast<LONG>(globalPos.x() * ratio), static_cast<LONG>(globalPos.y() * ratio)};
  const UINT chosen =
      static_cast<UINT>(TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, hwnd, nullptr));
  DestroyMenu(popup);
  if (chosen < kFirstCommand) return std::nullopt;  // dismissed
  CMINVOKECOMMANDINFOEX invoke{};
  invoke.cbSize = sizeof invoke;
  invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
  invoke.hwnd = hwnd;
  invoke.lpVerb = MAKEINTRESOURCEA(chosen - kFirstCommand);
  invoke.lpVerbW = MAKEINTRESOURCEW(chosen - kFirstCommand);
  invoke.nShow = SW_SHOWNORMAL;
  invoke.ptInvoke = at;
  hr = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
  // A verb the user cancelled (a question answered No) is no failure.
  if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED)) return ShellMenuFailure{8, static_cast<uint32_t>(hr)};
  return std::nullopt;
}

}  // namespace platform
