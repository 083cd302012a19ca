// The window while other programs change the folder shown: entries that
// vanish, folders that go away, refreshes nobody asked for, a slow disk.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QTreeView>
#include <QWindow>
#include <cstdlib>
#include <filesystem>

#include "form_fixture.h"
#include "tree_paths.h"
#include "model/folder_path.h"
#include "support/fs_change_notifier.h"
#include "views/folder_tree_model.h"
#include "views/status_bar.h"

namespace {

void other(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

// Whether the rows stand in the order the sort state asks for.
bool rowsSorted(TDiskUsageForm& f, const Names& names) {
  f.SortByColumn(f.SortColumn);
  Names again;
  for (int i = 0; i < f.UsageModel->rowCount(); ++i) again.push_back(f.UsageModel->row(i).name());
  return again == names;
}

}  // namespace

TEST_F(FormTest, AnEntryGoneBeforeItsSizingIsNoFailure) {
  setenv("FAKE_VANISH_NAME", "B.txt", 1);  // removed just as it is computed
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  EXPECT_TRUE(messages.empty()) << messages.front().toStdString();
  EXPECT_FALSE(exists(t.path("B.txt")));
  const Names names = rowNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "B.txt"), 0);
  EXPECT_EQ(names.size(), 6u) << "every other entry has its row";
  EXPECT_TRUE(rowsSorted(f, names));
  EXPECT_EQ(f.statusPanelText(0), "6 items");
  EXPECT_FALSE(f.statusPanelText(1).isEmpty());
  EXPECT_EQ(f.statusPanelText(3), "fakefs");
  // The watch runs: later changes still refresh.
  const int before = f.notifiedRefreshes();
  other("touch '" + t.path("later") + "'");
  EXPECT_TRUE(waitUntil([&] { return f.notifiedRefreshes() > before && cell("later", 4) == "1"; }));
}

TEST_F(FormTest, FilesRemovedOneByOneByAnotherProgramOpenNoBox) {
  for (int i = 0; i < 1500; ++i) t.file("f" + std::to_string(i), 1);
  TDiskUsageForm& f = open({t.root()});
  ASSERT_EQ(f.UsageModel->rowCount(), 1506);
  other("cd '" + t.root() + "' && (for i in $(seq 0 1499); do rm f$i; done; touch all.gone) >/dev/null 2>&1 &");
  EXPECT_TRUE(waitUntil([&] { return f.UsageModel->rowCount() == 7 && cell("all.gone", 4) == "1"; }, 30000))
      << f.UsageModel->rowCount() << " rows";
  EXPECT_TRUE(messages.empty()) << messages.size() << " boxes, the first: " << messages.front().toStdString();
  EXPECT_FALSE(f.statusPanelText(0).isEmpty());
}

