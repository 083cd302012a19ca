#pragma once
// A message box as the user sees it: looked at while it is up, then answered
// with one of its buttons, as a user would.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>
#include <vector>

namespace testsupport {

// What a user sees of a box, taken while it is up, before it is answered.
struct SeenBox {
  bool appeared = false;
  QString caption, text, details;
  Qt::TextFormat format = Qt::AutoText;
  QRect frame, room;
  std::vector<QRect> buttons;  // the standard buttons, in the box's coordinates
  bool buttonsShown = true;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;

  // Within the screen's free area, its buttons shown and inside it.
  bool fits() const {
    if (!room.contains(frame) || !buttonsShown || buttons.empty()) return false;
    for (const QRect& b : buttons)
      if (!QRect(QPoint(0, 0), frame.size()).contains(b)) return false;
    return true;
  }
};

// Runs open(), which shows a box, looks at the box and answers it with answer.
inline SeenBox seeAndAnswer(const std::function<void()>& open, QMessageBox::StandardButton answer) {
  SeenBox seen;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll.stop();
    seen.appeared = true;
    seen.caption = box->windowTitle();
    seen.text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
    seen.format = box->textFormat();
    seen.details = box->detailedText();
    seen.frame = box->frameGeometry();
    seen.room = box->screen()->availableGeometry();
    for (QAbstractButton* b : box->buttons()) {
      if (box->standardButton(b) == QMessageBox::NoButton) continue;  // "Show Details..."
      seen.buttons.push_back(QRect(b->mapTo(box, QPoint(0, 0)), b->size()));
      seen.buttonsShown = seen.buttonsShown && b->isVisible();
    }
    if (QPushButton* d = box->defaultButton()) seen.defaultButton = box->standardButton(d);
    box->button(answer)->click();
  });
  poll.start();
  open();
  return seen;
}

}  // namespace testsupport
