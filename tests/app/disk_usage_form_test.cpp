// The main window driven offscreen as a user would: start-up forms, the rows
// of a refresh, sorting from the header and the menu, the placeholder row and
// engine failures. Asserts what the window shows.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QMenuBar>
#include <QTreeView>
#include <functional>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "app/disk_usage_form.h"
#include "views/folder_tree_model.h"
#include "model/directory_list.h"
#include "model/repaint_pace.h"
#include "platform/message_box.h"
#include "qt_print.h"
#include "form_fixture.h"
#include "temp_tree.h"
#include "views/figure_format.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

using testsupport::TempTree;


TEST_F(FormTest, AFolderOnTheCommandLineShowsItsRowsTotalsAndStatus) {
  TDiskUsageForm& f = open({t.root()});
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  EXPECT_EQ(f.windowTitle(), QString::fromStdString("Tallorin - " + t.root()));
  EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(t.root()));
  EXPECT_EQ(f.treePath(), t.root());
  // Folders first, then names folding only a-z ('_' sorts after letters).
  EXPECT_EQ(rowNames(), (Names{"Alpha", "a.txt", "Ax", "B.txt", "zero", "_x"}));
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(cell("Alpha", 1), FormatFigure(roundUp(5000) + roundUp(10), us));
  EXPECT_EQ(cell("Alpha", 2), "5,010");
  EXPECT_EQ(cell("Alpha", 3), "1");
  EXPECT_EQ(cell("Alpha", 4), "2");
  EXPECT_EQ(cell("zero", 1), "0");
  EXPECT_EQ(cell("zero", 4), "1");
  EXPECT_EQ(cell("a.txt", 5), DateText((1600000000ull + 11644473600ull) * 10000000ull, us));
  EXPECT_EQ(f.FilesValLabel->text(), "7");
  EXPECT_EQ(f.DirectoriesValLabel->text(), "1");
  EXPECT_EQ(f.FileBytesValLabel->text(), "10,113");
  EXPECT_EQ(f.statusPanelText(0), "6 items");
  EXPECT_EQ(f.statusPanelText(2), ClusterText(static_cast<int32_t>(cluster()), us));
  EXPECT_FALSE(f.statusPanelText(3).isEmpty());
  EXPECT_TRUE(f.statusPanelText(1).contains(" bytes free (")) << f.statusPanelText(1).toStdString();
  EXPECT_TRUE(messages.empty());
  // Columns with their captions and arrow on "Name".
  QHeaderView* h = f.UsageList->header();
  EXPECT_EQ(h->sortIndicatorSection(), 0);
  EXPECT_EQ(h->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_GE(h->sectionSize(0), 280);
  EXPECT_EQ(f.UsageList->rowHeight(0), 21);
}

TEST_F(FormTest, AFileOnTheCommandLineOpensItsFolderWithItsRowSelected) {
  TDiskUsageForm& f = open({t.path("B.txt")});
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  EXPECT_EQ(selectedNames(), Names{"B.txt"});
  EXPECT_EQ(f.statusPanelText(0), "1 selection");
  EXPECT_EQ(f.FilesValLabel->text(), "1");
  EXPECT_EQ(f.FileBytesValLabel->text(), "5,000");
}