TEST_F(FormTest, ARealFailureShowsOneBoxAndNoRefreshRunsInsideIt) {
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  ASSERT_TRUE(messages.empty());
  int refreshesInBox = -1;
  platform::setMessageObserver([&](platform::MessageKind, const QString& caption, const QString& text) {
    messages.push_back(caption + ": " + text);
    if (messages.size() == 1) {
      // The box's own event loop, while another program works in the folder.
      const int before = f.notifiedRefreshes();
      other("touch '" + t.path("made-while-the-box-is-open") + "'");
      QTest::qWait(TFSChangeNotifier::kLongestDelayMs + 3 * TFSChangeNotifier::kQuietMs);
      refreshesInBox = f.notifiedRefreshes() - before;
    }
    return false;
  });
  setenv("FAKE_FAIL_NAME", "B.txt", 1);  // there, but the engine fails on it
  const int before = f.notifiedRefreshes();
  f.RefreshCmd->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], QString::fromStdString("Error: Cannot access " + t.path("B.txt") + " (code -1)."));
  EXPECT_EQ(refreshesInBox, 0) << "no refresh inside the box";
  // Once the box is closed, the change it held back is shown: one refresh,
  // which fails again but opens no box of its own.
  EXPECT_TRUE(waitUntil([&] { return f.notifiedRefreshes() > before; }));
  EXPECT_EQ(messages.size(), 1u);
  auto* note = f.StatusBar->findChild<QLabel*>("FailureNote");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->toolTip(), QString::fromStdString("Cannot access " + t.path("B.txt") + " (code -1)."));
  // Mended, the next change shows everything again.
  unsetenv("FAKE_FAIL_NAME");
  other("touch '" + t.path("after") + "'");
  EXPECT_TRUE(waitUntil([&] { return cell("after", 4) == "1" && cell("B.txt", 4) == "1"; }));
  EXPECT_FALSE(note->isVisible());
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(FormTest, AFolderThatGoesAwayGivesWayToItsNearestParent) {
  struct Case {
    const char* what;
    std::string command;
    std::string left;
    std::string row;  // one of the rows the parent shows
  } cases[] = {
      {"removed", "rm -rf '" + t.path("Alpha/y") + "'", t.path("Alpha"), "x.bin"},
      {"moved away", "mv '" + t.path("Alpha/y") + "' '" + t.path("moved") + "'", t.path("Alpha"), "x.bin"},
      {"removed with its parent", "rm -rf '" + t.path("Alpha") + "'", t.root(), "Ax"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    other("rm -rf '" + t.path("moved") + "' && mkdir -p '" + t.path("Alpha/y") + "' && touch '" + t.path("Alpha/y/z") + "'");
    TDiskUsageForm& f = open({t.path("Alpha/y")});
    ASSERT_EQ(f.currentFolderPath(), t.path("Alpha/y") + "/");
    other(c.command);
    EXPECT_TRUE(waitUntil([&] { return f.currentFolderPath() == c.left + "/"; }))
        << f.currentFolderPath();
    EXPECT_EQ(f.windowHandle()->title(), QString::fromStdString("Tallorin - " + c.left));
    EXPECT_EQ(f.treePath(), c.left);
    EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(c.left));
    EXPECT_NE(cell(c.row, 4), "<no row>") << "the rows are the parent's";
    EXPECT_EQ(f.UsageModel->greyText(), false);
    ASSERT_NE(f.notifier(), nullptr);
    EXPECT_EQ(f.notifier()->folder(), c.left + "/");
    // The tree holds no node of the folder that went away.
    const QModelIndex parent = f.TreeModel->indexForPath(c.left);
    for (int i = 0; i < f.TreeModel->rowCount(parent); ++i)
      EXPECT_NE(f.TreeModel->pathOf(f.TreeModel->index(i, 0, parent)), t.path("Alpha/y"));
    EXPECT_TRUE(messages.empty());
    form.reset();
  }
}

TEST_F(FormTest, ARefreshNobodyAskedForLeavesTheKeyboardWhereItWas) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  ASSERT_TRUE(f.TreeView->isVisible());
  auto focusOn = [&](QWidget* w) {
    w->setFocus();
    return waitUntil([&] { return QApplication::focusWidget() == w; });
  };
  auto changeOnDisk = [&](const std::string& name) {
    const int before = f.notifiedRefreshes();
    other("touch '" + t.path(name) + "'");
    return waitUntil([&] { return f.notifiedRefreshes() > before && cell(name, 4) == "1"; });
  };

  // In the list, nothing selected (Ctrl+U), as the user left it.
  ASSERT_TRUE(focusOn(f.UsageList));
  QTest::keyClick(f.UsageList, Qt::Key_Down);
  QTest::keyClick(f.UsageList, Qt::Key_U, Qt::ControlModifier);
  ASSERT_TRUE(changeOnDisk("new"));
  EXPECT_EQ(QApplication::focusWidget(), f.UsageList) << "the focus is where the user left it";
  const std::string tree = f.treePath();
  const int row = f.UsageList->currentIndex().row();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(f.treePath(), tree) << "Down went to the tree";
  EXPECT_EQ(f.UsageList->currentIndex().row(), row + 1) << "Down moves in the list";

  // In the tree, with rows selected that the refresh selects again.
  QTest::keyClick(f.UsageList, Qt::Key_A, Qt::ControlModifier);
  ASSERT_FALSE(f.RememberedSelection.empty());
  ASSERT_TRUE(focusOn(f.TreeView));
  ASSERT_TRUE(changeOnDisk("newer"));
  EXPECT_EQ(QApplication::focusWidget(), f.TreeView);
  EXPECT_EQ(selectedNames().size(), size_t(f.UsageModel->rowCount() - 1)) << "all but the new row, selected again";

  // The user's own refresh keeps its way: the focus goes to the tree, or to
  // the list when it selects rows again.
  QTest::keyClick(f.UsageList, Qt::Key_U, Qt::ControlModifier);
  ASSERT_TRUE(focusOn(f.UsageList));
  f.RefreshCmd->trigger();
  EXPECT_EQ(QApplication::focusWidget(), f.TreeView);
  f.RememberedSelection = {t.path("Ax")};
  f.RefreshCmd->trigger();
  EXPECT_EQ(QApplication::focusWidget(), f.UsageList);
}

