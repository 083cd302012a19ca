#include "platform/input_fence.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace platform {

namespace {

// The end of the work, posted behind the input already in the queue.
const QEvent::Type kQueueEnd = static_cast<QEvent::Type>(QEvent::registerEventType());
struct QueueEnd : QEvent {
  explicit QueueEnd(uint32_t s) : QEvent(kQueueEnd), serial(s) {}
  uint32_t serial;
};

// The input that acts on a row. The wheel only scrolls, and passes.
bool isPress(QEvent::Type t) {
  return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick || t == QEvent::KeyPress ||
         t == QEvent::ContextMenu;
}

}  // namespace

InputFence::InputFence(std::function<bool(const QWidget*)> guarded, QObject* parent)
    : QObject(parent), m_guarded(std::move(guarded)) {
  qApp->installEventFilter(this);
  startNative();
}

InputFence::~InputFence() {
  stopNative();
  qApp->removeEventFilter(this);
}

void InputFence::dropEarlierInput(QWidget* window) {
  m_queueRaised = true;
  QCoreApplication::postEvent(this, new QueueEnd(++m_serial));
  m_nativeRaised = markNativeEnd(window);
}

bool InputFence::guardedAt(WId window, QPointF at) const {
  QWidget* top = QWidget::find(window);
  if (!top) return false;
  const qreal ratio = top->devicePixelRatioF();
  QWidget* under = top->childAt((at / (ratio > 0 ? ratio : 1.0)).toPoint());
  return m_guarded(under ? under : top);
}


bool InputFence::eventFilter(QObject* watched, QEvent* event) {
  // Only what waited in the program's own queue is known to be older than
  // the end; input the platform delivers now is the user's latest.
  if (!m_queueRaised || event->spontaneous() || !isPress(event->type()) || !watched->isWidgetType()) return false;
  return event->type() == QEvent::KeyPress || m_guarded(static_cast<QWidget*>(watched));
}

void InputFence::customEvent(QEvent* event) {
  if (event->type() == kQueueEnd && static_cast<QueueEnd*>(event)->serial == m_serial) m_queueRaised = false;
}

}  // namespace platform
