#include "views/focus_mark.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

TFocusMark::TFocusMark(QWidget* window) : QWidget(window) {
  setObjectName(QStringLiteral("FocusMark"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void TFocusMark::watch(QWidget* w) {
  m_watched.emplace_back(w);
  follow(QApplication::focusWidget());
}

void TFocusMark::follow(QWidget* focus) {
  QWidget* mark = nullptr;
  // No focus, or the focus in another window: the window is not the one the keys go to.
  for (const QPointer<QWidget>& w : m_watched)
    if (w && focus && (w == focus || w->isAncestorOf(focus)) && w->window()->isActiveWindow()) mark = w;
  if (m_marked && m_marked != mark) m_marked->removeEventFilter(this);
  if (!mark) {
    m_marked = nullptr;
    hide();
    return;
  }
  if (m_marked != mark) mark->installEventFilter(this);
  m_marked = mark;
  if (parentWidget() != mark->parentWidget()) setParent(mark->parentWidget());
  place();
}

void TFocusMark::place() {
  if (!m_marked || !m_marked->isVisible()) {
    hide();
    return;
  }
  const QRect r = m_marked->geometry();
  setGeometry(r);
  const QRect inner = rect().adjusted(kWidth, kWidth, -kWidth, -kWidth);
  setMask(QRegion(rect()).subtracted(QRegion(inner)));
  raise();
  show();
}

bool TFocusMark::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_marked) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide: place(); break;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFocusMark::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}
