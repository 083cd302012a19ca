// Every way into another folder lands on that folder with its rows, and files
// open with the desktop's application, links as links.
#include <QComboBox>
#include <QToolButton>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>
#include <fstream>

#include "form_fixture.h"
#include "platform/desktop_open.h"
#include "platform/path.h"
#include "views/folder_tree_model.h"

namespace {

class NavigationTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    platform::setOpenObserver([this](const std::string& path) { opened.push_back(path); });
  }
  void TearDown() override {
    platform::setOpenObserver(nullptr);
    FormTest::TearDown();
  }
  // Selects the row of name alone and double-clicks it, as the user does.
  void doubleClick(const std::string& name) {
    TDiskUsageForm& f = *form;
    f.NumbersCmd->trigger();
    int row = -1;
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      if (f.UsageModel->row(i).name() == name) row = i;
    ASSERT_GE(row, 0) << name << " has no row";
    f.UsageList->scrollTo(f.UsageModel->index(row, 0));
    const QPoint at = f.UsageList->visualRect(f.UsageModel->index(row, 0)).center();
    QTest::mouseClick(f.UsageList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(f.UsageList->viewport(), Qt::LeftButton, {}, at);
  }
  void writeFile(const std::string& rel, const std::string& text) { std::ofstream(t.path(rel)) << text; }

  std::vector<std::string> opened;
};

}  // namespace

TEST_F(NavigationTest, UpOneLevelOpensTheParentAndDoesNothingAtTheRoot) {
  TDiskUsageForm& f = open({t.path("Alpha")});
  EXPECT_EQ(rowNames(), (Names{"y", "x.bin"}));
  f.RememberedSelection = {t.path("Alpha/x.bin")};
  EXPECT_TRUE(f.ParentDirBtn->isEnabled());
  QTest::mouseClick(f.ParentDirBtn, Qt::LeftButton);
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  EXPECT_EQ(rowNames(), (Names{"Alpha", "a.txt", "Ax", "B.txt", "zero", "_x"}));
  EXPECT_TRUE(f.RememberedSelection.empty());
  EXPECT_EQ(f.ParentDirBtn->toolTip(), "Up one level");

  // At "/" the parent is "/" itself: nothing happens (checked through the fake
  // engine, which sizes "/" at once).
  form.reset();
  TDiskUsageForm& g = open({"/"}, {kFakeEngine});
  ASSERT_EQ(g.currentFolderPath(), "/");
  const int rows = g.UsageModel->rowCount();
  g.ParentDirBtnClick();
  EXPECT_EQ(g.currentFolderPath(), "/");
  EXPECT_EQ(g.UsageModel->rowCount(), rows);
}

