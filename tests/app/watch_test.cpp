// The list follows the disk: changes by other programs refresh it, with the
// selection kept; the watch outlives a place that cannot be sized and ends
// with the window.
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <cstdlib>

#include "form_fixture.h"
#include "support/fs_change_notifier.h"
#include "views/folder_tree_model.h"

namespace {

void other(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

}  // namespace

TEST_F(FormTest, ChangesByAnotherProgramRefreshTheRowsAndKeepTheSelection) {
  TDiskUsageForm& f = open({t.root()});
  ASSERT_NE(f.notifier(), nullptr);
  EXPECT_EQ(f.notifier()->folder(), t.root() + "/");
  f.RememberedSelection = {t.path("Ax")};
  f.ApplyRememberedSelection();
  struct Case {
    const char* what;
    std::string command;
    std::function<bool()> seen;
  } cases[] = {
      {"created", "echo hello > '" + t.path("new.txt") + "'", [&] { return cell("new.txt", 2) == "6"; }},
      {"written then closed", "printf 0123456789 >> '" + t.path("new.txt") + "'", [&] { return cell("new.txt", 2) == "16"; }},
      {"renamed", "mv '" + t.path("new.txt") + "' '" + t.path("renamed.txt") + "'",
       [&] { return cell("renamed.txt", 2) == "16" && cell("new.txt", 2) == "<no row>"; }},
      {"deleted", "rm '" + t.path("renamed.txt") + "'", [&] { return cell("renamed.txt", 2) == "<no row>"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = f.notifiedRefreshes();
    other(c.command);
    EXPECT_TRUE(waitUntil(c.seen));
    EXPECT_GT(f.notifiedRefreshes(), before);
    EXPECT_EQ(selectedNames(), (Names{"Ax"})) << "the selection is kept";
  }
  EXPECT_EQ(f.notifier()->folder(), t.root() + "/") << "one watch, on the folder shown";
}

TEST_F(FormTest, ABurstOfChangesGivesAFewRefreshes) {
  TDiskUsageForm& f = open({t.root()});
  const int before = f.notifiedRefreshes();
  other("cd '" + t.root() + "' && for i in $(seq 1 2000); do : > burst$i; done");
  EXPECT_TRUE(waitUntil([&] { return f.UsageModel->rowCount() >= 2006; }));
  QTest::qWait(TFSChangeNotifier::kLongestDelayMs);
  EXPECT_LE(f.notifiedRefreshes() - before, 4);
}

TEST_F(FormTest, TheWatchOutlivesAPlaceThatCannotBeSizedAndEndsWithTheWindow) {
  TDiskUsageForm& f = open({t.root()});
  f.TreeView->setCurrentIndex(f.TreeModel->topIndex());
  ASSERT_EQ(f.UsageModel->rowCount(), 1);  // the placeholder row
  ASSERT_NE(f.notifier(), nullptr);
  EXPECT_EQ(f.notifier()->folder(), t.root() + "/");
  const int before = f.notifiedRefreshes();
  other("touch '" + t.path("later") + "'");
  EXPECT_TRUE(waitUntil([&] { return f.notifiedRefreshes() > before; }));
  other("touch '" + t.path("closing") + "'");
  form.reset();  // a report pending as the window goes: nothing may run after it
  QTest::qWait(TFSChangeNotifier::kLongestDelayMs);
}

TEST_F(FormTest, TheTreeLearnsOfSubFoldersOtherProgramsMakeOrRemove) {
  TDiskUsageForm& f = open({t.root()});
  const QModelIndex shown = f.TreeView->currentIndex();
  ASSERT_EQ(f.TreeModel->pathOf(shown), t.root());
  f.TreeView->expand(shown);  // its sub-folders listed
  f.NumbersCmd->trigger();  // the list beside the tree
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.UsageList->setFocus();
  ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == f.UsageList; }));
  f.RememberedSelection = {t.path("Ax")};
  f.ApplyRememberedSelection();
  auto nodes = [&] {
    Names out;
    for (int i = 0; i < f.TreeModel->rowCount(shown); ++i) out.push_back(f.TreeModel->index(i, 0, shown).data().toString().toStdString());
    return out;
  };
  ASSERT_EQ(nodes(), (Names{"Alpha", "beta"}));
  struct Case {
    const char* what;
    std::string command;
    Names nodes;
    bool byHand;  // F5, else the change notifier
  } cases[] = {
      {"made, seen by the notifier", "mkdir '" + t.path("brand2") + "' && echo x > '" + t.path("brand2/f") + "'",
       {"Alpha", "beta", "brand2"}, false},
      {"made empty, then F5", "mkdir '" + t.path("Aardvark") + "'", {"Aardvark", "Alpha", "beta", "brand2"}, true},
      {"removed, seen by the notifier", "rm -r '" + t.path("beta") + "' '" + t.path("brand2") + "'", {"Aardvark", "Alpha"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = f.notifiedRefreshes();
    other(c.command);
    if (c.byHand) {
      ASSERT_TRUE(waitUntil([&] { return f.notifiedRefreshes() > before; }));  // the change itself, first
      f.RefreshCmd->trigger();
    }
    EXPECT_TRUE(waitUntil([&] { return nodes() == c.nodes; })) << testing::PrintToString(nodes());
    EXPECT_EQ(f.TreeView->currentIndex(), shown) << "the current node stays";
    EXPECT_TRUE(f.TreeView->isExpanded(shown));
    if (!c.byHand) {
      EXPECT_EQ(QApplication::focusWidget(), f.UsageList) << "the keyboard stays where it was";
      EXPECT_EQ(selectedNames(), (Names{"Ax"}));
    }
  }
  EXPECT_TRUE(messages.empty());
}