TEST_F(FormTest, CommandLineFormsChooseTheStartFolder) {
  struct Case {
    std::vector<std::string> args;
    std::string folder;   // expected current folder; empty: none computed
    QString message;      // expected error box, if any
  };
  const std::string cwd = cwdTree.path("cwd") + "/";
  const Case cases[] = {
      {{}, cwd, {}},
      {{t.path("missing")}, cwd, {}},
      {{"/idlist"}, cwd, {}},  // alone it is just a path that does not exist
      {{"/idlist", "42"}, cwd, {}},
      {{"/idlist", ":42", t.path("Alpha")}, t.path("Alpha") + "/", {}},
      {{"/idlist", "x7", t.path("Alpha")}, t.path("Alpha") + "/", {}},
      {{"/idlist", "7a"}, "", "Error: '7a' is not a valid integer value"},
      {{"/idlist", ""}, "", "Error: '' is not a valid integer value"},
      {{"/idlist", "x"}, "", "Error: '' is not a valid integer value"},
      {{"Alpha"}, cwd, {}},  // relative to the current folder, where there is none
      {{"here.txt"}, cwd, {}},
      {{t.path("Alpha"), "ignored", "too"}, t.path("Alpha") + "/", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    ASSERT_EQ(chdir(cwdTree.path("cwd").c_str()), 0);
    messages.clear();
    open(c.args);
    EXPECT_EQ(form->currentFolderPath(), c.folder);
    if (c.message.isEmpty())
      EXPECT_TRUE(messages.empty());
    else
      EXPECT_EQ(messages, std::vector<QString>{c.message});
    if (c.folder.empty())
      for (int i = 0; i < form->UsageModel->rowCount(); ++i)
        EXPECT_EQ(form->UsageModel->row(i).entry, nullptr) << "no folder's rows";
    form.reset();
  }
}

TEST_F(FormTest, AMissingEngineEndsWithExitCodeOneAndItsMessage) {
  TDiskUsageForm::Options o;
  o.engineCandidates = {t.path("nowhere/libtlr32.so")};
  EXPECT_EQ(TDiskUsageForm::Run(o), 1);
  EXPECT_EQ(messages, std::vector<QString>{"Error: Cannot find TLR32.DLL"});
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

TEST_F(FormTest, HeaderClicksAndTheSortMenuSortAndAgree) {
  TDiskUsageForm& f = open({t.root()});
  QHeaderView* h = f.UsageList->header();
  auto clickHeader = [&](int column) {
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(column) + 5, 5));
  };
  auto checkedColumn = [&] {
    for (int i = 0; i < 6; ++i)
      if (f.SortColumnCmds[i]->isChecked()) return i;
    return -1;
  };
  struct Step {
    std::function<void()> act;
    int column;
    bool ascending;
    Names order;
  };
  const Step steps[] = {
      {[&] { clickHeader(2); }, 2, true, {"zero", "_x", "Ax", "a.txt", "B.txt", "Alpha"}},
      {[&] { clickHeader(2); }, 2, false, {"Alpha", "B.txt", "a.txt", "Ax", "_x", "zero"}},
      // A new column keeps the direction: descending by name puts files first.
      {[&] { clickHeader(0); }, 0, false, {"_x", "zero", "B.txt", "Ax", "a.txt", "Alpha"}},
      {[&] { f.AscendingCmd->trigger(); }, 0, true, {"Alpha", "a.txt", "Ax", "B.txt", "zero", "_x"}},
      {[&] { f.AscendingCmd->trigger(); }, 0, true, {"Alpha", "a.txt", "Ax", "B.txt", "zero", "_x"}},
      {[&] { f.SortColumnCmds[4]->trigger(); }, 4, true, {}},  // by file count
      {[&] { f.SortColumnCmds[4]->trigger(); }, 4, true, {}},  // the current column: nothing
      {[&] { f.DescendingCmd->trigger(); }, 4, false, {}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    steps[i].act();
    EXPECT_EQ(f.SortColumn, steps[i].column);
    EXPECT_EQ(f.SortAscending, steps[i].ascending);
    EXPECT_EQ(h->sortIndicatorSection(), steps[i].column);
    EXPECT_EQ(h->sortIndicatorOrder(), steps[i].ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    EXPECT_EQ(checkedColumn(), steps[i].column);
    EXPECT_EQ(f.AscendingCmd->isChecked(), steps[i].ascending);
    EXPECT_EQ(f.DescendingCmd->isChecked(), !steps[i].ascending);
    if (!steps[i].order.empty()) EXPECT_EQ(rowNames(), steps[i].order);
  }
  EXPECT_EQ(rowNames().front(), "Alpha") << "the only row with two files, descending";
}

TEST_F(FormTest, AVirtualPlaceShowsTheGreyPlaceholderRow) {
  TDiskUsageForm& f = open({t.root()});
  const QString title = f.windowTitle();
  const QString free = f.statusPanelText(1);
  f.TreeView->setCurrentIndex(f.TreeModel->topIndex());
  EXPECT_EQ(rowNames(), Names{"<Selected item not sizeable>"});
  EXPECT_EQ(f.UsageModel->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), kGrey);
  EXPECT_FALSE(f.UsageModel->index(0, 0).data(Qt::DecorationRole).isValid());
  for (QLabel* l : {f.FilesValLabel, f.DirectoriesValLabel, f.FileBytesValLabel, f.DiskBytesValLabel, f.EfficiencyValLabel})
    EXPECT_TRUE(l->text().isEmpty());
  EXPECT_TRUE(f.statusPanelText(0).isEmpty());
  EXPECT_EQ(f.statusPanelText(1), free) << "the volume panels keep what they had";
  EXPECT_EQ(f.windowTitle(), title);
  EXPECT_EQ(f.CurrentDirBox->currentText(), "Computer");
  // Back to a folder: window text again.
  f.SelectFolderPath(t.root());
  EXPECT_NE(f.UsageModel->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), kGrey);
  EXPECT_EQ(f.UsageModel->rowCount(), 6);
}

