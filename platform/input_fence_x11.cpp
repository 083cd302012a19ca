// The fence on X11: the end of the work is a message sent to the window
// through the display server, queued behind every event it held for the
// program then; presses read before it comes back are stale.
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include "platform/input_fence.h"

namespace platform {

namespace {

// XInput 2 event types (XI2.h) of the events dropped.
constexpr uint16_t kXiKeyPress = 2, kXiKeyRelease = 3, kXiButtonPress = 4, kXiButtonRelease = 5;

// The fields of an XInput 2 device event as libxcb hands it over: the wire's
// first 32 bytes, the full sequence number, then the rest.
struct XiDeviceEvent {
  uint8_t response_type;
  uint8_t extension;
  uint16_t sequence;
  uint32_t length;
  uint16_t event_type;
  uint16_t deviceid;
  uint32_t time;
  uint32_t detail;
  uint32_t root;
  uint32_t event;
  uint32_t child;
  uint32_t full_sequence;
  int32_t root_x, root_y, event_x, event_y;  // 16.16 fixed point
};

}  // namespace

void InputFence::startNative() {
  if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
    m_xConnection = x11->connection();
    qApp->installNativeEventFilter(this);
  }
}

void InputFence::stopNative() {
  if (m_xConnection) qApp->removeNativeEventFilter(this);
}

bool InputFence::markNativeEnd(QWidget* window) {
  if (!m_xConnection) return false;
  auto* c = static_cast<xcb_connection_t*>(m_xConnection);
  if (!window || !window->windowHandle()) return false;
  if (m_sentinelAtom == 0) {
    static const char kName[] = "_TALLORIN_INPUT_FENCE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
    if (!atom) return false;
    m_sentinelAtom = atom->atom;
    free(atom);
    static const char kXi[] = "XInputExtension";
    if (xcb_query_extension_reply_t* xi =
            xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kXi - 1, kXi), nullptr)) {
      if (xi->present) m_xinputOpcode = xi->major_opcode;
      free(xi);
    }
  }
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window->winId());
  message.type = m_sentinelAtom;
  message.data.data32[0] = m_serial;
  // No event mask: the message goes to the window's own client, this one.
  xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  return true;
}

bool InputFence::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || !message) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const uint8_t type = event->response_type & 0x7f;
  if (type == XCB_CLIENT_MESSAGE) {
    const auto* m = static_cast<const xcb_client_message_event_t*>(message);
    if (m_sentinelAtom == 0 || m->type != m_sentinelAtom) return false;
    if (m->data.data32[0] == m_serial) m_nativeRaised = false;
    return true;  // ours, spent or not
  }
  // A press dropped takes its release with it, whenever that comes.
  switch (type) {
    case XCB_KEY_PRESS:
      return m_nativeRaised && dropWithRelease(m_droppedKeys, static_cast<const xcb_key_press_event_t*>(message)->detail);
    case XCB_KEY_RELEASE:
      return m_droppedKeys.erase(static_cast<const xcb_key_release_event_t*>(message)->detail) > 0;
    case XCB_BUTTON_PRESS: {
      const auto* b = static_cast<const xcb_button_press_event_t*>(message);
      return m_nativeRaised && guardedAt(b->event, QPointF(b->event_x, b->event_y)) && dropWithRelease(m_droppedButtons, b->detail);
    }
    case XCB_BUTTON_RELEASE:
      return m_droppedButtons.erase(static_cast<const xcb_button_release_event_t*>(message)->detail) > 0;
    case XCB_GE_GENERIC: {
      const auto* g = static_cast<const xcb_ge_generic_event_t*>(message);
      if (m_xinputOpcode < 0 || g->extension != m_xinputOpcode) return false;
      const auto* d = static_cast<const XiDeviceEvent*>(message);
      switch (g->event_type) {
        case kXiButtonPress:
          return m_nativeRaised && guardedAt(d->event, QPointF(d->event_x / 65536.0, d->event_y / 65536.0)) && dropWithRelease(m_droppedButtons, d->detail);
        case kXiButtonRelease: return m_droppedButtons.erase(d->detail) > 0;
        case kXiKeyPress: return m_nativeRaised && dropWithRelease(m_droppedKeys, d->detail);
        case kXiKeyRelease: return m_droppedKeys.erase(d->detail) > 0;
        default: return false;
      }
    }
    default: return false;
  }
}

}  // namespace platform
