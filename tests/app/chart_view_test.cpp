// The chart view in the real window: the view at first start, the switch
// with the list, units, labels, pages, the scroll bar, the wheel, hover and
// clicks, and the rebuild after a sort.
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>
#include <QWheelEvent>

#include "chart/bar_chart.h"
#include "form_fixture.h"
#include "model/chart_page.h"
#include "views/chart_panel.h"
#include "views/folder_tree_model.h"

namespace {

// Resizes the window so that the chart is `height` pixels high.
void setChartHeight(TDiskUsageForm& f, int height) {
  for (int round = 0; round < 3 && f.UsageChart->height() != height; ++round) {
    f.resize(f.width(), f.height() + height - f.UsageChart->height());
    QCoreApplication::processEvents();
  }
}

// Sends one wheel notch to the widget under a global position, as the window
// system does.
void wheel(QWidget* target, const QPoint& global, int notches) {
  const QPointF local = target->mapFromGlobal(global);
  QWheelEvent e(local, QPointF(global), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &e);
}

// The centre of row k's name label in chart coordinates.
QPoint labelCentre(TDiskUsageForm& f, int k) {
  const TBarChart::CategoryAxis a = f.UsageChart->categoryAxis();
  const double c = (a.endPos - a.startPos + 1) / (a.max - a.min);
  return QPoint(a.labelsRight / 2, static_cast<int>(a.startPos + (k - a.min) * c));
}

}  // namespace

TEST_F(FormTest, TheChartIsTheFirstViewAndTheListItsAlternative) {
  TDiskUsageForm& f = open({t.root()});
  EXPECT_TRUE(f.ChartCmd->isChecked());
  EXPECT_TRUE(f.ChartBtn->isChecked());
  EXPECT_TRUE(f.ChartPanel->isVisible());
  EXPECT_FALSE(f.UsageList->isVisible());
  EXPECT_FALSE(f.DeleteCmd->isEnabled());
  EXPECT_FALSE(f.DeleteBtn->isEnabled());
  EXPECT_EQ(f.UsageChart->pointCount(f.DiskBytesSeries), f.UsageModel->rowCount()) << "both views are always filled";

  QTest::mouseClick(f.NumbersBtn, Qt::LeftButton);
  EXPECT_TRUE(f.NumbersCmd->isChecked());
  EXPECT_TRUE(f.NumbersBtn->isChecked());
  EXPECT_FALSE(f.ChartBtn->isChecked());
  EXPECT_TRUE(f.UsageList->isVisible());
  EXPECT_FALSE(f.ChartPanel->isVisible());
  EXPECT_EQ(f.DeleteBtn->toolTip(), "Delete selected files and folders");

  f.ChartCmd->trigger();
  EXPECT_TRUE(f.ChartBtn->isChecked());
  EXPECT_TRUE(f.ChartPanel->isVisible());
  EXPECT_FALSE(f.DeleteCmd->isEnabled());
  EXPECT_TRUE(f.DeleteBtn->toolTip().isEmpty());
  EXPECT_EQ(f.UsageChart->seriesTitle(f.DiskBytesSeries), "Disk Bytes");
  EXPECT_EQ(f.UsageChart->seriesColour(f.DiskBytesSeries), QColor(78, 124, 158));
  EXPECT_EQ(f.UsageChart->seriesTitle(f.FileBytesSeries), "File Bytes");
  EXPECT_EQ(f.UsageChart->seriesColour(f.FileBytesSeries), QColor(141, 166, 175));
}

TEST_F(FormTest, TheChartUnitTurnsToMegabytesAtTenMebibytesOfDiskBytes) {
  struct Case {
    uint64_t largest;
    const char* suffix;
    double divisor;
  } cases[] = {{10485760 - 4096, "KB", 1024}, {10485760, "MB", 1048576}};
  for (const Case& c : cases) {
    TempTree tree;
    tree.sparse("big", c.largest);  // disk bytes are the size rounded up to the cluster
    tree.file("small", 3000);
    TDiskUsageForm& f = open({tree.root()});
    f.ChartCmd->trigger();
    EXPECT_EQ(f.UsageChart->valueLabelSuffix(), c.suffix) << c.largest;
    for (int i = 0; i < f.UsageModel->rowCount(); ++i) {
      EXPECT_DOUBLE_EQ(f.UsageChart->pointValue(f.DiskBytesSeries, i), f.UsageModel->row(i).figures[0] / c.divisor);
      EXPECT_DOUBLE_EQ(f.UsageChart->pointValue(f.FileBytesSeries, i), f.UsageModel->row(i).figures[1] / c.divisor);
    }
    form.reset();
  }
}

