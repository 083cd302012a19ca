#include <windows.h>
// after windows.h, which they need
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <QWidget>
#include <QWindow>

#include "platform/hidden_link_win32.h"
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

// The owner window's procedure while the menu shows: the messages that build
// and draw the menu's submenus (Send To, Open With, a shell extension's own)
// go to the menu object, which fills them in as they open; the rest go on
// to the window's own procedure. Installed for the length of the menu only.
class MenuMessages {
 public:
  MenuMessages(HWND hwnd, IContextMenu* menu) : m_hwnd(hwnd) {
    menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(m_menu3.put()));
    if (!m_menu3.p) menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(m_menu2.put()));
    if (!m_menu3.p && !m_menu2.p) return;  // a menu without submenus of its own
    s_current = this;
    m_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuMessages::procedure)));
    if (!m_previous) s_current = nullptr;
  }
  ~MenuMessages() {
    if (!m_previous) return;
    SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    s_current = nullptr;
  }
  MenuMessages(const MenuMessages&) = delete;
  MenuMessages& operator=(const MenuMessages&) = delete;

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    MenuMessages* self = s_current;
    if (!self) return DefWindowProcW(hwnd, message, w, l);  // never: removed before it goes
    switch (message) {
      case WM_INITMENUPOPUP:
      case WM_DRAWITEM:
      case WM_MEASUREITEM:
      case WM_MENUCHAR: {
        LRESULT result = 0;
        if (self->m_menu3.p && SUCCEEDED(self->m_menu3->HandleMenuMsg2(message, w, l, &result))) return result;
        if (self->m_menu2.p && message != WM_MENUCHAR && SUCCEEDED(self->m_menu2->HandleMenuMsg(message, w, l)))
          return message == WM_INITMENUPOPUP ? 0 : TRUE;
        break;
      }
      default: break;
    }
    return CallWindowProcW(self->m_previous, hwnd, message, w, l);
  }

  static inline MenuMessages* s_current = nullptr;  // the window's thread shows one menu at a time
  HWND m_hwnd;
  ComPtr<IContextMenu3> m_menu3;
  ComPtr<IContextMenu2> m_menu2;
  WNDPROC m_previous = nullptr;
};

}  // namespace

std::optional<ShellMenuFailure> showShellMenu(QWidget* owner, const std::string& path, const QPoint& globalPos) {
  const HWND hwnd = reinterpret_cast<HWND>(owner->window()->winId());
  // Its verbs (Delete, Cut, Rename) would act on the file the link leads to.
  if (win32::isHiddenLink(win32::longPath(path))) return ShellMenuFailure{0, 0, win32::kHiddenLinkReason};
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
  UINT chosen = 0;
  {
    const MenuMessages submenus(hwnd, menu.p);
    chosen = static_cast<UINT>(TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, hwnd, nullptr));
  }
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