TEST_F(NavigationTest, DoubleClicksEnterFoldersFollowLinksAndOpenFiles) {
  t.symlink(t.path("Alpha"), "to-alpha");
  t.symlink("a.txt", "to-file");
  t.symlink(t.path("gone"), "dangling");
  writeFile("folder.desktop", "[Desktop Entry]\nType=Link\nName=Alpha\nURL=file://" + t.path("Alpha/y") + "\n");
  writeFile("web.desktop", "[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
  TDiskUsageForm& f = open({t.root()});

  struct Case {
    const char* row;
    std::string folderAfter;  // where the window is afterwards
    std::string openedFile;   // what the desktop was asked to open, if anything
  } cases[] = {
      {"Alpha", t.path("Alpha") + "/", ""},
      {"to-alpha", t.path("Alpha") + "/", ""},   // a link to a folder opens the folder it points to
      {"to-file", t.root() + "/", t.path("a.txt")},  // a link to a file opens its target
      {"dangling", t.root() + "/", ""},          // taken for a folder that is not there: ignored
      {"folder.desktop", t.path("Alpha/y") + "/", ""},
      {"web.desktop", t.root() + "/", t.path("web.desktop")},  // not a local file: the link file itself
      {"B.txt", t.root() + "/", t.path("B.txt")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    if (f.currentFolderPath() != t.root() + "/") f.SelectFolderPath(t.root());
    opened.clear();
    f.RememberedSelection = {t.path("Ax")};
    doubleClick(c.row);
    EXPECT_EQ(f.currentFolderPath(), c.folderAfter);
    EXPECT_EQ(opened, c.openedFile.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.openedFile});
    if (c.folderAfter != t.root() + "/") {
      EXPECT_TRUE(f.RememberedSelection.empty());
      // The second click of the double-click selects nothing in the folder entered.
      QTest::mouseRelease(f.UsageList->viewport(), Qt::LeftButton, {}, f.UsageList->viewport()->rect().topLeft() + QPoint(30, 5));
      EXPECT_TRUE(selectedNames().empty());
    }
  }
  EXPECT_EQ(f.ResolveShortcut(t.path("a.txt")), "") << "a plain file is no link";
}

TEST_F(NavigationTest, KeysInTheListEnterAndLeaveFoldersAsDoubleClicksDo) {
  t.symlink(t.path("Alpha"), "to-alpha");
  t.symlink("a.txt", "to-file");
  writeFile("folder.desktop", "[Desktop Entry]\nType=Link\nName=Alpha\nURL=file://" + t.path("Alpha/y") + "\n");
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  // The View menu has the command with its key, for the tool button's picture.
  QAction* up = f.UpOneLevelCmd;
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->text(), "&Up One Level");
  EXPECT_EQ(up->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Up)) << "shown beside the item";
  EXPECT_TRUE(up->associatedObjects().contains(static_cast<QObject*>(f.ViewMenu)));

  struct Case {
    const char* row;
    int key;
    Qt::KeyboardModifiers modifiers;
    std::string folderAfter;  // where the window is afterwards
    std::string openedFile;   // what the desktop was asked to open, if anything
  } cases[] = {
      {"Alpha", Qt::Key_Return, {}, t.path("Alpha") + "/", ""},
      {"Alpha", Qt::Key_Enter, Qt::KeypadModifier, t.path("Alpha") + "/", ""},
      {"to-alpha", Qt::Key_Return, {}, t.path("Alpha") + "/", ""},
      {"folder.desktop", Qt::Key_Return, {}, t.path("Alpha/y") + "/", ""},
      {"to-file", Qt::Key_Return, {}, t.root() + "/", t.path("a.txt")},
      {"B.txt", Qt::Key_Enter, Qt::KeypadModifier, t.root() + "/", t.path("B.txt")},
      // Up one level: Backspace and Alt+Up, in the list, the tree and the folder box.
      {"Alpha", Qt::Key_Backspace, {}, "/", ""},
      {"Alpha", Qt::Key_Up, Qt::AltModifier, "/", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.row) + " key " + std::to_string(c.key));
    if (f.currentFolderPath() != t.root() + "/") f.SelectFolderPath(t.root());
    opened.clear();
    f.RememberedSelection = {t.path("Ax")};
    // To the row with the keyboard alone: Down from no row goes to the first.
    f.UsageList->setFocus();
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == f.UsageList; }));
    f.UsageList->selectionModel()->clear();
    QTest::keyClick(f.UsageList, Qt::Key_Down);
    for (int i = 0; i < f.UsageModel->rowCount() && f.UsageModel->row(f.UsageList->currentIndex().row()).name() != c.row; ++i)
      QTest::keyClick(f.UsageList, Qt::Key_Down);
    ASSERT_EQ(selectedNames(), Names{c.row});
    QTest::keyClick(f.UsageList, Qt::Key(c.key), c.modifiers);
    const std::string folder = c.folderAfter == "/" ? std::string(platform::folderPart(t.root())) : c.folderAfter;
    EXPECT_EQ(f.currentFolderPath(), folder);
    EXPECT_EQ(opened, c.openedFile.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.openedFile});
    if (folder != t.root() + "/") {
      EXPECT_EQ(QApplication::focusWidget(), f.UsageList) << "the keyboard stays in the list";
    }
    if (c.key == Qt::Key_Backspace || c.key == Qt::Key_Up) {
      EXPECT_EQ(selectedNames(), Names{t.root().substr(folder.size())}) << "the folder it came from";
    } else if (folder != t.root() + "/") {
      EXPECT_TRUE(f.RememberedSelection.empty());
    }
  }
  // Up one level from wherever the focus is in the window.
  for (QWidget* w : std::initializer_list<QWidget*>{f.TreeView, f.CurrentDirBox}) {
    for (auto [key, modifiers] : {std::pair{Qt::Key_Backspace, Qt::NoModifier}, std::pair{Qt::Key_Up, Qt::AltModifier}}) {
      SCOPED_TRACE(w->objectName().toStdString() + " key " + std::to_string(key));
      f.SelectFolderPath(t.path("Alpha/y"));
      w->setFocus();
      ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == w; }));
      QTest::keyClick(w, key, modifiers);
      EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
      EXPECT_EQ(QApplication::focusWidget(), w);
      EXPECT_EQ(selectedNames(), Names{"y"}) << "the folder it came from";
    }
  }
  // The menu item goes up as the tool button does.
  up->trigger();
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
}

TEST_F(NavigationTest, OpenFolderIgnoresWhatIsNoFolderAndEmptiesTheRememberedSelection) {
  TDiskUsageForm& f = open({t.root()});
  for (const std::string& path : {t.path("a.txt"), t.path("missing"), std::string()}) {
    f.RememberedSelection = {t.path("Ax")};
    f.OpenFolder(path);
    EXPECT_EQ(f.currentFolderPath(), t.root() + "/") << path;
    EXPECT_TRUE(f.RememberedSelection.empty()) << path;
  }
  f.OpenFolder(t.path("Alpha/y"));
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha/y") + "/");
  EXPECT_EQ(rowNames(), (Names{"z"}));
}