TEST_F(FormTest, AnEngineFailureStopsTheRefreshAndShowsItsMessage) {
  t.dir("fails");
  for (const char* n : {"a", "b", "c_fail", "d", "e"}) t.file(std::string("fails/") + n, 1);
  setenv("FAKE_FAIL_NAME", "c_fail", 1);
  setenv("FAKE_FAIL_CODE", "-7", 1);
  TDiskUsageForm& f = open({t.path("fails")}, {kFakeEngine});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], QString::fromStdString("Error: Cannot access " + t.path("fails/c_fail") + " (code -7)."));
  const int rows = f.UsageModel->rowCount();
  EXPECT_LT(rows, 4) << "the entries after the failing one are not sized";
  EXPECT_EQ(f.FilesValLabel->text(), QString::number(rows)) << "the running totals so far stay";
  for (int p = 0; p < 4; ++p) EXPECT_TRUE(f.statusPanelText(p).isEmpty());
  EXPECT_EQ(f.currentFolderPath(), t.path("fails") + "/");

  void* lib = dlopen(kFakeEngine.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  auto calls = reinterpret_cast<int32_t (*)()>(dlsym(lib, "FakeCalcCount"));
  const int before = calls();
  f.RefreshCmd->trigger();
  EXPECT_EQ(calls() - before, rows + 1) << "a Refresh computes again from the start";
  EXPECT_EQ(messages.size(), 2u);

  // -2 names the target drive only while one is set.
  struct Case {
    const char* mapDrive;
    std::string message;
  };
  for (const Case& c : {Case{"4", "Error: Cannot access target D:\\"},
                        Case{"0", "Error: Cannot access " + t.path("fails/c_fail") + " (code -2)."}}) {
    setenv("FAKE_FAIL_CODE", "-2", 1);
    setenv("FAKE_MAP_DRIVE", c.mapDrive, 1);
    messages.clear();
    f.RefreshCmd->trigger();
    EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString(c.message)});
  }
  dlclose(lib);
}

TEST_F(FormTest, RefreshComputesAgainAndSelectsTheRememberedRows) {
  TDiskUsageForm& f = open({t.root()});
  t.file("new.dat", 4);
  f.RememberedSelection = {t.path("Ax"), t.path("zero"), "/elsewhere/Ax"};
  f.RefreshCmd->trigger();
  EXPECT_EQ(rowNames(), (Names{"Alpha", "a.txt", "Ax", "B.txt", "new.dat", "zero", "_x"}));
  EXPECT_EQ(selectedNames(), (Names{"Ax", "zero"}));
  EXPECT_EQ(f.statusPanelText(0), "2 selections");
  EXPECT_EQ(f.FileBytesValLabel->text(), "2");
}

