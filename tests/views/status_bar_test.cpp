// The owner-drawn status panels on a screen of more than one device pixel
// per pixel: their texts are drawn at the screen's resolution, not drawn
// small and enlarged.
#include <QImage>
#include <gtest/gtest.h>

#include "views/figure_format.h"
#include "views/gauge.h"
#include "views/status_bar.h"

namespace {

// The bar as a screen of `ratio` device pixels per pixel shows it.
QImage renderAt(TStatusBar& bar, qreal ratio) {
  QImage image((QSizeF(bar.size()) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  bar.render(&image);
  return image;
}

// In a text drawn at one pixel and enlarged twice, every aligned 2 x 2 block
// of device pixels is one colour; a text drawn at the device's resolution
// has glyph edges that end on odd device pixels. Counts the blocks that are
// not one colour, and the dark device pixels, inside a panel (its outermost
// pixel left out: the panel's edge lies next to it).
struct Blocks {
  int mixed = 0, dark = 0;
};
Blocks blocksIn(const QImage& image, const QRect& panel) {
  Blocks b;
  const QRect inner = panel.adjusted(1, 1, -1, -1);
  const QRect device(inner.topLeft() * 2, inner.size() * 2);
  for (int y = device.top(); y < device.bottom(); y += 2)
    for (int x = device.left(); x < device.right(); x += 2) {
      const QRgb p = image.pixel(x, y);
      if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p) ++b.mixed;
    }
  for (int y = device.top(); y <= device.bottom(); ++y)
    for (int x = device.left(); x <= device.right(); ++x)
      if (qGray(image.pixel(x, y)) < 100) ++b.dark;
  return b;
}

// The colours of the two device pixels of a one-pixel line.
std::string across(const QImage& image, QPoint first, QPoint second) {
  return (QColor(image.pixel(first)).name() + " " + QColor(image.pixel(second)).name()).toStdString();
}
std::string twice(const QColor& c) { return (c.name() + " " + c.name()).toStdString(); }

}  // namespace

TEST(StatusBarDrawing, OwnerDrawnPanelsAreDrawnAtTheDevicePixelRatio) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  struct Case {
    const char* what;
    int panel;
    QString text;
    bool custom;
  } cases[] = {
      {"free space with its share", 1, FreeSpaceText(4000000, 100000000, 1024, us), false},
      {"free space without a total", 1, FreeSpaceText(4000000, 0, 1024, us), false},
      {"unknown cluster size", 2, ClusterText(0, us), false},
      {"a custom cluster size on sky blue", 2, ClusterText(4096, us), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStatusBar bar;
    bar.resize(600, bar.height());
    bar.setCustomClusterQuery([&] { return c.custom; });
    bar.setPanelText(c.panel, c.text);
    const QImage image = renderAt(bar, 2);
    const Blocks b = blocksIn(image, bar.panelRect(c.panel));
    EXPECT_GT(b.dark, 20) << "the text is drawn";
    EXPECT_GT(b.mixed, 10) << "glyph edges on odd device pixels: drawn at the device's resolution";
    // The panel's lowered edge: lines one pixel wide, two device pixels of
    // pure colour (a line of one device pixel fell inside the panel).
    const QRect r = bar.panelRect(c.panel);
    const QColor dark = bar.palette().color(QPalette::Dark), light = bar.palette().color(QPalette::Light);
    const int midX = r.center().x() * 2, midY = r.center().y() * 2;
    EXPECT_EQ(across(image, {midX, 2 * (r.top() - 1)}, {midX, 2 * (r.top() - 1) + 1}), twice(dark)) << "top";
    EXPECT_EQ(across(image, {2 * (r.left() - 1), midY}, {2 * (r.left() - 1) + 1, midY}), twice(dark)) << "left";
    EXPECT_EQ(across(image, {midX, 2 * (r.bottom() + 1)}, {midX, 2 * (r.bottom() + 1) + 1}), twice(light)) << "bottom";
    EXPECT_EQ(across(image, {2 * (r.right() + 1), midY}, {2 * (r.right() + 1) + 1, midY}), twice(light)) << "right";
    // The bar of the free share ends at the panel's right edge, sharp: the
    // device pixel column inside it is pure sky blue, the one after it is not.
    if (c.panel == 1 && TStatusBar::SharePercent(c.text) > 0) {
      const int barLeft = r.right() + 1 - r.width() * TStatusBar::SharePercent(c.text) / 100;
      const int y = 2 * r.bottom() - 1;  // below the text
      EXPECT_EQ(QColor(image.pixel(2 * barLeft, y)), kSkyBlue);
      EXPECT_EQ(QColor(image.pixel(2 * barLeft + 1, y)), kSkyBlue);
      EXPECT_NE(QColor(image.pixel(2 * barLeft - 1, y)), kSkyBlue);
    }
  }
}