TEST_F(NavigationTest, DropsOpenTheFirstItemsFolderAndSelectWhatLiesInIt) {
  cwdTree.file("cwd/other.txt", 5);
  TDiskUsageForm& f = open({t.root()});
  f.MainPanelFileDrop({t.path("Alpha/x.bin"), cwdTree.path("cwd/other.txt"), t.path("Alpha/y")});
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  EXPECT_EQ(selectedNames(), (Names{"y", "x.bin"})) << "only items of the opened folder are selected";
  EXPECT_EQ(f.RememberedSelection, (std::vector<std::string>{t.path("Alpha/y"), t.path("Alpha/x.bin")}))
      << "what is remembered is what shows selected: a refresh of another folder selects nothing of the drop";
  EXPECT_EQ(f.statusPanelText(0), "2 selections");

  f.MainPanelFileDrop({t.path("Alpha")});  // a folder opens the folder that holds it
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  EXPECT_EQ(selectedNames(), (Names{"Alpha"}));

  form.reset();
  TDiskUsageForm& g = open({t.root()}, {kFakeEngine});
  g.MainPanelFileDrop({"/"});  // a root: opened, nothing selected
  EXPECT_EQ(g.currentFolderPath(), "/");
  EXPECT_TRUE(g.UsageList->selectionModel()->selectedRows().isEmpty());
  EXPECT_TRUE(g.RememberedSelection.empty());
}

TEST_F(NavigationTest, TheTreeShowsRealFoldersOnlyAndItsLabelsAreNeverEdited) {
  t.symlink(t.path("Alpha"), "to-alpha");
  TDiskUsageForm& f = open({t.root()});
  const QModelIndex root = f.TreeModel->indexForPath(t.root());
  ASSERT_TRUE(root.isValid());
  if (f.TreeModel->canFetchMore(root)) f.TreeModel->fetchMore(root);
  std::vector<std::string> children;
  for (int i = 0; i < f.TreeModel->rowCount(root); ++i)
    children.push_back(f.TreeModel->index(i, 0, root).data().toString().toStdString());
  EXPECT_EQ(children, (Names{"Alpha", "beta"})) << "no files, no link to a folder";
  EXPECT_FALSE(f.TreeViewAddFolder(t.path("to-alpha")));
  EXPECT_TRUE(f.TreeViewAddFolder(t.path("beta")));
  EXPECT_FALSE(f.TreeViewEditing());
  // The public way to start editing a label does nothing.
  f.TreeView->edit(f.TreeView->currentIndex());
  EXPECT_EQ(f.TreeView->indexWidget(f.TreeView->currentIndex()), nullptr);
  EXPECT_EQ(f.TreeView->findChild<QLineEdit*>(), nullptr);
}

TEST_F(NavigationTest, PickingInTheFolderBoxEmptiesTheRememberedSelection) {
  TDiskUsageForm& f = open({t.path("Alpha")});
  f.RememberedSelection = {t.path("Alpha/x.bin")};
  const int at = f.CurrentDirBox->findText(QString::fromStdString(t.path("Alpha")));
  ASSERT_GE(at, 0);
  emit f.CurrentDirBox->activated(at);
  EXPECT_TRUE(f.RememberedSelection.empty());
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
}

namespace {
// Input the user made while a refresh held the window: it waits in the queue
// and reaches the list once the refresh is over.
std::vector<std::pair<QObject*, QEvent*>> g_inputWhileComputing;
void postInputOnFirstCalc(const char*) {
  for (auto& [to, event] : g_inputWhileComputing) QCoreApplication::postEvent(to, event);
  g_inputWhileComputing.clear();
}
}  // namespace

TEST_F(NavigationTest, ClicksAndKeysMadeWhileARefreshHoldsTheWindowReachNoRow) {
  // Rows arrive in the listing's order and are sorted at the end: the row
  // under the pointer while the refresh ran is not the one there afterwards.
  for (int i = 0; i < 10; ++i) t.dir("dir" + std::to_string(i));
  for (int i = 0; i < 10; ++i) t.file("dir" + std::to_string(i) + "/f", 100 * (i + 1));
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  f.NumbersCmd->trigger();
  f.UsageList->setFocus();
  const QPoint at = f.UsageList->visualRect(f.UsageModel->index(3, 0)).center();
  QWidget* viewport = f.UsageList->viewport();
  auto mouse = [&](QEvent::Type type) {
    return new QMouseEvent(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                           type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  };
  g_inputWhileComputing = {{viewport, mouse(QEvent::MouseButtonPress)},
                           {viewport, mouse(QEvent::MouseButtonRelease)},
                           {viewport, mouse(QEvent::MouseButtonDblClick)},
                           {viewport, mouse(QEvent::MouseButtonRelease)},
                           {f.UsageList, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier)},
                           {f.UsageList, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier)},
                           {f.UsageList, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier)},
                           {f.UsageList, new QKeyEvent(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier)},
                           {f.UsageList, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::AltModifier)}};
  auto hook = fakeSymbol<void (*)(void (*)(const char*))>("FakeSetCalcHook");
  ASSERT_NE(hook, nullptr);
  hook(&postInputOnFirstCalc);
  f.RefreshCmd->trigger();
  hook(nullptr);
  ASSERT_TRUE(g_inputWhileComputing.empty()) << "posted during the refresh";
  QCoreApplication::processEvents();  // what waited is delivered now
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/") << "no folder entered";
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(selectedNames().empty());

  // What the user does after the refresh acts at once.
  doubleClick("dir4");
  EXPECT_EQ(f.currentFolderPath(), t.path("dir4") + "/");
}
