#pragma once
// What a user misses of a window on a small screen: the parts of it that lie
// off the screen's free area, buttons cut or outside it, texts cut. Taken
// while the window is up.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <string>
#include <vector>

namespace testsupport {

inline std::string sizeText(QSize s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); }

// Its object name, else its class's.
inline std::string windowName(const QWidget& w) {
  return (w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName()).toStdString();
}

// Empty when w lies whole on its screen's free area with every control in it
// shown whole: buttons and combo boxes inside the window, their captions and
// the labels' texts not cut (or elided with the whole text in the tool tip).
inline std::vector<std::string> cutParts(QWidget& w) {
  std::vector<std::string> cut;
  const QScreen* screen = w.screen() ? w.screen() : QGuiApplication::primaryScreen();
  const QRect room = screen->availableGeometry();
  if (!room.contains(w.frameGeometry()))
    cut.push_back(windowName(w) + " " + sizeText(w.frameGeometry().size()) + " at " +
                  std::to_string(w.frameGeometry().x()) + "," + std::to_string(w.frameGeometry().y()) +
                  " on a free area of " + sizeText(room.size()));
  const QRect inside = w.rect();
  auto where = [&](QWidget* c) { return QRect(c->mapTo(&w, QPoint(0, 0)), c->size()); };
  for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(&w) || b->text().isEmpty()) continue;
    const QString text = QString(b->text()).remove(QLatin1Char('&'));
    if (!inside.contains(where(b))) cut.push_back("button \"" + text.toStdString() + "\" outside the window");
    if (b->sizeHint().width() > b->width() && b->fontMetrics().horizontalAdvance(text) > b->width())
      cut.push_back("button \"" + text.toStdString() + "\" cut");
  }
  for (QComboBox* c : w.findChildren<QComboBox*>()) {
    if (!c->isVisibleTo(&w)) continue;
    if (!inside.contains(where(c))) cut.push_back("combo box " + c->objectName().toStdString() + " outside the window");
  }
  for (QLabel* l : w.findChildren<QLabel*>()) {
    if (!l->isVisibleTo(&w) || l->text().isEmpty() || !l->pixmap().isNull()) continue;
    const std::string text = l->text().left(40).toStdString();
    if (!inside.contains(where(l))) cut.push_back("label \"" + text + "\" outside the window");
    if (l->wordWrap()) {
      if (l->heightForWidth(l->width()) > l->height()) cut.push_back("label \"" + text + "\" cut at the bottom");
    } else if (l->textFormat() != Qt::RichText && l->sizeHint().width() > l->width() && l->toolTip() != l->text()) {
      cut.push_back("label \"" + text + "\" cut at the side");  // elided, it has the whole text in its tool tip
    }
  }
  return cut;
}

}  // namespace testsupport
