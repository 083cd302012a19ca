#include "support/artwork.h"

#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
const QColor kDeep(51, 84, 104), kDisk(78, 124, 158), kFile(141, 166, 175), kGold(236, 178, 46);
}

QImage ProgramIconImage(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  // A rounded tile in the chart's blue.
  QLinearGradient tile(0, 0, 0, 48);
  tile.setColorAt(0, kDisk.lighter(115));
  tile.setColorAt(1, kDeep);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(2, 2, 44, 44), 9, 9);
  p.fillPath(shape, tile);
  // Three bars of different length, each a disk-bytes bar over a pale file-bytes bar.
  const double lengths[3] = {30, 20, 12};
  for (int i = 0; i < 3; ++i) {
    const double y = 10 + i * 10.5;
    p.fillRect(QRectF(9, y, lengths[i], 5), Qt::white);
    p.fillRect(QRectF(9, y + 5, lengths[i] * 0.72, 3), kFile.lighter(120));
  }
  // The axis, and a gold mark for the largest.
  p.fillRect(QRectF(7, 8, 1.6, 33), QColor(255, 255, 255, 200));
  p.setBrush(kGold);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(41.5, 12.5), 3, 3);
  return img;
}

QPixmap ProgramIcon(int size) { return QPixmap::fromImage(ProgramIconImage(size)); }

QPixmap ProgramNameImage() {
  QPixmap pm(244, 57);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f(QFontDatabase::families().contains(QStringLiteral("Tahoma")) ? QStringLiteral("Tahoma")
                                                                       : QFontDatabase::systemFont(QFontDatabase::TitleFont).family());
  f.setPixelSize(30);
  f.setBold(true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  p.setFont(f);
  // The name fills the top of the picture; the version line of the about
  // box stands in its lower part, which stays clear.
  p.setPen(QColor(0, 0, 0, 70));
  p.drawText(QRect(2, 0, 244, 34), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tallorin"));
  p.setPen(Qt::white);
  p.drawText(QRect(0, -2, 244, 34), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tallorin"));
  // A gold rule under the name, the chart's largest bar.
  p.fillRect(QRectF(2, 34, 170, 3), kGold);
  return pm;
}

namespace {

QPixmap fileSelectImage(bool on) {
  QPixmap pm(16, 17);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A funnel: the filter of names.
  QPainterPath funnel;
  funnel.moveTo(1.5, 2.5);
  funnel.lineTo(14.5, 2.5);
  funnel.lineTo(9.5, 8.5);
  funnel.lineTo(9.5, 14.5);
  funnel.lineTo(6.5, 12.5);
  funnel.lineTo(6.5, 8.5);
  funnel.closeSubpath();
  p.fillPath(funnel, on ? kDisk : QColor(250, 250, 250));
  p.setPen(QPen(on ? kDeep : QColor(110, 110, 110), 1));
  p.drawPath(funnel);
  if (on) {
    p.setPen(QPen(kGold, 2));
    p.drawLine(QPointF(9, 13), QPointF(11.5, 15.5));
    p.drawLine(QPointF(11.5, 15.5), QPointF(15, 10.5));
  }
  return pm;
}

}  // namespace

QPixmap FileSelectOnImage() { return fileSelectImage(true); }
QPixmap FileSelectOffImage() { return fileSelectImage(false); }
