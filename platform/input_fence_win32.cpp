// The fence on Windows: every input message carries the tick count at which
// it was made, on the clock GetTickCount reads. A press for a guarded widget
// made at or before the end of the work is stale; the first input made after
// it lowers the fence.
#include <windows.h>
// after windows.h, which it needs
#include <windowsx.h>

#include <QApplication>

#include "platform/input_fence.h"

namespace platform {

namespace {

enum class Input { None, KeyPress, KeyRelease, ButtonPress, ButtonRelease, Other };

// What a message is, and for a button which one (1 left, 2 right, 3 middle,
// 4 and 5 the extra buttons).
Input inputOf(const MSG& m, uint32_t& button) {
  const auto extra = [&] { return GET_XBUTTON_WPARAM(m.wParam) == XBUTTON2 ? 5u : 4u; };
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return Input::KeyPress;
    case WM_KEYUP:
    case WM_SYSKEYUP: return Input::KeyRelease;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return button = 1, Input::ButtonPress;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: return button = 2, Input::ButtonPress;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: return button = 3, Input::ButtonPress;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK: return button = extra(), Input::ButtonPress;
    case WM_LBUTTONUP: return button = 1, Input::ButtonRelease;
    case WM_RBUTTONUP: return button = 2, Input::ButtonRelease;
    case WM_MBUTTONUP: return button = 3, Input::ButtonRelease;
    case WM_XBUTTONUP: return button = extra(), Input::ButtonRelease;
    default:
      return (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) ||
                     (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST)
                 ? Input::Other
                 : Input::None;
  }
}

}  // namespace

void InputFence::startNative() { qApp->installNativeEventFilter(this); }

void InputFence::stopNative() { qApp->removeNativeEventFilter(this); }

bool InputFence::markNativeEnd(QWidget*) {
  m_endTick = ::GetTickCount();
  return true;
}

bool InputFence::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "windows_generic_MSG" || !message) return false;
  const MSG& m = *static_cast<const MSG*>(message);
  uint32_t button = 0;
  const Input input = inputOf(m, button);
  if (input == Input::None) return false;
  // Compared as a difference, so that the count's wrap after 49 days is no
  // end; the fence is lowered long before that.
  const bool stale = m_nativeRaised && static_cast<int32_t>(m.time - m_endTick) <= 0;
  if (!stale) m_nativeRaised = false;
  switch (input) {
    case Input::KeyPress:
      return stale && dropWithRelease(m_droppedKeys, static_cast<uint32_t>(m.wParam));
    case Input::KeyRelease: return m_droppedKeys.erase(static_cast<uint32_t>(m.wParam)) > 0;
    case Input::ButtonPress:
      // The window's client coordinates, in device pixels.
      return stale && guardedAt(reinterpret_cast<WId>(m.hwnd), QPointF(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam))) &&
             dropWithRelease(m_droppedButtons, button);
    case Input::ButtonRelease: return m_droppedButtons.erase(button) > 0;
    default: return false;
  }
}

}  // namespace platform