namespace {
// The window as painted on screen, taken in the middle of a refresh on the
// window's own thread: at the second paint of the totals with rows, when the
// list has been painted with the rows of the first.
struct GrabWhileRowsArrive : QObject {
  TDiskUsageForm& form;
  int32_t (*calcCount)();
  int entries;
  int paintsWithRows = 0;
  QImage painted;
  GrabWhileRowsArrive(TDiskUsageForm& f, int32_t (*count)(), int n) : form(f), calcCount(count), entries(n) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::Paint || form.UsageModel->rowCount() == 0 || !painted.isNull()) return false;
    if (++paintsWithRows == 2 && calcCount() < entries)
      painted = form.screen()->grabWindow(form.winId()).toImage();
    return false;
  }
};
}  // namespace

TEST_F(FormTest, TheFirstRefreshPaintsRowsAsTheyArriveOnASlowDisk) {
  setenv("FAKE_CALC_MS", "40", 1);
  TDiskUsageForm::Options o;
  o.arguments = {t.root()};
  o.engineCandidates = {kFakeEngine};
  form = std::make_unique<TDiskUsageForm>(o);
  ASSERT_TRUE(form->created());
  form->NumbersCmd->trigger();  // the rows as a list
  auto calcCount = fakeSymbol<int32_t (*)()>("FakeCalcCount");
  ASSERT_NE(calcCount, nullptr);
  const int entries = static_cast<int>(std::distance(std::filesystem::directory_iterator(t.root()), std::filesystem::directory_iterator()));
  ASSERT_GE(entries, 5);
  GrabWhileRowsArrive grab(*form, calcCount, calcCount() + entries);
  form->TotalsGroup->installEventFilter(&grab);
  // As the program runs: shown, then the event loop alone.
  form->show();
  ASSERT_TRUE(waitUntil([&] { return !form->statusPanelText(0).isEmpty(); }, 10000));
  form->TotalsGroup->removeEventFilter(&grab);
  const QImage& painted = grab.painted;
  ASSERT_FALSE(painted.isNull()) << "the window was on screen while the rows arrived";
  if (const char* keep = getenv("TALLORIN_TEST_SHOTS")) painted.save(QString::fromLocal8Bit(keep) + "/first-refresh.png");
  // Some rows had arrived (in listing order, any of them); their band of the
  // list holds painted text.
  const QRect list(form->UsageList->viewport()->mapTo(form.get(), QPoint(0, 0)), form->UsageList->viewport()->size());
  const QColor base = form->UsageList->palette().color(QPalette::Base);
  auto darkPixels = [&](const QRect& band) {
    int dark = 0;
    for (int y = band.top(); y <= band.bottom(); ++y)
      for (int x = band.left(); x <= band.right(); ++x)
        if (qGray(painted.pixel(x, y)) < qGray(base.rgb()) - 100) ++dark;
    return dark;
  };
  const int rowHeight = TUsageListView::kRowHeight;
  const QRect firstRow(list.left() + 2, list.top(), std::min(200, list.width() - 4), rowHeight);
  const QRect belowRows(list.left() + 2, list.bottom() - rowHeight, std::min(200, list.width() - 4), rowHeight);
  EXPECT_GT(darkPixels(firstRow), 20) << "the first row's name is painted";
  EXPECT_EQ(darkPixels(belowRows), 0) << "and the list under the rows is the list's, not black";
}