TEST_F(FormTest, ChartLabelsAreCutAndTheToolTipShowsTheWholeName) {
  const std::string thirty(30, 'n'), thirtyOne = std::string(27, 'm') + "long";
  t.file(thirty, 1);
  t.file(thirtyOne, 1);
  TDiskUsageForm& f = open({t.root()});
  setChartHeight(f, 600);
  std::map<std::string, QString> labels;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i)
    labels[f.UsageModel->row(i).name()] = f.UsageChart->pointLabel(f.DiskBytesSeries, i);
  const QString spaces(8, QLatin1Char(' '));
  EXPECT_EQ(labels[thirty], QString::fromStdString(thirty) + spaces);
  EXPECT_EQ(labels[thirtyOne], QString(27, QLatin1Char('m')) + "..." + spaces);

  int row = -1;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i)
    if (f.UsageModel->row(i).name() == thirtyOne) row = i;
  f.UsageChartMouseMove(labelCentre(f, row));
  EXPECT_EQ(f.UsageChart->hintText(), QString::fromStdString(thirtyOne));
  EXPECT_TRUE(f.UsageChart->hintsEnabled());
  EXPECT_EQ(f.UsageChart->pointerShape(), Qt::ArrowCursor) << "a file";
  f.UsageChartMouseMove(labelCentre(f, 0));  // Alpha, a folder
  EXPECT_EQ(f.UsageChart->pointerShape(), Qt::PointingHandCursor);
  // Half-way between two rows: the dead band.
  const QPoint between = (labelCentre(f, 0) + labelCentre(f, 1)) / 2;
  f.UsageChartMouseMove(between);
  EXPECT_EQ(f.ChartRowAt(between.x(), between.y()), -1);
  EXPECT_TRUE(f.UsageChart->hintText().isEmpty());
  EXPECT_FALSE(f.UsageChart->hintsEnabled());
  EXPECT_EQ(f.UsageChart->pointerShape(), Qt::ArrowCursor);
}

TEST_F(FormTest, TheScrollBarShowsWhenTheRowsDoNotFitAndTheWheelMovesOneRow) {
  for (int n : {12, 13}) {
    TempTree tree;
    for (int i = 0; i < n; ++i) tree.file("f" + std::to_string(100 + i), 1);
    TDiskUsageForm& f = open({tree.root()});
    f.ChartCmd->trigger();  // the settings stored by the window before may say numbers
    setChartHeight(f, 490);
    ASSERT_EQ(f.ChartRowsPerPage(), 11) << "chart " << f.UsageChart->height() << " window " << f.height() << " max " << f.maximumHeight() << " min " << f.minimumHeight();
    f.RefreshCmdClick();
    EXPECT_EQ(f.ChartScroll->isVisible(), n == 13) << n << " rows";
    EXPECT_EQ(f.ChartScroll->maximum(), n == 13 ? 1 : 0);
    EXPECT_EQ(f.UsageChart->categoryMin(), 0);
    EXPECT_EQ(f.UsageChart->categoryMax(), 11);
    EXPECT_EQ(f.UsageChart->pointsPerPage(), 12);
    if (n == 13) {
      const QPoint inside = f.UsageChart->mapToGlobal(f.UsageChart->rect().center());
      wheel(f.UsageChart, inside, -1);  // down
      EXPECT_EQ(f.ChartScroll->value(), 1);
      EXPECT_EQ(f.UsageChart->categoryMin(), 1);
      EXPECT_EQ(f.UsageChart->categoryMax(), 12);
      wheel(f.UsageChart, inside, -1);  // at the end: nothing moves
      EXPECT_EQ(f.ChartScroll->value(), 1);
      wheel(f.UsageChart, inside, 1);
      EXPECT_EQ(f.ChartScroll->value(), 0);
      wheel(f.UsageChart, inside, 1);  // at the top
      EXPECT_EQ(f.ChartScroll->value(), 0);
      // Outside the chart panel the wheel is the control's own.
      const QPoint overTree = f.TreeView->mapToGlobal(f.TreeView->rect().center());
      wheel(f.TreeView->viewport(), overTree, -1);
      EXPECT_EQ(f.ChartScroll->value(), 0);
      // Dragging the thumb scrolls live; a sort goes back to the top page.
      f.ChartScroll->setValue(1);
      EXPECT_EQ(f.UsageChart->categoryMin(), 1);
      f.UsageListColumnClick(1);
      EXPECT_EQ(f.ChartScroll->value(), 0);
      EXPECT_EQ(f.UsageChart->categoryMin(), 0);
      EXPECT_EQ(f.UsageChart->categoryMax(), 11);
    }
    form.reset();
  }
}

