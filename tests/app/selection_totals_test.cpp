// Selecting rows shows their sums; the selection commands; the target and
// efficiency gauges; the status bar's drawing and its double-click test.
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QTest>
#include <sstream>

#include "form_fixture.h"
#include "model/tstring.h"
#include "views/gauge.h"
#include "views/status_bar.h"

namespace {

void clickRow(TDiskUsageForm& f, int row, Qt::KeyboardModifiers mods = {}) {
  const QRect r = f.UsageList->visualRect(f.UsageModel->index(row, 0));
  QTest::mouseClick(f.UsageList->viewport(), Qt::LeftButton, mods, r.center());
}

int rowOf(TDiskUsageForm& f, const std::string& name) {
  for (int i = 0; i < f.UsageModel->rowCount(); ++i)
    if (f.UsageModel->row(i).name() == name) return i;
  return -1;
}

struct Totals {
  QString files, dirs, bytes, disk, items;
  bool operator==(const Totals&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Totals& t) {
  return os << t.files.toStdString() << "/" << t.dirs.toStdString() << "/" << t.bytes.toStdString() << "/"
            << t.disk.toStdString() << "/" << t.items.toStdString();
}
Totals totals(TDiskUsageForm& f) {
  return {f.FilesValLabel->text(), f.DirectoriesValLabel->text(), f.FileBytesValLabel->text(),
          f.DiskBytesValLabel->text(), f.statusPanelText(0)};
}

}  // namespace

TEST_F(FormTest, SelectionsShowTheirSums) {
  TDiskUsageForm& f = open({t.root()});
  const QString disk = FormatFigureForTest(roundUp(5000) + roundUp(10) + roundUp(100) + roundUp(2) + roundUp(5000) +
                                           roundUp(1));
  struct Step {
    const char* what;
    std::function<void()> act;
    Totals want;
    Names selected;
  };
  const Step steps[] = {
      {"nothing selected: all rows", [] {}, {"7", "1", "10,113", disk, "6 items"}, {}},
      {"click Alpha", [&] { clickRow(f, rowOf(f, "Alpha")); },
       {"2", "1", "5,010", FormatFigureForTest(roundUp(5000) + roundUp(10)), "1 selection"}, {"Alpha"}},
      {"ctrl-click B.txt", [&] { clickRow(f, rowOf(f, "B.txt"), Qt::ControlModifier); },
       {"3", "1", "10,010", FormatFigureForTest(roundUp(5000) + roundUp(10) + roundUp(5000)), "2 selections"},
       {"Alpha", "B.txt"}},
      {"invert", [&] { f.InvertSelectionCmd->trigger(); },
       {"4", "0", "103", FormatFigureForTest(roundUp(100) + roundUp(2) + roundUp(1)), "4 selections"},
       {"a.txt", "Ax", "zero", "_x"}},
      {"select all", [&] { f.SelectAllCmd->trigger(); }, {"7", "1", "10,113", disk, "6 selections"},
       {"Alpha", "a.txt", "Ax", "B.txt", "zero", "_x"}},
      {"unselect all", [&] { f.UnselectAllCmd->trigger(); }, {"7", "1", "10,113", disk, "6 items"}, {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(totals(f), s.want);
    EXPECT_EQ(selectedNames(), s.selected);
  }
  EXPECT_TRUE(f.SelectAllCmd->isEnabled());
  EXPECT_EQ(f.SelectAllCmd->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
  EXPECT_EQ(f.UnselectAllCmd->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
}

TEST_F(FormTest, TheSelectionAndItsSumsStayWhileTheChartIsShownInstead) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  clickRow(f, 1);
  clickRow(f, 4, Qt::ShiftModifier);
  const Names selected = selectedNames();
  const Totals sums = totals(f);
  ASSERT_EQ(selected.size(), 4u);
  struct Switch {
    const char* what;
    std::function<void()> toChart, toNumbers;
  } switches[] = {
      {"tool buttons clicked", [&] { QTest::mouseClick(f.ChartBtn, Qt::LeftButton); },
       [&] { QTest::mouseClick(f.NumbersBtn, Qt::LeftButton); }},
      {"menu items", [&] { f.ChartCmd->trigger(); }, [&] { f.NumbersCmd->trigger(); }},
      {"totals only and back", [&] { f.TotalsOnlyCmd->trigger(); }, [&] { f.ListAndTotalsCmd->trigger(); }},
  };
  for (const Switch& s : switches) {
    SCOPED_TRACE(s.what);
    f.UsageList->setFocus();  // as after the clicks that selected the rows
    s.toChart();
    QCoreApplication::processEvents();
    EXPECT_EQ(totals(f), sums) << "while the list is hidden";
    s.toNumbers();
    QCoreApplication::processEvents();
    EXPECT_EQ(selectedNames(), selected);
    EXPECT_EQ(totals(f), sums);
  }
}

TEST_F(FormTest, ARefreshSelectsTheInvertedRowsAgain) {
  TDiskUsageForm& f = open({t.root()});
  clickRow(f, 0);
  clickRow(f, 1, Qt::ControlModifier);
  f.InvertSelectionCmd->trigger();
  const Names inverted = selectedNames();
  ASSERT_EQ(inverted, (Names{"Ax", "B.txt", "zero", "_x"}));
  f.RefreshCmd->trigger();
  EXPECT_EQ(selectedNames(), inverted);
  EXPECT_EQ(f.statusPanelText(0), "4 selections");
  // Keys released in the list take the selection as it is then.
  f.UsageList->setFocus();
  f.UsageList->selectionModel()->clearSelection();
  QTest::keyRelease(f.UsageList, Qt::Key_Down);
  EXPECT_TRUE(f.RememberedSelection.empty());
  EXPECT_EQ(f.statusPanelText(0), "6 items");
}

// Whatever changes the selection, the sums and the remembered rows are those
// shown selected afterwards, and F5 selects those again.
TEST_F(FormTest, SumsAndTheRememberedRowsFollowTheSelectionAsShown) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  f.UsageList->setFocus();
  const auto disk = [&](std::initializer_list<uint64_t> sizes) {
    uint64_t sum = 0;
    for (uint64_t s : sizes) sum += roundUp(s);
    return FormatFigureForTest(double(sum));
  };
  const auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(f.UsageList, k, mods); };
  struct Step {
    const char* what;
    std::function<void()> act;
    Names selected;
    Totals want;
  };
  // Rows: Alpha, a.txt, Ax, B.txt, zero, _x.
  const Step steps[] = {
      {"click, ctrl-click two, plain click on one of them",
       [&] {
         clickRow(f, rowOf(f, "a.txt"));
         clickRow(f, rowOf(f, "B.txt"), Qt::ControlModifier);
         clickRow(f, rowOf(f, "_x"), Qt::ControlModifier);
         clickRow(f, rowOf(f, "B.txt"));
       },
       {"B.txt"},
       {"1", "0", "5,000", disk({5000}), "1 selection"}},
      {"shift-click", [&] { clickRow(f, rowOf(f, "zero"), Qt::ShiftModifier); }, {"B.txt", "zero"},
       {"2", "0", "5,000", disk({5000, 0}), "2 selections"}},
      {"shift+up from the current row, held down (no key released yet)",
       [&] { QTest::keyPress(f.UsageList, Qt::Key_Up, Qt::ShiftModifier); },
       {"B.txt"},
       {"1", "0", "5,000", disk({5000}), "1 selection"}},
      {"drag from Ax down to zero",
       [&] {
         QTest::keyRelease(f.UsageList, Qt::Key_Up, Qt::ShiftModifier);
         const QPoint from = f.UsageList->visualRect(f.UsageModel->index(rowOf(f, "Ax"), 0)).center();
         const QPoint to = f.UsageList->visualRect(f.UsageModel->index(rowOf(f, "zero"), 0)).center();
         QTest::mousePress(f.UsageList->viewport(), Qt::LeftButton, {}, from);
         QMouseEvent move(QEvent::MouseMove, QPointF(to), f.UsageList->viewport()->mapToGlobal(QPointF(to)),
                          Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(f.UsageList->viewport(), &move);
       },
       {"Ax", "B.txt", "zero"},
       {"3", "0", "5,002", disk({2, 5000, 0}), "3 selections"}},
      {"the drag's button released",
       [&] {
         QTest::mouseRelease(f.UsageList->viewport(), Qt::LeftButton, {},
                             f.UsageList->visualRect(f.UsageModel->index(rowOf(f, "zero"), 0)).center());
       },
       {"Ax", "B.txt", "zero"},
       {"3", "0", "5,002", disk({2, 5000, 0}), "3 selections"}},
      {"a change made by another part of the program",
       [&] {
         f.UsageList->selectionModel()->select(f.UsageModel->index(rowOf(f, "Alpha"), 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
       },
       {"Alpha"},
       {"2", "1", "5,010", disk({5000, 10}), "1 selection"}},
      {"ctrl+space on the current row (the drag's end)", [&] { key(Qt::Key_Space, Qt::ControlModifier); },
       {"Alpha", "zero"},
       {"3", "1", "5,010", disk({5000, 10, 0}), "2 selections"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(selectedNames(), s.selected);
    if (!s.want.items.isEmpty()) EXPECT_EQ(totals(f), s.want);
    Names remembered;
    for (const std::string& p : f.RememberedSelection) remembered.push_back(p.substr(p.rfind('/') + 1));
    EXPECT_EQ(remembered, s.selected) << "what is remembered is what is shown";
  }
  // The first step again, then F5 (the key, as the user presses it).
  clickRow(f, rowOf(f, "a.txt"));
  clickRow(f, rowOf(f, "B.txt"), Qt::ControlModifier);
  clickRow(f, rowOf(f, "_x"), Qt::ControlModifier);
  clickRow(f, rowOf(f, "B.txt"));
  const int refreshes = [&] {
    int n = 0;
    QObject::connect(f.RefreshCmd, &QAction::triggered, &f, [&n] { ++n; });
    key(Qt::Key_F5);
    return n;
  }();
  ASSERT_EQ(refreshes, 1) << "F5 refreshes";
  EXPECT_EQ(selectedNames(), Names{"B.txt"});
  EXPECT_EQ(totals(f), (Totals{"1", "0", "5,000", disk({5000}), "1 selection"}));
}

// Names that differ only in case are different items on the volumes we list.
TEST_F(FormTest, RememberedStartAndDroppedNamesMatchExactly) {
  t.file("ax", 7);
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  clickRow(f, rowOf(f, "Ax"));
  f.RefreshCmd->trigger();
  EXPECT_EQ(selectedNames(), Names{"Ax"}) << "a refresh selects Ax only";
  clickRow(f, rowOf(f, "ax"));
  f.RefreshCmd->trigger();
  EXPECT_EQ(selectedNames(), Names{"ax"});
  EXPECT_EQ(f.statusPanelText(0), "1 selection");

  f.MainPanelFileDrop({t.path("AX"), t.path("Ax")});
  EXPECT_EQ(selectedNames(), Names{"Ax"}) << "a dropped name selects its own row only";
  f.MainPanelFileDrop({t.path("AX")});
  EXPECT_EQ(selectedNames(), Names{}) << "no row is called AX";

  form.reset();
  open({t.path("ax")});
  EXPECT_EQ(selectedNames(), Names{"ax"}) << "the start file";
}

TEST_F(FormTest, ItemCountsReadDifferentlyAfterARefreshAndAfterTheSelectionTotals) {
  t.dir("many");
  for (int i = 0; i < 1234; ++i) t.file("many/f" + std::to_string(i), 1);
  TDiskUsageForm& f = open({t.path("many")}, {kFakeEngine});
  EXPECT_EQ(f.statusPanelText(0), "1,234 items");
  f.UnselectAllCmd->trigger();
  EXPECT_EQ(f.statusPanelText(0), "1234 items");
}

TEST_F(FormTest, AZeroByteSelectionLeavesTheEfficiencyAsItWas) {
  TDiskUsageForm& f = open({t.root()});
  const QString efficiency = f.EfficiencyValLabel->text();
  const int progress = f.EfficiencyGuage->progress();
  ASSERT_NE(efficiency, "100%");
  clickRow(f, rowOf(f, "zero"));
  EXPECT_EQ(f.statusPanelText(0), "1 selection");
  EXPECT_EQ(f.DiskBytesValLabel->text(), "0");
  EXPECT_EQ(f.EfficiencyValLabel->text(), efficiency);
  EXPECT_EQ(f.EfficiencyGuage->progress(), progress);
  clickRow(f, rowOf(f, "a.txt"));  // 100 bytes in one cluster
  const int e = static_cast<int>(100.0 * 100 / roundUp(100));
  EXPECT_EQ(f.EfficiencyValLabel->text(), QString::number(e) + "%");
  EXPECT_EQ(f.EfficiencyGuage->progress(), 100 - e);
}

TEST_F(FormTest, TheTargetGaugeTurnsYellowAndRedAtItsBoundaries) {
  t.dir("five");
  for (const char* n : {"a", "b", "c", "d", "e"}) t.file(std::string("five/") + n, 1);
  // The fake engine puts every file on 4,096 disk bytes; the target has 8,192 free.
  setenv("FAKE_MAP_DRIVE", "4", 1);
  setenv("FAKE_DISK_FREE", "2", 1);
  setenv("FAKE_SIZE_FACTOR", "4096", 1);
  TDiskUsageForm& f = open({t.path("five")}, {kFakeEngine});
  const QColor yellow(255, 255, 0), red(255, 0, 0), face = f.palette().color(QPalette::Button);
  EXPECT_EQ(f.MapDriveValLabel->text(), "D:");
  EXPECT_EQ(f.TargetGuage->foreColor(), yellow) << "the folder's 20,480 bytes exceed 8,192";
  EXPECT_EQ(f.TargetGuage->progress(), 100);
  struct Case {
    int rows;
    QColor colour;
    int progress;
  };
  for (const Case& c : {Case{1, face, 50}, Case{2, yellow, 100}, Case{3, red, 100}, Case{0, red, 100}}) {
    SCOPED_TRACE(c.rows);
    f.UsageList->clearSelection();
    for (int i = 0; i < c.rows; ++i) clickRow(f, i, Qt::ControlModifier);
    if (c.rows == 0) f.UnselectAllCmd->trigger();  // none selected: all five rows count
    EXPECT_EQ(f.TargetGuage->foreColor(), c.colour);
    EXPECT_EQ(f.TargetGuage->progress(), c.progress);
  }
}

TEST(Gauge, PaintsTheForegroundOverTheProgressShare) {
  TGauge g;
  g.resize(100, 10);
  g.setForeColor(Qt::black);
  struct Case {
    int set, want;
  };
  for (const Case& c : {Case{30, 30}, Case{-5, 0}, Case{150, 100}, Case{0, 0}, Case{100, 100}}) {
    g.setProgress(c.set);
    EXPECT_EQ(g.progress(), c.want);
    const QImage img = g.grab().toImage();
    for (int x : {0, 29, 30, 99}) {
      const QColor want = x < c.want ? QColor(Qt::black) : kSkyBlue;
      EXPECT_EQ(img.pixelColor(x, 5), want) << "progress " << c.set << " x " << x;
    }
  }
}

TEST(StatusBar, TheClusterPanelHitTestAtItsEdges) {
  struct Case {
    int x, y;
    bool in;
  };
  TStatusBar bar;
  QFont font = bar.font();
  font.setPixelSize(11);  // the window's face at 96 dpi: the panels keep their least widths
  bar.setFont(font);
  ASSERT_EQ(bar.height(), 19);
  // With the widths 90, 200 and 115 the edges lie at 292 and 405; with wider
  // panels, as far from them.
  const int left = 2 + bar.panelWidth(0) + bar.panelWidth(1), right = left + bar.panelWidth(2) - 2;
  EXPECT_GE(left, 292);
  EXPECT_GE(right - left, 113);
  const int mid = left + 8;
  const Case cases[] = {{left, 10, false}, {left + 1, 10, true}, {right - 1, 10, true}, {right, 10, false},
                        {mid, 2, false},   {mid, 3, true},       {mid, 17, true},       {mid, 18, false},
                        {45, 10, false},   {right + 70, 10, false}};
  for (const Case& c : cases) EXPECT_EQ(bar.InClusterPanel({c.x, c.y}), c.in) << c.x << "," << c.y;

  bar.resize(right + 200, 19);
  QSignalSpy spy(&bar, &TStatusBar::clusterPanelDoubleClicked);
  QTest::mouseDClick(&bar, Qt::LeftButton, {}, QPoint(mid, 10));
  EXPECT_EQ(spy.count(), 0) << "nothing while the cluster panel is empty";
  bar.StatusBarMouseMove({mid, 10});
  EXPECT_FALSE(bar.clusterTipOn()) << "an empty panel 2 changes nothing";
  bar.setPanelText(2, "4K bytes per cluster");
  for (const Case& c : cases) {
    bar.StatusBarMouseMove({c.x, c.y});
    EXPECT_EQ(bar.clusterTipOn(), c.in);
    EXPECT_EQ(bar.toolTip(), c.in ? "Double click to change" : "");
    const int before = spy.count();
    QTest::mouseDClick(&bar, Qt::LeftButton, {}, QPoint(c.x, c.y));
    EXPECT_EQ(spy.count() - before, c.in ? 1 : 0) << c.x << "," << c.y;
  }
  bar.StatusBarMouseMove({mid, 10});
  ASSERT_TRUE(bar.clusterTipOn());
  bar.setPanelText(2, "");
  bar.StatusBarMouseMove({45, 10});
  EXPECT_TRUE(bar.clusterTipOn()) << "with panel 2 empty a movement keeps the switch as it was";
  EXPECT_EQ(bar.lastPointer(), QPoint(45, 10));
}

TEST(StatusBar, TheFreeSpaceBarAndTheCustomClusterPanel) {
  EXPECT_EQ(TStatusBar::SharePercent("12G of 100G bytes free (37%)"), 37);
  EXPECT_EQ(TStatusBar::SharePercent("12G bytes free"), -1);
  EXPECT_EQ(TStatusBar::SharePercent("a ()%"), -1);
  EXPECT_EQ(TStatusBar::SharePercent("(x%)"), -1);

  TStatusBar bar;
  bar.resize(800, bar.height());
  bool custom = false;
  bar.setCustomClusterQuery([&] { return custom; });
  bar.setPanelText(1, "12G of 100G bytes free (37%)");
  bar.setPanelText(2, "64K bytes per cluster");
  const QRect r1 = bar.panelRect(1), r2 = bar.panelRect(2);
  const int barLeft = r1.right() + 1 - r1.width() * 37 / 100;
  const int y = r1.bottom();  // below the text
  QImage img = bar.grab().toImage();
  EXPECT_EQ(img.pixelColor(barLeft, y), kSkyBlue);
  EXPECT_EQ(img.pixelColor(r1.right(), y), kSkyBlue);
  EXPECT_NE(img.pixelColor(barLeft - 1, y), kSkyBlue);
  EXPECT_NE(img.pixelColor(r2.center().x(), r2.bottom()), kSkyBlue);
  // The share's text ends 3 pixels before the panel's right edge, over the bar.
  bool darkNearRight = false;
  for (int x = r1.right() - 12; x <= r1.right() - 3; ++x)
    for (int yy = r1.top(); yy <= r1.bottom(); ++yy)
      if (img.pixelColor(x, yy).lightness() < 100) darkNearRight = true;
  EXPECT_TRUE(darkNearRight);
  for (int yy = r1.top(); yy <= r1.bottom(); ++yy)
    EXPECT_GT(img.pixelColor(r1.right() - 1, yy).lightness(), 100) << "nothing drawn in the last 3 pixels";
  custom = true;
  bar.update();
  img = bar.grab().toImage();
  EXPECT_EQ(img.pixelColor(r2.center().x(), r2.bottom()), kSkyBlue);
  EXPECT_EQ(img.pixelColor(r2.right(), r2.top()), kSkyBlue);
  // An empty free-space panel is not drawn at all.
  bar.setPanelText(1, "");
  img = bar.grab().toImage();
  EXPECT_NE(img.pixelColor(r1.right(), y), kSkyBlue);
}

TEST_F(FormTest, AFileWithSeveralNamesCountsOnceInTheTotalsAsInDuAndTheReport) {
  // Two names of one file side by side, names of one file in several
  // entries, and snapshots sharing their files: the totals, and the sums of
  // every row selected, are du's for the entries together (file bytes in
  // both disk modes, disk bytes in allocated blocks), and the report's of
  // the same folder. The entries are sized in the listing's order: the row
  // that reaches a file after another shows what it adds, its files without
  // their bytes.
  const std::vector<std::string> folders = testsupport::buildHardLinkFolders(t, "links");
  TDiskUsageForm& f = open({t.path(folders[0])});
  for (const std::string& rel : folders) {
    const std::string folder = t.path(rel);
    for (bool allocated : {false, true}) {
      SCOPED_TRACE(rel + (allocated ? ", allocated" : ", clusters"));
      ASSERT_TRUE(TUsageEngine::truth(f.engine().TlrSetOption("AllocatedBlocks", allocated ? "1" : "0")));
      f.OpenFolder(folder);
      f.RefreshCmdClick();  // the same folder again, in the other mode
      ASSERT_EQ(f.currentFolderPath(), folder + "/");
      const Totals shown = totals(f);
      EXPECT_EQ(shown.bytes, FormatFigureForTest(testsupport::duOfEntries(folder, true)));
      if (allocated) {
        EXPECT_EQ(shown.disk, FormatFigureForTest(testsupport::duOfEntries(folder, false)));
      }
      f.SelectAllCmd->trigger();
      const Totals selected = totals(f);
      EXPECT_EQ(selected.bytes, shown.bytes);
      EXPECT_EQ(selected.disk, shown.disk);
      EXPECT_EQ(selected.files, shown.files);
      int later = 0;
      for (int i = 0; i < f.UsageModel->rowCount(); ++i)
        if (f.UsageModel->row(i).figures[1] == 0 && f.UsageModel->row(i).figures[3] >= 1) ++later;
      EXPECT_GE(later, 1) << "a row reaches only files counted before it";
      if (allocated) continue;  // the report counts the folder's own blocks as well
      const std::string csv = folder + ".csv";
      ASSERT_EQ(f.engine().TlrCalcUsage(folder.c_str(), csv.c_str()), 0);
      // "FOLDER,Total,disk bytes,file bytes,folders,files,date"; the report
      // counts the entries that are folders among its folders, the window
      // the folders inside them.
      const std::string text = testsupport::readFile(csv);
      const size_t at = text.find(",Total,");
      ASSERT_NE(at, std::string::npos) << text;
      std::istringstream fields(text.substr(at + 7));
      std::string disk, bytes, dirs, files;
      std::getline(fields, disk, ',');
      std::getline(fields, bytes, ',');
      std::getline(fields, dirs, ',');
      std::getline(fields, files, ',');
      EXPECT_EQ(shown.disk, FormatFigureForTest(std::stod(disk)));
      EXPECT_EQ(shown.bytes, FormatFigureForTest(std::stod(bytes)));
      EXPECT_EQ(shown.files, FormatFigureForTest(std::stod(files)));
      ::unlink(csv.c_str());
    }
  }
}
