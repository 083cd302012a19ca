// The folder tree lets go of folders that no longer exist, wherever the tree
// holds them, and never makes nodes for them.
#include <gtest/gtest.h>
#include <cstdlib>
#include <functional>
#include <set>

#include "awkward_names.h"
#include "model/display_name.h"
#include "platform/path.h"
#include "qt_print.h"
#include "temp_tree.h"
#include "tree_paths.h"
#include "views/folder_tree_model.h"

namespace {

void removeAll(const std::string& path) { ASSERT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0); }

// Expands the nodes from a place down to path, as a user clicking the arrows.
QModelIndex expandFrom(TFolderTreeModel& m, QModelIndex node, const std::string& path) {
  while (m.pathOf(node) != path) {
    if (m.canFetchMore(node)) m.fetchMore(node);
    QModelIndex next;
    for (int i = 0; i < m.rowCount(node) && !next.isValid(); ++i) {
      const std::string p = m.pathOf(m.index(i, 0, node));
      if (path == p || path.rfind(platform::withTrailingDelim(p), 0) == 0) next = m.index(i, 0, node);
    }
    if (!next.isValid()) return {};
    node = next;
  }
  return node;
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    m_savedHome = home ? home : "";
    ::setenv("HOME", t.root().c_str(), 1);  // the Home place holds the fixture
    for (const char* d : {"x", "x/a", "x/a/b", "x/a/b/c", "x/a/side", "x/keep"}) t.dir(d);
  }
  void TearDown() override { ::setenv("HOME", m_savedHome.c_str(), 1); }

  testsupport::TempTree t;
  std::string m_savedHome;
};

}  // namespace

TEST_F(FolderTreeTest, AGoneFolderLeavesWithItsSubtreeFromEveryPlaceThatHoldsIt) {
  TFolderTreeModel m;
  // Reached through Home, and again through "/" as a user expands it.
  ASSERT_TRUE(m.indexForPath(t.path("x/a/b/c")).isValid());
  QModelIndex slash;
  for (int i = 0; i < m.rowCount(m.topIndex()); ++i)
    if (m.pathOf(m.index(i, 0, m.topIndex())) == "/") slash = m.index(i, 0, m.topIndex());
  ASSERT_TRUE(slash.isValid());
  ASSERT_TRUE(expandFrom(m, slash, t.path("x/a/b/c")).isValid());
  expandFrom(m, slash, t.path("x/a/side"));
  ASSERT_EQ(countAtOrUnder(loadedTreePaths(m), t.path("x/a")), 8u) << "a, b, c and side, twice";

  removeAll(t.path("x/a"));
  m.forgetPath(t.path("x/a"));
  const std::vector<std::string> after = loadedTreePaths(m);
  EXPECT_EQ(countAtOrUnder(after, t.path("x/a")), 0u);
  EXPECT_EQ(countAtOrUnder(after, t.path("x/keep")), 2u) << "its siblings stay";
  EXPECT_EQ(countAtOrUnder(after, t.path("x")), 4u);
}

TEST_F(FolderTreeTest, ForgettingMakesNoNodesAndLeavesThePlacesAlone) {
  TFolderTreeModel m;
  const std::vector<std::string> before = loadedTreePaths(m);
  struct Case {
    const char* what;
    std::string path;
  } cases[] = {
      {"a folder the tree never read", t.path("x/a/b/c")},
      {"below a gone folder", t.path("gone/deeper/still")},
      {"the Home place", t.root()},
      {"the Home place, with a separator", t.root() + "/"},
      {"the top of the tree", "/"},
      {"no path", ""},
      {"a relative one", "x/a"},
  };
  for (const Case& c : cases) {
    m.forgetPath(c.path);
    EXPECT_EQ(loadedTreePaths(m), before) << c.what;
  }
}

TEST_F(FolderTreeTest, AFolderRightUnderAPlaceLeavesToo) {
  TFolderTreeModel m;
  ASSERT_TRUE(m.indexForPath(t.path("x/a")).isValid());
  removeAll(t.path("x"));
  m.forgetPath(t.path("x") + "/");
  EXPECT_EQ(countAtOrUnder(loadedTreePaths(m), t.path("x")), 0u);
}

TEST_F(FolderTreeTest, AFolderReadAgainBringsItsNodesUpToDate) {
  TFolderTreeModel m;
  const QModelIndex x = m.indexForPath(t.path("x"));
  ASSERT_TRUE(x.isValid());
  if (m.canFetchMore(x)) m.fetchMore(x);
  ASSERT_TRUE(m.indexForPath(t.path("x/a/b/c")).isValid());
  auto children = [&](const std::string& folder) {
    std::vector<std::string> out;
    const QModelIndex node = m.indexForPath(folder);
    for (int i = 0; i < m.rowCount(node); ++i) out.push_back(m.index(i, 0, node).data().toString().toStdString());
    return out;
  };
  ASSERT_EQ(children(t.path("x")), (std::vector<std::string>{"a", "keep"}));
  removeAll(t.path("x/a"));
  for (const char* d : {"x/a", "x/B", "x/z"}) t.dir(d);
  t.file("x/file", 1);
  // As the listing gives them: a file among the names is no folder.
  m.followFolder(t.path("x"), {"z", "file", "keep", "B", "a"});
  EXPECT_EQ(children(t.path("x")), (std::vector<std::string>{"a", "B", "keep", "z"}));
  removeAll(t.path("x/B"));
  m.followFolder(t.path("x") + "/", {"z", "keep", "a"});
  EXPECT_EQ(children(t.path("x")), (std::vector<std::string>{"a", "keep", "z"}));
  // A folder whose nodes were never read is read when expanded, not here.
  t.dir("x/keep/new");
  m.followFolder(t.path("x/keep"), {"new"});
  EXPECT_TRUE(m.canFetchMore(m.indexForPath(t.path("x/keep"))));
}

TEST_F(FolderTreeTest, NoTwoFoldersShowAlikeAndEachKeepsItsBytes) {
  const std::vector<std::string> names = testsupport::awkwardNames();
  t.dir("awk");
  for (const std::string& n : names) t.dir("awk/" + n);
  TFolderTreeModel m;
  const QModelIndex awk = expandFrom(m, m.index(0, 0, m.topIndex()), t.path("awk"));
  ASSERT_TRUE(awk.isValid());
  if (m.canFetchMore(awk)) m.fetchMore(awk);
  ASSERT_EQ(m.rowCount(awk), static_cast<int>(names.size()));
  std::set<QString> shown;
  std::set<std::string> paths;
  for (int i = 0; i < m.rowCount(awk); ++i) {
    const QModelIndex node = m.index(i, 0, awk);
    const QString text = node.data().toString();
    SCOPED_TRACE(text.toStdString());
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(shown.insert(text).second) << "shown alike by another folder";
    paths.insert(m.pathOf(node));
    const QList<int> escapes = node.data(kNameEscapesRole).value<QList<int>>();
    EXPECT_EQ(DisplayNameMarked(m.pathOf(node).substr(t.path("awk/").size())).escapes, escapes);
  }
  std::set<std::string> wanted;
  for (const std::string& n : names) wanted.insert(t.path("awk/" + n));
  EXPECT_EQ(paths, wanted) << "each node keeps its folder's bytes";
}