TEST_F(FormTest, ClickingAFolderNameEntersItAndAFileNameDoesNothing) {
  TDiskUsageForm& f = open({t.root()});
  setChartHeight(f, 478);
  ASSERT_EQ(f.UsageModel->row(0).name(), "Alpha");
  int file = -1;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i)
    if (f.UsageModel->row(i).name() == "a.txt") file = i;
  QTest::mouseClick(f.UsageChart, Qt::LeftButton, {}, labelCentre(f, file));
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  // The bars are not sensitive either.
  const TBarChart::CategoryAxis a = f.UsageChart->categoryAxis();
  QTest::mouseClick(f.UsageChart, Qt::LeftButton, {}, QPoint(a.labelsRight + 40, labelCentre(f, 0).y()));
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  QTest::mouseClick(f.UsageChart, Qt::LeftButton, {}, labelCentre(f, 0));
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  EXPECT_EQ(rowNames(), (Names{"y", "x.bin"}));
}

TEST_F(FormTest, ARefreshStoppedByAFailureLeavesTheChartItHad) {
  t.dir("good");
  t.file("good/first", 3000);
  t.file("good/second", 9000);
  t.dir("fails");
  for (const char* n : {"a", "b", "c_fail", "d"}) t.file(std::string("fails/") + n, 50000);
  setenv("FAKE_FAIL_NAME", "c_fail", 1);
  setenv("FAKE_FAIL_CODE", "-7", 1);
  TDiskUsageForm& f = open({t.path("good")}, {kFakeEngine});
  ASSERT_TRUE(messages.empty());
  std::vector<std::pair<QString, double>> before;
  for (int i = 0; i < f.UsageChart->pointCount(f.DiskBytesSeries); ++i)
    before.emplace_back(f.UsageChart->pointLabel(f.DiskBytesSeries, i),
                        f.UsageChart->pointValue(f.DiskBytesSeries, i));
  ASSERT_EQ(before.size(), 2u);

  f.SelectFolderPath(t.path("fails"));
  ASSERT_EQ(messages.size(), 1u);
  ASSERT_GT(f.UsageModel->rowCount(), 0) << "rows of the new folder came in before the failure";
  ASSERT_EQ(f.UsageChart->pointCount(f.DiskBytesSeries), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.UsageChart->pointLabel(f.DiskBytesSeries, i), before[i].first);
    EXPECT_DOUBLE_EQ(f.UsageChart->pointValue(f.DiskBytesSeries, i), before[i].second);
  }
}

TEST_F(FormTest, APlaceThatCannotBeSizedEmptiesTheChart) {
  TDiskUsageForm& f = open({t.root()});
  ASSERT_GT(f.UsageChart->pointCount(f.DiskBytesSeries), 0);
  f.TreeView->setCurrentIndex(f.TreeModel->topIndex());
  EXPECT_EQ(f.UsageChart->pointCount(f.DiskBytesSeries), 0);
  EXPECT_EQ(f.UsageModel->rowCount(), 1);
  EXPECT_FALSE(f.RowIsFolder(0)) << "the placeholder row is never a folder";
  EXPECT_EQ(f.ChartRowAt(-5, -5), -1);
}

