// The chart component on its own: points and axes, what it paints where, the
// after-draw hook, the pointer, the tool tip and clicks.
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <gtest/gtest.h>

#include "chart/bar_chart.h"

namespace {

const QColor kRed(200, 0, 0), kBlue(0, 0, 200);

// A chart of n rows whose values grow with the row.
void fill(TBarChart& c, int n) {
  c.clearPoints();
  for (int i = 0; i < n; ++i) {
    const QString label = QStringLiteral("row %1").arg(i);
    c.addPoint(0, 10.0 * (i + 1), label);
    c.addPoint(1, 5.0 * (i + 1), label);
  }
  c.update();
}

int countColour(const QImage& img, const QColor& colour, const QRect& area) {
  int n = 0;
  for (int y = std::max(0, area.top()); y <= std::min(img.height() - 1, area.bottom()); ++y)
    for (int x = std::max(0, area.left()); x <= std::min(img.width() - 1, area.right()); ++x)
      if (img.pixelColor(x, y) == colour) ++n;
  return n;
}

}  // namespace

TEST(BarChart, PointsSeriesAndTheValueAxisRange) {
  TBarChart c;
  EXPECT_EQ(c.addSeries("First", kRed), 0);
  EXPECT_EQ(c.addSeries("Second", kBlue), 1);
  fill(c, 20);
  EXPECT_EQ(c.pointCount(0), 20);
  EXPECT_EQ(c.pointLabel(1, 3), "row 3");
  EXPECT_DOUBLE_EQ(c.valueAxisMax(), 200) << "the largest value of all points, not only the page's";
  c.clearPoints();
  EXPECT_EQ(c.pointCount(0), 0);
  EXPECT_DOUBLE_EQ(c.valueAxisMax(), 0);
}

TEST(BarChart, ALabelSourceLabelsOnlyThePointsOfThePage) {
  TBarChart c;
  c.addSeries("First", kRed);
  c.addSeries("Second", kBlue);
  const int n = 100000;
  std::vector<double> first(n), second(n);
  for (int i = 0; i < n; ++i) first[i] = 2.0 * i, second[i] = i;
  c.setValues(0, first);
  c.setValues(1, second);
  std::vector<int> asked;
  c.setLabelSource([&](int i) {
    asked.push_back(i);
    return i == 5 ? QString(60, QLatin1Char('W')) : QStringLiteral("row %1").arg(i);
  });
  EXPECT_EQ(c.pointCount(1), n);
  EXPECT_DOUBLE_EQ(c.valueAxisMax(), 2.0 * (n - 1)) << "the largest value of all points, not only the page's";
  EXPECT_EQ(c.pointLabel(1, 77777), "row 77777");
  EXPECT_THROW(c.pointLabel(0, n), std::out_of_range);
  EXPECT_THROW(c.pointLabel(0, -1), std::out_of_range);

  c.resize(600, 400);
  c.setPointsPerPage(10);
  QImage img(c.size(), QImage::Format_ARGB32);
  for (int top : {0, 50000, n - 10, n - 3}) {  // the last page runs past the points
    asked.clear();
    c.setCategoryRange(top, top + 9);
    c.render(&img);
    ASSERT_FALSE(asked.empty()) << top;
    for (int i : asked) {
      EXPECT_GE(i, top);
      EXPECT_LE(i, std::min(top + 9, n - 1));
    }
  }
  // The labels are the source's: a page holding the long label 5 puts the
  // axis further right.
  c.setCategoryRange(0, 9);
  const int withLong = c.categoryAxis().labelsRight;
  c.setCategoryRange(10, 19);
  EXPECT_GT(withLong, c.categoryAxis().labelsRight + 100);

  c.clearPoints();
  asked.clear();
  EXPECT_EQ(c.pointCount(0), 0);
  c.addPoint(0, 1, QStringLiteral("own"));
  EXPECT_EQ(c.pointLabel(0, 0), "own") << "the source went with the points";
  c.render(&img);
  EXPECT_TRUE(asked.empty());
}