TEST_F(FormTest, TheWindowRendersWithTheMenusOfTheDesktopProgram) {
  TDiskUsageForm& f = open({t.root()});
  QStringList menus;
  for (QAction* a : f.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&View", "&Options", "&Help"}));
  EXPECT_EQ(f.RefreshCmd->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_FALSE(f.DeleteCmd->isEnabled()) << "commands not built yet are disabled";
  const QImage shot = f.grab().toImage();
  EXPECT_EQ(shot.size(), f.size());
  if (const char* dir = getenv("TALLORIN_SHOTS")) shot.save(QString::fromUtf8(dir) + "/main_window.png");
}

TEST_F(FormTest, F5HeldDownRefreshesOncePerPress) {
  // The key's own repeats, as the keyboard sends them while F5 is held:
  // each one waited its turn behind a long refresh and kept the window busy
  // long after the key was let go.
  TDiskUsageForm& f = open({t.root()});
  f.activateWindow();
  f.UsageList->setFocus();
  int refreshes = 0;
  QObject::connect(f.RefreshCmd, &QAction::triggered, &f, [&refreshes] { ++refreshes; });
  const auto press = [&](bool repeat) {
    QTest::simulateEvent(f.UsageList, true, Qt::Key_F5, Qt::NoModifier, QString(), repeat);
    QTest::simulateEvent(f.UsageList, false, Qt::Key_F5, Qt::NoModifier, QString(), repeat);
  };
  press(false);
  for (int i = 0; i < 5; ++i) press(true);
  EXPECT_EQ(refreshes, 1) << "the press refreshes, its repeats do not";
  press(false);
  EXPECT_EQ(refreshes, 2) << "the next press does";
}

TEST_F(FormTest, FigureColumnsWidenToTheirWidestTextAndNeverNarrow) {
  t.dir("big");
  t.sparse("big/huge.img", 1ull << 40);  // "1,099,511,627,776" disk and file bytes
  TDiskUsageForm& f = open({t.path("big")});
  QHeaderView* h = f.UsageList->header();
  const QFontMetrics m(f.UsageList->font());
  EXPECT_EQ(h->sectionSize(2), std::max(120, m.horizontalAdvance("1,099,511,627,776XXX")));
  EXPECT_EQ(h->sectionSize(0), 280) << "the name column keeps its width";
  const int date = h->sectionSize(5);
  EXPECT_GE(date, 150) << "the date column holds the widest date, and no figure widens it";
  const int wide = h->sectionSize(2);
  f.SelectFolderPath(t.path("Alpha"));
  EXPECT_EQ(h->sectionSize(2), wide) << "a narrower folder does not narrow it";
  EXPECT_EQ(h->sectionSize(5), date);
}

TEST_F(FormTest, TheFolderComboBoxAndTheTreeFollowEachOther) {
  TDiskUsageForm& f = open({t.root()});
  f.SelectFolderPath(t.path("Alpha") + "/");
  EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(t.path("Alpha")));
  EXPECT_EQ(f.treePath(), t.path("Alpha"));
  EXPECT_EQ(rowNames(), (Names{"y", "x.bin"}));
  // Picking the virtual top entry in the combo box moves the tree there.
  f.RememberedSelection = {t.path("Alpha/y")};
  emit f.CurrentDirBox->activated(0);
  EXPECT_EQ(f.treePath(), TFolderTreeModel::kVirtualTopPath);
  EXPECT_EQ(rowNames(), Names{"<Selected item not sizeable>"});
  EXPECT_TRUE(f.RememberedSelection.empty()) << "a pick in the combo box forgets the selection";
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/") << "the current folder stays the last listed";
}

namespace {
// Records what a widget's paints showed: the rows in the list and the files
// total. A paint that shows the same as the one before it adds nothing.
struct PaintRecorder : QObject {
  PaintRecorder(TDiskUsageForm& f) : form(f) {}
  TDiskUsageForm& form;
  std::vector<std::pair<int, QString>> seen;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::Paint) return false;
    const std::pair<int, QString> now(form.UsageModel->rowCount(), form.FilesValLabel->text());
    if (seen.empty() || seen.back() != now) seen.push_back(now);
    return false;
  }
};
}  // namespace

