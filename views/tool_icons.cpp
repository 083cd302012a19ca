#include "views/tool_icons.h"

#include <QPainter>
#include <QPixmap>
#include <functional>

namespace {

const QColor kInk(60, 60, 60);
const QColor kBlue(78, 124, 158);
const QColor kPale(141, 166, 175);

// An icon drawn in a 16-unit square at 16 and 32 pixels.
QIcon drawn(const std::function<void(QPainter&)>& draw) {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.scale(size / 16.0, size / 16.0);
    draw(p);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace

QIcon NumbersIcon() {
  return drawn([](QPainter& p) {
    p.fillRect(QRectF(1, 1.5, 14, 13), Qt::white);
    p.setPen(QPen(kInk, 1));
    p.drawRect(QRectF(1.5, 2, 13, 12));
    p.fillRect(QRectF(2, 2.5, 12, 2.5), kPale);
    for (int row = 0; row < 3; ++row) {
      const double y = 7 + row * 2.5;
      p.fillRect(QRectF(3, y, 4, 1.2), kInk);          // a name
      p.fillRect(QRectF(9.5 - row, y, 3.5 + row, 1.2), kBlue);  // a right-aligned figure
    }
  });
}

QIcon ChartIcon() {
  return drawn([](QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(2.5, 1.5), QPointF(2.5, 14.5));
    const double lengths[3] = {8, 12, 5};
    for (int i = 0; i < 3; ++i) {
      const double y = 2 + i * 4.3;
      p.fillRect(QRectF(3, y, lengths[i], 2), kBlue);
      p.fillRect(QRectF(3, y + 2, lengths[i] * 0.7, 1.6), kPale);
    }
  });
}

QIcon DetailAndTotalsIcon() {
  return drawn([](QPainter& p) {
    p.fillRect(QRectF(1, 1, 14, 14), Qt::white);
    p.setPen(QPen(kInk, 1));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    for (int row = 0; row < 3; ++row) p.fillRect(QRectF(3, 3.5 + row * 2.2, 10, 1), kPale);
    p.fillRect(QRectF(2, 11, 12, 3), kBlue);
  });
}