TEST(BarChart, TheCategoryAxisLiesInsideThePlotWithTheLabelsLeftOfIt) {
  TBarChart c;
  c.addSeries("First", kRed);
  c.addSeries("Second", kBlue);
  fill(c, 30);
  for (QSize size : {QSize(700, 478), QSize(300, 75), QSize(200, 34), QSize(1200, 900)}) {
    c.resize(size);
    c.setCategoryRange(2, 2 + 11);
    const TBarChart::CategoryAxis a = c.categoryAxis();
    EXPECT_DOUBLE_EQ(a.min, 2);
    EXPECT_DOUBLE_EQ(a.max, 13);
    EXPECT_LE(a.startPos, a.endPos) << size.width() << "x" << size.height();
    EXPECT_GT(a.startPos, 0);
    EXPECT_LT(a.endPos, size.height());
    EXPECT_GT(a.labelsRight, size.width() * 3 / 100) << "the labels have width";
    EXPECT_LT(a.labelsRight, size.width() / 2);
    EXPECT_GT(a.textHeight, 4);
  }
}

TEST(BarChart, PaintsThePageItsLegendInReverseOrderAndCallsTheHook) {
  TBarChart c;
  c.addSeries("First", kRed);
  c.addSeries("Second", kBlue);
  fill(c, 40);
  c.resize(600, 400);
  c.setCategoryRange(0, 9);
  c.setPointsPerPage(10);
  int hooks = 0;
  TBarChart::CategoryAxis seen;
  QObject::connect(&c, &TBarChart::afterDraw, [&](QPainter& p, const TBarChart::CategoryAxis& a) {
    ++hooks;
    seen = a;
    p.fillRect(0, 0, 3, 3, Qt::green);  // the hook draws on the chart itself
  });
  QImage img(c.size(), QImage::Format_ARGB32);
  c.render(&img);
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(img.pixelColor(1, 1), QColor(Qt::green));
  EXPECT_EQ(seen.startPos, c.categoryAxis().startPos);
  // Bars of both series on the page, right of the labels.
  const QRect bars(seen.labelsRight, seen.startPos - 20, c.width() - seen.labelsRight, seen.endPos - seen.startPos + 40);
  const int red = countColour(img, kRed, bars), blue = countColour(img, kBlue, bars);
  EXPECT_GT(red, 100);
  EXPECT_GT(blue, 100);
  EXPECT_GT(red, blue) << "the first series' values are twice the second's";
  // Legend at the top: the last series' key comes first.
  const QRect legend(0, 0, c.width(), seen.startPos - 10);
  int firstRedX = -1, firstBlueX = -1;
  for (int x = 0; x < c.width() && (firstRedX < 0 || firstBlueX < 0); ++x)
    for (int y = 0; y < legend.bottom(); ++y) {
      if (firstRedX < 0 && img.pixelColor(x, y) == kRed) firstRedX = x;
      if (firstBlueX < 0 && img.pixelColor(x, y) == kBlue) firstBlueX = x;
    }
  ASSERT_GE(firstRedX, 0);
  ASSERT_GE(firstBlueX, 0);
  EXPECT_LT(firstBlueX, firstRedX) << "\"Second\" first in the legend";
  // The next page paints different bars: row 30's are longer than row 0's.
  c.setCategoryRange(30, 39);
  QImage next(c.size(), QImage::Format_ARGB32);
  c.render(&next);
  EXPECT_GT(countColour(next, kRed, bars), red);
}

