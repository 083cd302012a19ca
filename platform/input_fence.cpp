#include "platform/input_fence.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <cstring>
#ifndef _WIN32
#include <xcb/xcb.h>
#include <xcb/xproto.h>
#endif

namespace platform {

namespace {

// The end of the work, posted behind the input already in the queue.
const QEvent::Type kQueueEnd = static_cast<QEvent::Type>(QEvent::registerEventType());
struct QueueEnd : QEvent {
  explicit QueueEnd(uint32_t s) : QEvent(kQueueEnd), serial(s) {}
  uint32_t serial;
};

#ifndef _WIN32
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
#endif

// The input that acts on a row. The wheel only scrolls, and passes.
bool isPress(QEvent::Type t) {
  return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick || t == QEvent::KeyPress ||
         t == QEvent::ContextMenu;
}

}  // namespace

InputFence::InputFence(std::function<bool(const QWidget*)> guarded, QObject* parent)
    : QObject(parent), m_guarded(std::move(guarded)) {
  qApp->installEventFilter(this);
#ifndef _WIN32
  if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
    m_xConnection = x11->connection();
    qApp->installNativeEventFilter(this);
  }
#endif
}

InputFence::~InputFence() {
  if (m_xConnection) qApp->removeNativeEventFilter(this);
  qApp->removeEventFilter(this);
}

void InputFence::dropEarlierInput(QWidget* window) {
  m_queueRaised = true;
  QCoreApplication::postEvent(this, new QueueEnd(++m_serial));
  if (m_xConnection) m_xRaised = sendXSentinel(window);
}

#ifdef _WIN32
// Windows: only the program's own queue is fenced (no display server to
// order the end behind the input).
bool InputFence::sendXSentinel(QWidget*) { return false; }
bool InputFence::guardedAt(uint32_t, int32_t, int32_t, bool) const { return false; }
bool InputFence::nativeEventFilter(const QByteArray&, void*, qintptr*) { return false; }
#else
bool InputFence::sendXSentinel(QWidget* window) {
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

bool InputFence::guardedAt(uint32_t xWindow, int32_t x, int32_t y, bool fixedPoint) const {
  QWidget* top = QWidget::find(static_cast<WId>(xWindow));
  if (!top) return false;
  const qreal ratio = top->devicePixelRatioF();
  const qreal scale = (fixedPoint ? 65536.0 : 1.0) * (ratio > 0 ? ratio : 1.0);
  const QPoint at(qRound(x / scale), qRound(y / scale));
  QWidget* under = top->childAt(at);
  return m_guarded(under ? under : top);
}

#endif

bool InputFence::guardedFocus() const {
  const QWidget* focus = QApplication::focusWidget();
  return focus && m_guarded(focus);
}

#ifndef _WIN32
bool InputFence::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || !message) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const uint8_t type = event->response_type & 0x7f;
  if (type == XCB_CLIENT_MESSAGE) {
    const auto* m = static_cast<const xcb_client_message_event_t*>(message);
    if (m_sentinelAtom == 0 || m->type != m_sentinelAtom) return false;
    if (m->data.data32[0] == m_serial) m_xRaised = false;
    return true;  // ours, spent or not
  }
  // A press dropped takes its release with it, whenever that comes.
  auto drop = [](std::set<uint32_t>& dropped, uint32_t detail) { return dropped.insert(detail), true; };
  switch (type) {
    case XCB_KEY_PRESS:
      return m_xRaised && guardedFocus() && drop(m_droppedKeys, static_cast<const xcb_key_press_event_t*>(message)->detail);
    case XCB_KEY_RELEASE:
      return m_droppedKeys.erase(static_cast<const xcb_key_release_event_t*>(message)->detail) > 0;
    case XCB_BUTTON_PRESS: {
      const auto* b = static_cast<const xcb_button_press_event_t*>(message);
      return m_xRaised && guardedAt(b->event, b->event_x, b->event_y, false) && drop(m_droppedButtons, b->detail);
    }
    case XCB_BUTTON_RELEASE:
      return m_droppedButtons.erase(static_cast<const xcb_button_release_event_t*>(message)->detail) > 0;
    case XCB_GE_GENERIC: {
      const auto* g = static_cast<const xcb_ge_generic_event_t*>(message);
      if (m_xinputOpcode < 0 || g->extension != m_xinputOpcode) return false;
      const auto* d = static_cast<const XiDeviceEvent*>(message);
      switch (g->event_type) {
        case kXiButtonPress:
          return m_xRaised && guardedAt(d->event, d->event_x, d->event_y, true) && drop(m_droppedButtons, d->detail);
        case kXiButtonRelease: return m_droppedButtons.erase(d->detail) > 0;
        case kXiKeyPress: return m_xRaised && guardedFocus() && drop(m_droppedKeys, d->detail);
        case kXiKeyRelease: return m_droppedKeys.erase(d->detail) > 0;
        default: return false;
      }
    }
    default: return false;
  }
}
#endif

bool InputFence::eventFilter(QObject* watched, QEvent* event) {
  // Only what waited in the program's own queue is known to be older than
  // the end; input the platform delivers now is the user's latest.
  return m_queueRaised && !event->spontaneous() && isPress(event->type()) && watched->isWidgetType() &&
         m_guarded(static_cast<QWidget*>(watched));
}

void InputFence::customEvent(QEvent* event) {
  if (event->type() == kQueueEnd && static_cast<QueueEnd*>(event)->serial == m_serial) m_queueRaised = false;
}

}  // namespace platform
