#include "views/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

const QColor kInk(60, 60, 60);
const QColor kBlue(78, 124, 158);
const QColor kPale(141, 166, 175);
const QColor kFolder(232, 188, 84);        // a manila folder, as file managers draw one
const QColor kFolderEdge(138, 98, 20);
const QColor kArrow(31, 94, 48);           // dark green: reads at a glance beside the greyed Delete

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

QIcon ParentFolderIcon() {
  return drawn([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    // The folder: a tab at the top left, the body below it.
    QPainterPath folder;
    folder.moveTo(1.5, 4.5);
    folder.lineTo(5.5, 4.5);
    folder.lineTo(7, 6);
    folder.lineTo(14.5, 6);
    folder.lineTo(14.5, 14.5);
    folder.lineTo(1.5, 14.5);
    folder.closeSubpath();
    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolder);
    p.drawPath(folder);
    // An arrow rising out of it: up one level.
    QPainterPath arrow;
    arrow.moveTo(9, 0.5);
    arrow.lineTo(13.5, 5);
    arrow.lineTo(10.5, 5);
    arrow.lineTo(10.5, 11.5);
    arrow.lineTo(7.5, 11.5);
    arrow.lineTo(7.5, 5);
    arrow.lineTo(4.5, 5);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::white, 0.8));
    p.setBrush(kArrow);
    p.drawPath(arrow);
  });
}

QIcon RefreshIcon() {
  return drawn([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    // Two arcs chasing each other round, each ending in an arrow head.
    const QRectF ring(3, 3, 10, 10);
    p.setPen(QPen(kArrow, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 30 * 16, 140 * 16);    // over the top, ending at the left
    p.drawArc(ring, 210 * 16, 140 * 16);   // under the bottom, ending at the right
    p.setPen(Qt::NoPen);
    p.setBrush(kArrow);
    // Heads at the arcs' ends, pointing along the turn: down at the left, up
    // at the right.
    p.drawPolygon(QPolygonF({QPointF(0.4, 6.6), QPointF(5.8, 6.6), QPointF(3.1, 10.6)}));
    p.drawPolygon(QPolygonF({QPointF(10.2, 9.4), QPointF(15.6, 9.4), QPointF(12.9, 5.4)}));
  });
}