TEST(BarChart, PointerToolTipAndClicks) {
  TBarChart c;
  c.addSeries("First", kRed);
  c.resize(300, 200);
  c.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
  c.setPointerShape(Qt::PointingHandCursor);
  EXPECT_EQ(c.cursor().shape(), Qt::PointingHandCursor);
  c.setPointerShape(Qt::ArrowCursor);
  EXPECT_EQ(c.cursor().shape(), Qt::ArrowCursor);
  c.setHintText("whole name");
  c.setHintsEnabled(true);
  EXPECT_TRUE(c.hintsEnabled());
  EXPECT_EQ(c.hintText(), "whole name");

  std::vector<QPoint> clicks, moves;
  QObject::connect(&c, &TBarChart::clicked, [&](const QPoint& p) { clicks.push_back(p); });
  QObject::connect(&c, &TBarChart::pointerMoved, [&](const QPoint& p) { moves.push_back(p); });
  QTest::mouseMove(&c, QPoint(40, 50));
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back(), QPoint(40, 50));
  QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(20, 30));
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0], QPoint(20, 30));
  QTest::mouseClick(&c, Qt::RightButton, {}, QPoint(20, 30));
  EXPECT_EQ(clicks.size(), 1u) << "only the left button clicks";
  // A double-click acts through its first click only.
  QTest::mouseDClick(&c, Qt::LeftButton, {}, QPoint(25, 35));
  QTest::mouseRelease(&c, Qt::LeftButton, {}, QPoint(25, 35));
  EXPECT_LE(clicks.size(), 2u);
}

// A hint names a row: it shows as it is called, markup or not.
TEST(BarChart, TheHintShowsANameAsPlainText) {
  TBarChart c;
  c.addSeries("First", kRed);
  c.resize(300, 200);
  c.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
  for (const QString name : {QString("<s>struck.txt"), QString("a &amp; b"), QString("<b>x</b>  two  spaces")}) {
    c.setHintText(name);
    c.setHintsEnabled(true);
    QHelpEvent help(QEvent::ToolTip, QPoint(40, 50), c.mapToGlobal(QPoint(40, 50)));
    QApplication::sendEvent(&c, &help);
    ASSERT_TRUE(QToolTip::isVisible());
    QTextDocument shown;
    if (Qt::mightBeRichText(QToolTip::text()))
      shown.setHtml(QToolTip::text());
    else
      shown.setPlainText(QToolTip::text());
    EXPECT_EQ(shown.toPlainText().replace(QChar::Nbsp, ' ').toStdString(), name.toStdString());
    QToolTip::hideText();
  }
}

TEST(BarChart, EveryValueLabelIsDrawnWholeInsideTheChart) {
  // The last label at the plot's right end stands at 315 degrees: with the
  // window's margins, "1,200,000,000KB" lost its last digits at the edge.
  TBarChart c;
  c.addSeries("Disk Bytes", kRed);
  c.addSeries("File Bytes", kBlue);
  c.setMarginsPercent(3, 3, 8, 3);
  c.setValueLabelSuffix(QStringLiteral("KB"));
  for (double largest : {100.0, 1234567.0, 1.2e9, 9.9e12}) {
    c.clearPoints();
    for (int i = 0; i < 5; ++i) {
      c.addPoint(0, largest * (i + 1) / 5, QStringLiteral("a name %1").arg(i));
      c.addPoint(1, largest * (i + 1) / 10, QStringLiteral("a name %1").arg(i));
    }
    c.setCategoryRange(0, 4);
    for (QSize size : {QSize(180, 300), QSize(320, 400), QSize(600, 450), QSize(1100, 700)}) {
      SCOPED_TRACE(QStringLiteral("%1 at %2 x %3").arg(largest).arg(size.width()).arg(size.height()).toStdString());
      c.resize(size);
      QImage img(size, QImage::Format_RGB32);
      img.fill(Qt::white);
      c.render(&img);
      // Nothing is drawn on the last columns or rows: nothing reaches the edge.
      int touching = 0;
      for (int y = 0; y < size.height(); ++y)
        for (int x = size.width() - 2; x < size.width(); ++x) touching += img.pixelColor(x, y) != QColor(Qt::white);
      for (int x = 0; x < size.width(); ++x)
        for (int y = size.height() - 2; y < size.height(); ++y) touching += img.pixelColor(x, y) != QColor(Qt::white);
      EXPECT_EQ(touching, 0);
    }
  }
}