TEST_F(FormTest, RowsShowWhileTheyArriveAtAPaceByTime) {
  // 120 entries of 4 ms each: a refresh of half a second, with rows arriving
  // all the while. The window is brought up to date at the first row, then at
  // most every 50 ms (TRepaintPace), each time with more rows and their totals.
  t.dir("slow");
  for (int i = 0; i < 120; ++i) t.file("slow/f" + std::to_string(i), 1);
  TDiskUsageForm& f = open({t.path("slow")}, {kFakeEngine});
  f.NumbersCmd->trigger();
  setenv("FAKE_CALC_MS", "4", 1);
  PaintRecorder list(f), totals(f);
  f.UsageList->viewport()->installEventFilter(&list);
  f.TotalsGroup->installEventFilter(&totals);
  QElapsedTimer refresh;
  refresh.start();
  f.RefreshCmd->trigger();  // no event loop runs inside: only forced paints count
  const qint64 took = refresh.elapsed();
  ASSERT_GE(took, 120 * 4);
  EXPECT_EQ(f.UsageModel->rowCount(), 120);

  // The emptied totals first, then the first row at once.
  ASSERT_GE(totals.seen.size(), 2u);
  EXPECT_EQ(totals.seen[0], std::make_pair(0, QString("0")));
  EXPECT_EQ(totals.seen[1], std::make_pair(1, QString("1")));
  ASSERT_GE(list.seen.size(), 2u);
  EXPECT_EQ(list.seen[1].first, 1);
  // Rows kept arriving on screen, each paint with more rows and their
  // totals, and no more paints than the pace allows in the time the refresh
  // took (the pace itself is tested with its own clock).
  EXPECT_GE(totals.seen.size(), 3u) << "rows showed between the first and the last";
  EXPECT_LE(totals.seen.size(), 3u + took / TRepaintPace::kIntervalMs);
  for (size_t i = 2; i < totals.seen.size(); ++i) {
    EXPECT_GT(totals.seen[i].first, totals.seen[i - 1].first);
    EXPECT_EQ(totals.seen[i].second, FormatFigureForTest(totals.seen[i].first));
  }
}

TEST_F(FormTest, TheWindowAsksTheEngineNothingWhileTheEntriesAreSized) {
  // The entries are sized on a thread of their own while the window lists
  // and shows them; a call of the window's meanwhile would wait (with the
  // real engine) until a computation ends, which for a large sub-folder kept
  // the rows from showing. Enough entries for the sizing to start while the
  // folder is still listed, and a target drive, whose figures are read too.
  t.dir("many");
  const int entries = TDirectoryList::kListedAtOnce + 60;
  for (int i = 0; i < entries; ++i) t.file("many/f" + std::to_string(i), 1);
  TDiskUsageForm& f = open({t.path("many")}, {kFakeEngine});
  auto overlapping = fakeSymbol<int32_t (*)()>("FakeOverlappingCalls");
  auto batchCalcs = fakeSymbol<int32_t (*)()>("FakeBatchCalcs");
  auto batchOpen = fakeSymbol<int32_t (*)()>("FakeBatchOpen");
  ASSERT_NE(overlapping, nullptr);
  ASSERT_NE(batchCalcs, nullptr);
  ASSERT_NE(batchOpen, nullptr);
  setenv("FAKE_CALC_MS", "1", 1);
  setenv("FAKE_MAP_DRIVE", "4", 1);
  for (int round = 0; round < 2; ++round) {
    const int before = overlapping(), inBatch = batchCalcs();
    f.RefreshCmd->trigger();
    EXPECT_EQ(overlapping() - before, 0) << "round " << round;
    // The batch that makes a file with several names count once is begun
    // before the thread's first entry and ended after its last: every entry
    // is computed in it, and it is over with the refresh.
    EXPECT_EQ(batchCalcs() - inBatch, entries) << "round " << round;
    EXPECT_EQ(batchOpen(), 0) << "round " << round;
    EXPECT_EQ(f.UsageModel->rowCount(), entries);
    EXPECT_EQ(f.MapDriveValLabel->text(), "D:");
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, AFastRefreshShowsItsFirstRowAtOnceAndPaintsLittle) {
  t.dir("many");
  for (int i = 0; i < 3000; ++i) t.file("many/f" + std::to_string(i), 1);
  t.dir("many/sub");
  t.dir("many/sub/inner");
  TDiskUsageForm& f = open({t.path("many")});
  f.NumbersCmd->trigger();
  PaintRecorder totals(f);
  f.TotalsGroup->installEventFilter(&totals);
  QElapsedTimer refresh;
  refresh.start();
  f.RefreshCmd->trigger();
  const qint64 took = refresh.elapsed();
  EXPECT_EQ(f.UsageModel->rowCount(), 3001);
  ASSERT_GE(totals.seen.size(), 2u);
  EXPECT_EQ(totals.seen[0], std::make_pair(0, QString("0")));
  EXPECT_EQ(totals.seen[1].first, 1);
  // Not one paint per 127 entries (24 here): one per 50 ms of refresh at most,
  // and one before the sub-folder when rows wait 15 ms or more.
  EXPECT_LE(totals.seen.size(), 4u + took / TRepaintPace::kIntervalMs) << "took " << took << " ms";
}