TEST_F(FormTest, TheChartDrawsItsPageWithIconsAtEverySize) {
  for (int i = 0; i < 30; ++i) t.file("file" + std::to_string(i) + ".txt", 5000 * (i + 1));
  TDiskUsageForm& f = open({t.root()});
  for (int height : {478, 240, 120}) {
    setChartHeight(f, height);
    QImage img(f.UsageChart->size(), QImage::Format_ARGB32);
    f.UsageChart->render(&img);
    if (const char* dir = std::getenv("TALLORIN_CHART_PNG_DIR"))
      img.save(QString::fromLocal8Bit(dir) + QStringLiteral("/chart-%1.png").arg(height));
    int disk = 0, fileBytes = 0, other = 0;
    const TBarChart::CategoryAxis a = f.UsageChart->categoryAxis();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c == QColor(78, 124, 158)) ++disk;
        else if (c == QColor(141, 166, 175)) ++fileBytes;
        else if (x < a.labelsRight + 8 && x > a.labelsRight - 12 && c != Qt::white && c.saturation() > 60) ++other;
      }
    EXPECT_GT(disk, 20) << height;
    EXPECT_GT(fileBytes, 20) << height;
    EXPECT_GT(other, 10) << "icons beside the labels at " << height;
  }
}

namespace {

// Turns the wheel over the chart until the scroll bar stops; the rows shown
// then are the last page.
void wheelToTheEnd(TDiskUsageForm& f) {
  const QPoint inside = f.UsageChart->mapToGlobal(f.UsageChart->rect().center());
  for (int i = 0; i < 100 && f.ChartScroll->value() < f.ChartScroll->maximum(); ++i) wheel(f.UsageChart, inside, -1);
}

}  // namespace

TEST_F(FormTest, TheScrollRangeFollowsTheChartShownAfterARefreshInTheNumbersView) {
  TempTree tree;
  for (int i = 0; i < 14; ++i) tree.file("f" + std::to_string(100 + i), 1);
  {
    // A start in the numbers view: the chart has never been shown.
    TDiskUsageForm& f = open({tree.root()});
    f.NumbersCmd->trigger();
    f.SaveSettingsNowCmd->trigger();
    form.reset();
  }
  TDiskUsageForm& f = open({tree.root()});
  ASSERT_FALSE(f.ChartPanel->isVisible());
  f.RefreshCmdClick();
  f.ChartCmd->trigger();
  const int r = f.ChartRowsPerPage();
  ASSERT_LT(r + 1, 14) << "the window must be too low for 14 rows, chart " << f.UsageChart->height();
  EXPECT_TRUE(f.ChartScroll->isVisible());
  EXPECT_EQ(f.ChartScroll->maximum(), 14 - r - 1);
  EXPECT_EQ(f.UsageChart->categoryMin(), 0);
  EXPECT_EQ(f.UsageChart->categoryMax(), r);
  wheelToTheEnd(f);
  EXPECT_EQ(f.UsageChart->categoryMax(), 13) << "the last page ends with the last row: no empty slots";
  EXPECT_EQ(f.UsageChart->categoryMin(), 13 - r);

  // The same after the window was made lower while the numbers were shown.
  f.NumbersCmd->trigger();
  f.resize(f.width(), f.height() - 120);
  QCoreApplication::processEvents();
  f.RefreshCmdClick();
  f.ChartCmd->trigger();
  QCoreApplication::processEvents();
  const int lower = f.ChartRowsPerPage();
  ASSERT_LT(lower, r);
  EXPECT_EQ(f.ChartScroll->maximum(), 14 - lower - 1);
  wheelToTheEnd(f);
  EXPECT_EQ(f.UsageChart->categoryMax(), 13);
}

