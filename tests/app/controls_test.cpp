// How the tool bar's controls look and what the folder box offers.
#include <QComboBox>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <cmath>

#include "form_fixture.h"
#include "views/chart_panel.h"

namespace {

// Relative luminance and contrast ratio as the web's accessibility rules
// define them: 4.5 is what a normal text needs against its background.
double luminance(QColor c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(QColor a, QColor b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The share of a picture's visible pixels that stand out from the tool bar
// at least as much as a normal text must.
double shareOfClearPixels(const QToolButton* button) {
  const QImage image = button->icon().pixmap(QSize(16, 16), QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
  const QColor background = button->palette().color(QPalette::Button);
  int visible = 0, clear = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 200) continue;
      ++visible;
      if (contrast(c, background) >= 4.5) ++clear;
    }
  return visible ? double(clear) / visible : 0;
}

}  // namespace

TEST_F(FormTest, UpAndRefreshDoNotLookDisabled) {
  TDiskUsageForm& f = open({t.root()});
  for (QToolButton* b : {f.ParentDirBtn, f.RefreshBtn}) {
    SCOPED_TRACE(b->toolTip().toStdString());
    EXPECT_TRUE(b->isEnabled());
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_GE(shareOfClearPixels(b), 0.25) << "a quarter of the picture at least reads as clearly as a text";
  }
}

TEST_F(FormTest, TheFolderBoxOffersTheParentsOfTheCurrentFolder) {
  TDiskUsageForm& f = open({t.path("Alpha/y")});
  ASSERT_EQ(f.currentFolderPath(), t.path("Alpha/y") + "/");
  std::vector<std::string> parents;
  for (std::string p = t.path("Alpha/y"); p != "/";) {
    p = p.substr(0, p.rfind('/'));
    if (p.empty()) p = "/";
    parents.push_back(p);
  }
  for (const std::string& p : parents)
    EXPECT_GE(f.CurrentDirBox->findData(QByteArray::fromStdString(p)), 0) << p << " is offered";
  // Picking the grandparent goes there, and the box still offers the way back up.
  const int at = f.CurrentDirBox->findData(QByteArray::fromStdString(t.root()));
  ASSERT_GE(at, 0);
  f.CurrentDirBox->setCurrentIndex(at);
  emit f.CurrentDirBox->activated(at);
  ASSERT_TRUE(waitUntil([&] { return f.currentFolderPath() == t.root() + "/"; }));
  EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(t.root()));
  EXPECT_GE(f.CurrentDirBox->findData(QByteArray::fromStdString(parents.back())), 0);
  EXPECT_LT(f.CurrentDirBox->findData(QByteArray::fromStdString(t.path("Alpha/y"))), 0)
      << "what lies below the current folder is not offered";
}

namespace {

// Whether the window shows a ring in the highlight colour along the edges of
// w: a pixel in the middle of each edge, just inside it.
bool ringAround(TDiskUsageForm& f, QWidget* w) {
  const QImage img = f.grab().toImage();
  const qreal dpr = img.devicePixelRatio();
  const QRect r(w->mapTo(&f, QPoint(0, 0)), w->size());
  const QColor mark = f.palette().color(QPalette::Active, QPalette::Highlight);
  const QPoint edges[] = {{r.center().x(), r.top() + 1}, {r.center().x(), r.bottom() - 1},
                          {r.left() + 1, r.center().y()}, {r.right() - 1, r.center().y()}};
  for (const QPoint& p : edges)
    if (img.pixelColor(QPoint(qRound(p.x() * dpr), qRound(p.y() * dpr))) != mark) return false;
  return true;
}

bool focusOn(QWidget* w) {
  w->setFocus();
  return waitUntil([&] { return QApplication::focusWidget() == w; });
}

}  // namespace

TEST_F(FormTest, TabWalksTreeFolderBoxAndRowsAndTheFocusShowsWhereItIs) {
  TDiskUsageForm& f = open({t.root()});
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  for (QToolButton* b : f.ToolBar->findChildren<QToolButton*>())
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus) << "not in the chain: " << b->toolTip().toStdString();
  for (bool chart : {false, true}) {
    SCOPED_TRACE(chart ? "chart" : "numbers");
    (chart ? f.ChartCmd : f.NumbersCmd)->trigger();
    QWidget* rows = chart ? static_cast<QWidget*>(f.ChartPanel) : f.UsageList;
    ASSERT_TRUE(focusOn(f.TreeView));
    std::vector<QWidget*> forward, backward;
    for (int i = 0; i < 3; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      forward.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(forward, (std::vector<QWidget*>{f.CurrentDirBox, rows, f.TreeView}));
    for (int i = 0; i < 3; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
      backward.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(backward, (std::vector<QWidget*>{rows, f.CurrentDirBox, f.TreeView}));
    // The tree, the list and the chart have no frame of their own: the window
    // draws one around whichever has the focus, and only around that one.
    for (QWidget* w : {static_cast<QWidget*>(f.TreeView), rows}) {
      SCOPED_TRACE(w->objectName().toStdString());
      ASSERT_TRUE(focusOn(w));
      EXPECT_TRUE(ringAround(f, w));
      EXPECT_FALSE(ringAround(f, w == rows ? static_cast<QWidget*>(f.TreeView) : rows));
    }
    ASSERT_TRUE(focusOn(f.CurrentDirBox));
    EXPECT_FALSE(ringAround(f, f.TreeView));
    EXPECT_FALSE(ringAround(f, rows));
  }
  // Without the tree: the folder box and the rows.
  f.TreeViewCmd->trigger();
  ASSERT_TRUE(focusOn(f.CurrentDirBox));
  QTest::keyClick(f.CurrentDirBox, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.ChartPanel);
  QTest::keyClick(f.ChartPanel, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.CurrentDirBox);
  f.TreeViewCmd->trigger();
}