namespace {

// Whether the folder tree holds a node of the folder or under it now.
bool anyNodeAtOrUnder(TFolderTreeModel& m, const std::string& folder) {
  return countAtOrUnder(loadedTreePaths(m), folder) > 0;
}

}  // namespace

TEST_F(FormTest, AnAncestorRemovedTakesEveryNodeOfItsSubtreeOutOfTheTree) {
  other("mkdir -p '" + t.path("x/a/b/c") + "' '" + t.path("x/a/side") + "' && touch '" + t.path("x/a/b/c/f") + "'");
  TDiskUsageForm& f = open({t.path("x/a/b/c")});
  f.TreeView->expand(f.TreeModel->indexForPath(t.path("x/a")));
  f.TreeView->expand(f.TreeModel->indexForPath(t.path("x/a/b")));
  ASSERT_TRUE(anyNodeAtOrUnder(*f.TreeModel, t.path("x/a/side")));
  other("rm -rf '" + t.path("x/a") + "'");
  EXPECT_TRUE(waitUntil([&] { return f.currentFolderPath() == t.path("x") + "/"; })) << f.currentFolderPath();
  EXPECT_FALSE(anyNodeAtOrUnder(*f.TreeModel, t.path("x/a"))) << "a stale node of the removed folder";
  EXPECT_EQ(f.treePath(), t.path("x"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, ChoosingANodeWhoseFolderIsGoneShowsTheNearestFolderLeft) {
  struct Case {
    const char* what;
    std::string shown;
    std::string removed;  // by another program, in a folder the window does not watch
    std::string chosen;   // the node the user then picks
  } cases[] = {
      {"the folder itself", t.root(), t.path("Alpha/y"), t.path("Alpha/y")},
      {"a folder above it", t.path("beta"), t.path("Alpha"), t.path("Alpha/y")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    other("mkdir -p '" + t.path("Alpha/y") + "' && touch '" + t.path("Alpha/y/z") + "'");
    TDiskUsageForm& f = open({c.shown});
    const QModelIndex node = f.TreeModel->indexForPath(c.chosen);
    f.TreeView->expand(node.parent());
    other("rm -rf '" + c.removed + "'");
    const std::string left = NearestExistingFolder(c.chosen);
    ASSERT_TRUE(anyNodeAtOrUnder(*f.TreeModel, c.chosen)) << "the tree still holds the node to choose";
    const QModelIndex stale = f.TreeModel->indexForPath(c.chosen);
    f.TreeView->scrollTo(stale);
    QTest::mouseClick(f.TreeView->viewport(), Qt::LeftButton, {}, f.TreeView->visualRect(stale).center());
    EXPECT_TRUE(waitUntil([&] { return f.currentFolderPath() == left + "/" && f.treePath() == left; }))
        << f.currentFolderPath() << " " << f.treePath();
    std::vector<std::string> selectedNodes;
    for (const QModelIndex& i : f.TreeView->selectionModel()->selectedIndexes()) selectedNodes.push_back(f.TreeModel->pathOf(i));
    EXPECT_EQ(selectedNodes, std::vector<std::string>{left}) << "the node shown is the one selected";
    EXPECT_EQ(f.treePath(), left);
    EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(left));
    EXPECT_EQ(f.windowTitle(), QString::fromStdString("Tallorin - " + left));
    EXPECT_EQ(cell("<Selected item not sizeable>", 0), "<no row>");
    EXPECT_FALSE(f.UsageModel->greyText());
    EXPECT_FALSE(anyNodeAtOrUnder(*f.TreeModel, c.removed));
    EXPECT_TRUE(messages.empty());
    form.reset();
  }
}

namespace {
// What another program makes while the window computes a folder.
std::string g_makeWhileComputing;
void makeOnFirstCalc(const char*) {
  if (g_makeWhileComputing.empty()) return;
  const std::string path = std::move(g_makeWhileComputing);
  g_makeWhileComputing.clear();
  if (FILE* file = std::fopen(path.c_str(), "w")) {
    std::fputs("made", file);
    std::fclose(file);
  }
}
}  // namespace

TEST_F(FormTest, AChangeWhileANewlyShownFolderIsReadBringsOneMoreRefresh) {
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  auto hook = fakeSymbol<void (*)(void (*)(const char*))>("FakeSetCalcHook");
  ASSERT_NE(hook, nullptr);
  hook(&makeOnFirstCalc);
  g_makeWhileComputing = t.path("Alpha/made-meanwhile");
  f.SelectFolderPath(t.path("Alpha"));  // listed, then computed: the file comes in between
  ASSERT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  ASSERT_TRUE(g_makeWhileComputing.empty());
  EXPECT_EQ(cell("made-meanwhile", 4), "<no row>") << "made after the listing was read";
  EXPECT_TRUE(waitUntil([&] { return cell("made-meanwhile", 4) == "1"; })) << "the watch saw it";
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, AFolderRemovedAndMadeAgainAtOnceStaysShown) {
  // As a build does it: rm -rf out; mkdir out.
  other("mkdir '" + t.path("out") + "' && touch '" + t.path("out/old") + "'");
  TDiskUsageForm& f = open({t.path("out")});
  ASSERT_EQ(cell("old", 4), "1");
  ASSERT_TRUE(f.notifier() && f.notifier()->watching());
  f.TreeView->setFocus();
  other("rm -rf '" + t.path("out") + "'");
  // The watch has seen it go; the folder is back before the window moves.
  ASSERT_TRUE(waitUntil([&] { return !f.notifier() || !f.notifier()->watching() || f.currentFolderPath() != t.path("out") + "/"; }));
  other("mkdir '" + t.path("out") + "' && touch '" + t.path("out/new") + "'");
  EXPECT_TRUE(waitUntil([&] { return cell("new", 4) == "1"; })) << f.currentFolderPath();
  EXPECT_EQ(f.currentFolderPath(), t.path("out") + "/");
  EXPECT_EQ(f.treePath(), t.path("out"));
  EXPECT_EQ(cell("old", 4), "<no row>");
  ASSERT_NE(f.notifier(), nullptr);
  EXPECT_TRUE(f.notifier()->watching()) << "the new folder is watched";
  EXPECT_EQ(f.notifier()->folder(), t.path("out") + "/");
  // And it follows the new folder's changes.
  other("touch '" + t.path("out/newer") + "'");
  EXPECT_TRUE(waitUntil([&] { return cell("newer", 4) == "1"; }));
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, AFolderMadeAgainAfterTheWindowMovedIsInTheTreeAndTheRows) {
  other("mkdir '" + t.path("out") + "' && touch '" + t.path("out/old") + "'");
  TDiskUsageForm& f = open({t.path("out")});
  other("rm -rf '" + t.path("out") + "'");
  ASSERT_TRUE(waitUntil([&] { return f.currentFolderPath() == t.root() + "/"; }));
  other("mkdir '" + t.path("out") + "' && touch '" + t.path("out/new") + "'");
  EXPECT_TRUE(waitUntil([&] { return cell("out", 4) == "1"; }));
  const QModelIndex root = f.TreeModel->indexForPath(t.root());
  bool inTree = false;
  for (int i = 0; i < f.TreeModel->rowCount(root); ++i)
    inTree = inTree || f.TreeModel->pathOf(f.TreeModel->index(i, 0, root)) == t.path("out");
  EXPECT_TRUE(inTree) << "the folder made again has its node";
  EXPECT_TRUE(messages.empty());
}