TEST_F(FormTest, AResizeRecomputesTheScrollRangeSoThatTheLastRowsStayReachable) {
  TempTree tree;
  for (int i = 0; i < 13; ++i) tree.file("f" + std::to_string(100 + i), 1);
  TDiskUsageForm& f = open({tree.root()});
  f.ChartCmd->trigger();
  setChartHeight(f, 530);
  ASSERT_EQ(f.ChartRowsPerPage(), 12);
  f.RefreshCmdClick();
  EXPECT_FALSE(f.ChartScroll->isVisible()) << "13 rows fit";
  EXPECT_EQ(f.ChartScroll->maximum(), 0);

  f.resize(f.width(), 420);
  QCoreApplication::processEvents();
  const int r = f.ChartRowsPerPage();
  ASSERT_LT(r + 1, 13) << "chart " << f.UsageChart->height();
  EXPECT_TRUE(f.ChartScroll->isVisible());
  EXPECT_EQ(f.ChartScroll->maximum(), 13 - r - 1);
  wheelToTheEnd(f);
  EXPECT_EQ(f.UsageChart->categoryMax(), 12) << "the last row is reachable";

  // Scrolled to the end, a taller window keeps the page full: the top moves up.
  setChartHeight(f, 530);
  EXPECT_FALSE(f.ChartScroll->isVisible());
  EXPECT_EQ(f.ChartScroll->maximum(), 0);
  EXPECT_EQ(f.UsageChart->categoryMin(), 0);
  EXPECT_EQ(f.UsageChart->categoryMax(), 12);
}

TEST_F(FormTest, TheScrollThumbIsNotPageSizedAndAClickBesideItMovesAPage) {
  TempTree tree;
  for (int i = 0; i < 30; ++i) tree.file("f" + std::to_string(100 + i), 1);
  TDiskUsageForm& f = open({tree.root()});
  f.ChartCmd->trigger();
  setChartHeight(f, 490);
  ASSERT_EQ(f.ChartRowsPerPage(), 11);
  f.RefreshCmdClick();
  EXPECT_EQ(f.ChartScroll->pageStep(), 0);
  EXPECT_EQ(f.ChartScroll->maximum(), 30 - 12);
  // Below the thumb, above the down button: one page of 12 rows down.
  const QPoint belowThumb(f.ChartScroll->width() / 2, f.ChartScroll->height() - 30);
  QTest::mouseClick(f.ChartScroll, Qt::LeftButton, {}, belowThumb);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.ChartScroll->value() != 0; }));
  EXPECT_EQ(f.ChartScroll->value(), 12);
  EXPECT_EQ(f.UsageChart->categoryMin(), 12);
  EXPECT_EQ(f.UsageChart->categoryMax(), 23);
  EXPECT_EQ(f.ChartScroll->pageStep(), 0) << "a resize leaves the thumb alone";
}

namespace {

// The pixels of the chart in the desktop's highlight colour: the focus mark.
int highlightPixels(TDiskUsageForm& f) {
  const QImage img = f.UsageChart->grab().toImage();
  const QColor mark = f.palette().color(QPalette::Active, QPalette::Highlight);
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == mark;
  return n;
}

std::vector<QObject*> g_chartKeysWhileComputing;
void postChartKeysOnFirstCalc(const char*) {
  for (QObject* to : g_chartKeysWhileComputing) {
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
  }
  g_chartKeysWhileComputing.clear();
}

}  // namespace

TEST_F(FormTest, KeysMoveTheChartsCurrentRowAndPageAndEnterEntersAFolder) {
  TempTree tree;
  for (int i = 0; i < 20; ++i) {
    const std::string d = "d" + std::to_string(100 + i);
    tree.dir(d);
    tree.file(d + "/inside", 10 * (i + 1));
  }
  for (int i = 0; i < 10; ++i) tree.file("f" + std::to_string(100 + i), 1);
  TDiskUsageForm& f = open({tree.root()}, {kFakeEngine});
  f.ChartCmd->trigger();
  setChartHeight(f, 195);
  ASSERT_EQ(f.ChartRowsPerPage(), 4) << "pages of 5 rows";
  f.RefreshCmdClick();
  ASSERT_EQ(f.ChartRowCount(), 30);
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.TreeView->setFocus();
  ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == f.TreeView; }));
  EXPECT_EQ(highlightPixels(f), 0) << "no mark while the keyboard is elsewhere";
  // Tab, Tab: the folder box, then the chart.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), f.ChartPanel);
  EXPECT_EQ(f.ChartCurrentRow, 0) << "the top row is current";
  EXPECT_GT(highlightPixels(f), 2 * f.UsageChart->width()) << "its band is marked";

  struct Step {
    Qt::Key key;
    int row, top;  // the current row and the page's first row afterwards
  } steps[] = {
      {Qt::Key_Down, 1, 0},     {Qt::Key_Down, 2, 0},     {Qt::Key_PageDown, 7, 5}, {Qt::Key_PageDown, 12, 10},
      {Qt::Key_Up, 11, 10},     {Qt::Key_Up, 10, 10},     {Qt::Key_Up, 9, 9},       {Qt::Key_End, 29, 25},
      {Qt::Key_Down, 29, 25},   {Qt::Key_PageUp, 24, 20}, {Qt::Key_Home, 0, 0},     {Qt::Key_Up, 0, 0},
      {Qt::Key_PageUp, 0, 0},   {Qt::Key_Down, 1, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE("key " + std::to_string(s.key) + " to row " + std::to_string(s.row));
    QTest::keyClick(f.ChartPanel, s.key);
    EXPECT_EQ(f.ChartCurrentRow, s.row);
    EXPECT_EQ(f.ChartScroll->value(), s.top);
    EXPECT_EQ(f.UsageChart->categoryMin(), s.top);
    EXPECT_EQ(f.UsageChart->categoryMax(), s.top + 4);
  }
  // The wheel scrolls the page away; the next key brings it back to the row.
  const QPoint inside = f.UsageChart->mapToGlobal(f.UsageChart->rect().center());
  for (int i = 0; i < 8; ++i) wheel(f.UsageChart, inside, -1);
  ASSERT_EQ(f.UsageChart->categoryMin(), 8);
  EXPECT_EQ(highlightPixels(f), 0) << "the current row is off the page";
  QTest::keyClick(f.ChartPanel, Qt::Key_Down);
  EXPECT_EQ(f.ChartCurrentRow, 2);
  EXPECT_EQ(f.UsageChart->categoryMin(), 2);

  // Presses made while a refresh held the window are dropped with the rest.
  auto hook = fakeSymbol<void (*)(void (*)(const char*))>("FakeSetCalcHook");
  ASSERT_NE(hook, nullptr);
  g_chartKeysWhileComputing = {f.ChartPanel};
  hook(&postChartKeysOnFirstCalc);
  f.RefreshCmd->trigger();
  hook(nullptr);
  ASSERT_TRUE(g_chartKeysWhileComputing.empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(f.currentFolderPath(), tree.root() + "/") << "no folder entered";
  EXPECT_EQ(f.ChartCurrentRow, 0) << "the rebuilt chart's top row";

  // Enter on a file does nothing; on a folder it enters it, as a click on its
  // name does, and the keyboard stays on the chart.
  f.ChartPanel->setFocus();
  QTest::keyClick(f.ChartPanel, Qt::Key_End);
  ASSERT_FALSE(f.RowIsFolder(f.ChartCurrentRow));
  QTest::keyClick(f.ChartPanel, Qt::Key_Return);
  EXPECT_EQ(f.currentFolderPath(), tree.root() + "/");
  QTest::keyClick(f.ChartPanel, Qt::Key_Home);
  QTest::keyClick(f.ChartPanel, Qt::Key_Down);
  ASSERT_EQ(f.UsageModel->row(f.ChartCurrentRow).name(), "d101");
  QTest::keyClick(f.ChartPanel, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(f.currentFolderPath(), tree.path("d101") + "/");
  EXPECT_EQ(rowNames(), (Names{"inside"}));
  EXPECT_EQ(QApplication::focusWidget(), f.ChartPanel);
  EXPECT_EQ(f.ChartCurrentRow, 0);
  // Backspace goes back up, to the folder it came from.
  QTest::keyClick(f.ChartPanel, Qt::Key_Backspace);
  EXPECT_EQ(f.currentFolderPath(), tree.root() + "/");
  EXPECT_EQ(QApplication::focusWidget(), f.ChartPanel);
  EXPECT_EQ(f.ChartCurrentRow, 1);
  // The rows keep the keyboard when the view changes.
  f.NumbersCmd->trigger();
  EXPECT_EQ(QApplication::focusWidget(), f.UsageList);
  f.ChartCmd->trigger();
  EXPECT_EQ(QApplication::focusWidget(), f.ChartPanel);
}
