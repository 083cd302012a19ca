// The trash layer on real files: what lands where, the .trashinfo that lets
// the desktop put an item back, links moved as links, and deletion for good
// only after a yes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>

#include <climits>

#include <algorithm>
#include <cstring>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/fs.h"
#include "platform/trash.h"
#include "scoped_mount.h"
#include "temp_tree.h"
#include "file_limit.h"

using testsupport::TempTree;

using testsupport::FileLimit;

namespace {

// A home trash in a temporary folder on the same volume as the items.
class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* data = std::getenv("XDG_DATA_HOME");
    saved = data ? data : "";
    hadData = data != nullptr;
    ::setenv("XDG_DATA_HOME", dataHome.path("share").c_str(), 1);  // made on first use
  }
  void TearDown() override {
    if (hadData)
      ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
  }
  std::string trash() const { return dataHome.path("share/Trash"); }
  TempTree dataHome, t;
  std::string saved;
  bool hadData = false;
};

}  // namespace

TEST_F(TrashTest, ItemsLandInTheHomeTrashWithTheirInfoAndComeBack) {
  t.file("a b%.txt", 10);
  t.dir("folder");
  t.file("folder/inner", 5);
  t.file("target", 3);
  t.symlink(t.path("target"), "link");
  struct Case {
    const char* name;
    const char* trashedName;
  } cases[] = {{"a b%.txt", "a b%.txt"}, {"folder", "folder"}, {"link", "link"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const platform::TrashOutcome o = platform::moveToTrash(t.path(c.name));
    ASSERT_EQ(o.kind, platform::TrashOutcome::Trashed) << o.error;
    EXPECT_EQ(o.trashedAs, trash() + "/files/" + c.trashedName);
    EXPECT_FALSE(testsupport::pathExists(t.path(c.name)));
    EXPECT_TRUE(testsupport::pathExists(o.trashedAs));
    const std::string info = testsupport::readFile(trash() + "/info/" + c.trashedName + ".trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u) << info;
    EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos) << info;
  }
  EXPECT_NE(testsupport::readFile(trash() + "/info/a b%.txt.trashinfo").find("a%20b%25.txt\n"), std::string::npos)
      << "the path is percent-encoded";
  EXPECT_TRUE(testsupport::pathExists(t.path("target"))) << "a link's target is never touched";
  struct stat st;
  ASSERT_EQ(::lstat((trash() + "/files/link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link went as a link";
  EXPECT_TRUE(testsupport::pathExists(trash() + "/files/folder/inner"));

  // The desktop puts an item back from its Path=: here by hand.
  const std::string info = testsupport::readFile(trash() + "/info/folder.trashinfo");
  const std::string recorded = info.substr(info.find("Path=") + 5, info.find('\n', info.find("Path=")) - info.find("Path=") - 5);
  EXPECT_EQ(recorded, t.path("folder"));
  ASSERT_EQ(::rename((trash() + "/files/folder").c_str(), recorded.c_str()), 0);
  EXPECT_TRUE(testsupport::pathExists(t.path("folder/inner")));
}

TEST_F(TrashTest, ASecondItemOfTheSameNameGetsANameOfItsOwn) {
  t.file("same", 1);
  ASSERT_EQ(platform::moveToTrash(t.path("same")).kind, platform::TrashOutcome::Trashed);
  t.file("same", 2);
  const platform::TrashOutcome second = platform::moveToTrash(t.path("same"));
  ASSERT_EQ(second.kind, platform::TrashOutcome::Trashed);
  EXPECT_EQ(second.trashedAs, trash() + "/files/same.2");
  EXPECT_TRUE(testsupport::pathExists(trash() + "/info/same.2.trashinfo"));
  EXPECT_TRUE(testsupport::pathExists(trash() + "/files/same"));
}

TEST_F(TrashTest, WhatCannotBeTrashedFailsWithItsReasonWhatIsGoneIsNoFailure) {
  const platform::TrashOutcome root = platform::moveToTrash("/");
  EXPECT_EQ(root.kind, platform::TrashOutcome::Failed);
  EXPECT_FALSE(root.error.empty());
  // Removed by another program between the question and the answer: what
  // the user asked for has happened, and nothing is reported as failed.
  t.file("kept", 3);
  for (const std::string& path : {t.path("vanished"), t.path("vanished/below"), t.path("kept/below")})
    EXPECT_EQ(platform::moveToTrash(path).kind, platform::TrashOutcome::Gone) << path;
  const platform::RemoveReport r =
      platform::removeItems({t.path("vanished"), t.path("kept")}, [](auto&) { return true; });
  EXPECT_TRUE(r.failures.empty()) << r.failures.front();
  EXPECT_EQ(r.gone, std::vector<std::string>{t.path("vanished")});
  EXPECT_EQ(r.trashed, std::vector<std::string>{t.path("kept")});
}

TEST_F(TrashTest, DeletingForGoodRemovesTheTreeAndLeavesLinkTargetsAlone) {
  t.dir("tree");
  t.dir("tree/a");
  t.dir("tree/a/b");
  t.file("tree/a/b/c", 100);
  t.file("outside", 7);
  t.dir("outside-dir");
  t.file("outside-dir/keep", 1);
  t.symlink(t.path("outside"), "tree/link-to-file");
  t.symlink(t.path("outside-dir"), "tree/a/link-to-dir");
  std::string error;
  platform::TreeSize removed;
  EXPECT_EQ(platform::measureTree(t.path("tree")).items, 6u);
  EXPECT_EQ(platform::measureTree(t.path("tree")).bytes, 100u) << "a link's own bytes are not a file's";
  EXPECT_EQ(platform::deleteForGood(t.path("tree"), error, removed), platform::DeleteResult::Done) << error;
  EXPECT_EQ(removed.items, 6u);
  EXPECT_EQ(removed.bytes, 100u);
  EXPECT_FALSE(testsupport::pathExists(t.path("tree")));
  EXPECT_TRUE(testsupport::pathExists(t.path("outside")));
  EXPECT_TRUE(testsupport::pathExists(t.path("outside-dir/keep")));
  EXPECT_EQ(platform::deleteForGood(t.path("tree"), error, removed), platform::DeleteResult::Failed);
  EXPECT_NE(error.find("tree"), std::string::npos) << error;
}

TEST_F(TrashTest, AnItemWithoutATrashIsDeletedForGoodOnlyAfterAYes) {
  // A volume other than the home trash's, whose own trash cannot be made: a
  // plain file stands where the volume's trash folder would go.
  struct stat shm, tmp;
  const std::string uid = std::to_string(::getuid());
  const std::string blocker = "/dev/shm/.Trash-" + uid;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(t.root().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev ||
      testsupport::pathExists(blocker) || testsupport::pathExists("/dev/shm/.Trash"))
    GTEST_SKIP() << "needs /dev/shm on a volume of its own, without a trash";
  std::ofstream(blocker) << "not a folder";
  char name[] = "/dev/shm/tallorin-trash-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const std::string item = std::string(name) + "/item";
  std::ofstream(item) << "data";

  EXPECT_EQ(platform::moveToTrash(item).kind, platform::TrashOutcome::NoTrash);
  std::vector<std::string> asked;
  platform::RemoveReport no = platform::removeItems({item}, [&](const std::vector<std::string>& names) {
    asked = names;
    return false;
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"item"}));
  EXPECT_TRUE(testsupport::pathExists(item)) << "no: kept";
  EXPECT_TRUE(no.deletedForGood.empty());
  platform::RemoveReport yes = platform::removeItems({item}, [](auto&) { return true; });
  EXPECT_FALSE(testsupport::pathExists(item)) << "yes: deleted for good";
  EXPECT_EQ(yes.deletedForGood.size(), 1u);
  ::unlink(blocker.c_str());
  ::rmdir(name);
}

namespace {

// The value of Path= in a .trashinfo, percent-decoded to the bytes it names.
std::string recordedPath(const std::string& infoFile) {
  const std::string info = testsupport::readFile(infoFile);
  const size_t at = info.find("\nPath=");
  if (at == std::string::npos) return {};
  const std::string encoded = info.substr(at + 6, info.find('\n', at + 6) - at - 6);
  std::string out;
  for (size_t i = 0; i < encoded.size(); ++i)
    if (encoded[i] == '%' && i + 2 < encoded.size()) {
      out.push_back(static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(encoded[i]);
    }
  return out;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.emplace_back(e->d_name);
    ::closedir(d);
  }
  return out;
}

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

TEST_F(TrashTest, ALongNameGoesToTheTrashUnderAShorterNameAndComesBackWhole) {
  // 254 bytes: the name itself fits the volume's limit of 255, its
  // "<name>.trashinfo" does not.
  const std::string plain = std::string(250, 'n') + ".txt";
  std::string accented;  // 127 two-byte letters: a cut must not split one
  for (int i = 0; i < 127; ++i) accented += "\xC3\xA9";
  const std::string raw = std::string(240, 'r') + "\xFF\xFE" + std::string(8, 'r') + ".log";  // not UTF-8
  for (const std::string& name : {plain, accented, raw}) ASSERT_EQ(name.size(), 254u);
  struct Case {
    std::string name;
    const char* what;
  } cases[] = {{plain, "plain"}, {accented, "two-byte letters"}, {raw, "raw bytes"}, {plain, "the same name again"}};
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.file(c.name, 9);
    std::vector<std::string> asked;
    const platform::RemoveReport r = platform::removeItems({t.path(c.name)}, [&](const std::vector<std::string>& n) {
      asked = n;
      return false;
    });
    EXPECT_TRUE(asked.empty()) << "a volume with a trash asks nothing more";
    ASSERT_EQ(r.trashed.size(), 1u) << (r.failures.empty() ? "" : r.failures[0]);
    EXPECT_FALSE(testsupport::pathExists(t.path(c.name)));
    // The one file now in the trash that was not there before.
    std::string inTrash;
    for (const std::string& n : namesIn(trash() + "/files"))
      if (std::find(stored.begin(), stored.end(), n) == stored.end()) inTrash = n;
    ASSERT_FALSE(inTrash.empty());
    stored.push_back(inTrash);
    EXPECT_LE(inTrash.size() + std::string(".trashinfo").size(), 255u) << inTrash;
    if (c.name == accented) {
      EXPECT_TRUE(validUtf8(inTrash)) << inTrash;
    }
    const std::string info = trash() + "/info/" + inTrash + ".trashinfo";
    ASSERT_TRUE(testsupport::pathExists(info));
    EXPECT_EQ(recordedPath(info), t.path(c.name)) << "Path= keeps the whole original path";
    EXPECT_EQ(testsupport::readFile(trash() + "/files/" + inTrash).size(), 9u);
  }
  EXPECT_EQ(stored.size(), 4u);
  EXPECT_NE(stored[0], stored[3]) << "two items of one long name each keep their own";
  // The desktop puts it back from Path=.
  ASSERT_EQ(::rename((trash() + "/files/" + stored[2]).c_str(), recordedPath(trash() + "/info/" + stored[2] + ".trashinfo").c_str()), 0);
  EXPECT_TRUE(testsupport::pathExists(t.path(raw)));
}

TEST_F(TrashTest, AHomeTrashThatCannotBeMadeLeavesTheVolumeWithoutATrash) {
  // A plain file where the home trash would go: items on the home volume
  // have no trash (none is made at the top of the volume instead).
  dataHome.dir("share");
  std::ofstream(trash()) << "not a folder";
  t.file("item", 1);
  EXPECT_EQ(platform::moveToTrash(t.path("item")).kind, platform::TrashOutcome::NoTrash);
  EXPECT_TRUE(testsupport::pathExists(t.path("item")));
}

TEST_F(TrashTest, DeletingForGoodCountsTheTreesAndStopsBetweenEntriesWhenAsked) {
  dataHome.dir("share");
  std::ofstream(trash()) << "not a folder";  // no trash for this volume
  t.dir("outside");
  t.file("outside/keep", 1);
  auto build = [&] {
    ASSERT_EQ(std::system(("rm -rf '" + t.path("tree") + "' '" + t.path("single") + "'").c_str()), 0);
    t.dir("tree");
    for (int d = 0; d < 3; ++d) {
      t.dir("tree/d" + std::to_string(d));
      for (int f = 0; f < 50; ++f) t.file("tree/d" + std::to_string(d) + "/f" + std::to_string(f), 10);
    }
    t.symlink(t.path("outside"), "tree/link");
    t.file("single", 7);
  };
  const uint64_t items = 1 + 3 + 150 + 1 + 1, bytes = 1500 + 7;
  struct Case {
    uint64_t stopAfter;  // entries; 0: never
    uint64_t removed;
    std::vector<std::string> left;
  } cases[] = {{60, 60, {"tree", "single"}}, {0, items, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stopAfter);
    build();
    uint64_t counted = 0, calls = 0;
    platform::RemoveProgress progress;
    progress.counting = [&](const platform::TreeSize& soFar) {
      counted = soFar.items;
      return true;
    };
    progress.deleting = [&](const platform::TreeSize& removed, const platform::TreeSize& total) {
      ++calls;
      EXPECT_EQ(total.items, items);
      return c.stopAfter == 0 || removed.items < c.stopAfter;
    };
    const platform::RemoveReport r =
        platform::removeItems({t.path("tree"), t.path("single")}, [](auto&) { return true; }, progress);
    EXPECT_EQ(counted, items);
    EXPECT_EQ(r.toDeleteForGood.items, items);
    EXPECT_EQ(r.toDeleteForGood.bytes, bytes);
    EXPECT_EQ(r.stopped, c.stopAfter != 0);
    EXPECT_EQ(r.removedForGood.items, c.removed);
    EXPECT_EQ(calls, c.removed) << "one report per entry";
    EXPECT_EQ(r.removedForGood.items + r.leftForGood.items, items) << "what went and what is left add up";
    EXPECT_EQ(r.removedForGood.bytes + r.leftForGood.bytes, bytes);
    std::vector<std::string> left;
    for (const std::string& p : r.notDeleted) left.push_back(p.substr(p.rfind('/') + 1));
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(testsupport::pathExists(t.path("single")), c.stopAfter != 0) << "nothing after the stop is touched";
    EXPECT_EQ(platform::measureTree(t.path("tree")).items, c.stopAfter ? items - 1 - c.removed : 0);
    EXPECT_TRUE(testsupport::pathExists(t.path("outside/keep"))) << "a link is removed as a link";
  }
}

namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST_F(TrashTest, DeletingForGoodNeverLeavesTheVolumeOfTheItem) {
  dataHome.dir("share");
  std::ofstream(trash()) << "not a folder";  // no trash on this volume: the yes deletes for good
  t.dir("elsewhere");
  t.file("elsewhere/keep.txt", 5);
  t.file("elsewhere.txt", 6);
  t.dir("nt");
  t.dir("nt/withmnt");
  t.file("nt/withmnt/a.txt", 10);
  t.dir("nt/withmnt/sub");
  t.file("nt/withmnt/sub/b", 20);
  t.dir("nt/withmnt/sub/m");
  t.dir("nt/withmnt/bound");
  t.file("nt/withmnt/boundfile", 0);
  t.dir("nt/withmnt/plain");
  t.file("nt/withmnt/plain/c", 30);
  // Another volume, and two mounts of this volume's own folders elsewhere in
  // the tree: the same device, but other mounts, whose folders are not the
  // item's to delete.
  testsupport::ScopedMount tmpfs = testsupport::ScopedMount::tmpfs(t.path("nt/withmnt/sub/m"));
  if (!tmpfs.mounted()) GTEST_SKIP() << tmpfs.why();
  std::ofstream(t.path("nt/withmnt/sub/m/precious.txt")) << "precious";
  testsupport::ScopedMount folder = testsupport::ScopedMount::bind(t.path("elsewhere"), t.path("nt/withmnt/bound"));
  testsupport::ScopedMount file = testsupport::ScopedMount::bind(t.path("elsewhere.txt"), t.path("nt/withmnt/boundfile"));
  ASSERT_TRUE(folder.mounted()) << folder.why();
  ASSERT_TRUE(file.mounted()) << file.why();

  // What goes: a.txt, sub/b, plain, plain/c. What holds another volume stays,
  // so it is not counted either.
  const platform::TreeSize counted = platform::measureTree(t.path("nt/withmnt"));
  EXPECT_EQ(counted.items, 4u);
  EXPECT_EQ(counted.bytes, 60u);
  const std::vector<std::string> mountPoints = {t.path("nt/withmnt/bound"), t.path("nt/withmnt/boundfile"),
                                                t.path("nt/withmnt/sub/m")};
  struct Case {
    std::string item;
    uint64_t removed;
    std::vector<std::string> otherVolumes;
  } cases[] = {
      {t.path("nt/withmnt/sub/m"), 0, {t.path("nt/withmnt/sub/m")}},  // a mount point chosen itself
      {t.path("nt/withmnt"), 4, mountPoints},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    std::vector<std::string> asked;
    const platform::RemoveReport r = platform::removeItems({c.item}, [&](const std::vector<std::string>& names) {
      asked = names;
      return true;
    });
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(r.failures.empty()) << r.failures.front();
    EXPECT_TRUE(r.deletedForGood.empty()) << "the item stays: it holds another volume";
    EXPECT_EQ(r.removedForGood.items, c.removed);
    EXPECT_EQ(r.toDeleteForGood.items, c.removed);
    EXPECT_EQ(sorted(r.otherVolumes), c.otherVolumes);
    EXPECT_EQ(testsupport::readFile(t.path("nt/withmnt/sub/m/precious.txt")), "precious");
    EXPECT_EQ(testsupport::readFile(t.path("elsewhere/keep.txt")).size(), 5u);
    EXPECT_EQ(testsupport::readFile(t.path("elsewhere.txt")).size(), 6u);
    EXPECT_TRUE(testsupport::pathExists(t.path("nt/withmnt/bound/keep.txt")));
  }
  for (const char* gone : {"nt/withmnt/a.txt", "nt/withmnt/sub/b", "nt/withmnt/plain"})
    EXPECT_FALSE(testsupport::pathExists(t.path(gone))) << gone;
  EXPECT_TRUE(testsupport::pathExists(t.path("nt/withmnt/sub")));
}

namespace {

size_t openDescriptors() { return namesIn("/proc/self/fd").size(); }

}  // namespace

TEST_F(TrashTest, TreesOfAnyDepthAreCountedAndDeletedWhole) {
  // Deeper than PATH_MAX, and with far more levels than the process may open
  // descriptors; a file at every tenth level.
  t.dir("deep");
  const std::string leaf = t.deepChain("deep", 2 * PATH_MAX, "level-0123");
  std::vector<std::string> levels;  // "deep", "deep/level-0123", ... leaf
  for (size_t at = 0; (at = leaf.find('/', at + 1)) != std::string::npos;) levels.push_back(leaf.substr(0, at));
  levels.push_back(leaf);
  uint64_t files = 0;
  for (size_t i = 9; i < levels.size(); i += 10, ++files) t.fileAt(levels[i] + "/f", 3);
  const uint64_t all = levels.size() + files;
  ASSERT_GT(levels.size(), 300u);
  // The lower part, named by a path longer than PATH_MAX.
  size_t half = 0;
  while (t.path(levels[half]).size() <= PATH_MAX) ++half;
  uint64_t lower = levels.size() - half;
  for (size_t i = 9; i < levels.size(); i += 10) lower += i >= half;

  FileLimit limit(openDescriptors() + 24);
  ASSERT_TRUE(limit.ok());
  struct Case {
    std::string item;
    uint64_t items;
  } cases[] = {{t.path(levels[half]), lower}, {t.path("deep"), all - lower}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item.size());
    EXPECT_EQ(platform::measureTree(c.item).items, c.items);
    std::string error;
    platform::TreeSize removed;
    EXPECT_EQ(platform::deleteForGood(c.item, error, removed), platform::DeleteResult::Done) << error;
    EXPECT_EQ(removed.items, c.items);
    struct stat st;
    EXPECT_FALSE(platform::statPath(c.item, st, false));
  }
  EXPECT_FALSE(testsupport::pathExists(t.path("deep")));
}

TEST_F(TrashTest, TheTrashIsChosenWhereTheItemReallyIs) {
  const std::string uid = std::to_string(::getuid());
  t.dir("vol2");
  t.dir("folder");
  t.dir("folder/m");
  t.dir("homeside");
  t.dir("bindsource");
  t.dir("bound");
  testsupport::ScopedMount vol2 = testsupport::ScopedMount::tmpfs(t.path("vol2"));
  if (!vol2.mounted()) GTEST_SKIP() << vol2.why();
  testsupport::ScopedMount inFolder = testsupport::ScopedMount::tmpfs(t.path("folder/m"));
  testsupport::ScopedMount bound = testsupport::ScopedMount::bind(t.path("bindsource"), t.path("bound"));
  ASSERT_TRUE(inFolder.mounted() && bound.mounted()) << inFolder.why() << bound.why();
  t.dir("vol2/sub2");
  t.symlink(t.path("vol2/sub2"), "vlink");           // a link from the home volume to another
  t.symlink(t.path("homeside"), "vol2/tohome");     // and one back
  const std::string sharedTrash = t.path("vol2/admin");

  struct Case {
    const char* what;
    std::string item;             // as the window names it
    std::string trashedAs;        // empty: no trash
    std::string recorded;         // Path=
  } cases[] = {
      {"through a link to another volume", t.path("vlink/a"), t.path("vol2/.Trash-" + uid + "/files/a"), "sub2/a"},
      {"through a link back to the home volume", t.path("vol2/tohome/b"), trash() + "/files/b", t.path("homeside/b")},
      {"a mount of this volume's folder: another mount", t.path("bound/c"), t.path("bound/.Trash-" + uid + "/files/c"), "c"},
      {"a mount point: it cannot be moved off its volume", t.path("folder/m"), "", ""},
      {"a folder holding a mount point: it would take the mount along", t.path("folder"), "", ""},
  };
  t.file("vol2/sub2/a", 1);
  t.file("homeside/b", 2);
  t.file("bindsource/c", 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const platform::TrashOutcome o = platform::moveToTrash(c.item);
    if (c.trashedAs.empty()) {
      // A mount point has no trash to go to; a folder holding one has, but
      // may not go there, and says why.
      if (c.item == t.path("folder")) {
        EXPECT_EQ(o.kind, platform::TrashOutcome::Failed);
        EXPECT_EQ(o.error, "it holds the mount point of another volume, folder/m");
      } else {
        EXPECT_EQ(o.kind, platform::TrashOutcome::NoTrash) << o.error;
      }
      continue;
    }
    ASSERT_EQ(o.kind, platform::TrashOutcome::Trashed) << o.error;
    EXPECT_EQ(o.trashedAs, c.trashedAs);
    EXPECT_TRUE(testsupport::pathExists(c.trashedAs));
    EXPECT_EQ(recordedPath(o.infoFile), c.recorded);
  }
  // No trash was made where no desktop looks for one.
  for (const std::string& stray : {t.path("vol2/sub2/.Trash-" + uid), t.path("folder/.Trash-" + uid),
                                   t.path("folder/m/.Trash-" + uid), t.path(".Trash-" + uid)})
    EXPECT_FALSE(testsupport::pathExists(stray)) << stray;
  EXPECT_TRUE(testsupport::pathExists(t.path("folder/m"))) << "the mount point stays";
  EXPECT_EQ(platform::mountPointsInside(t.path("folder")), std::vector<std::string>{t.path("folder/m")})
      << "still mounted where it was";

  // The administrator's $topdir/.Trash (sticky, a real folder) comes first;
  // one that is a link is passed over.
  for (const bool asLink : {false, true}) {
    SCOPED_TRACE(asLink ? "a link as .Trash" : "a sticky .Trash");
    ASSERT_EQ(std::system(("rm -rf '" + t.path("vol2/.Trash") + "' '" + sharedTrash + "'").c_str()), 0);
    t.dir("vol2/admin", 01777);
    if (asLink)
      t.symlink(sharedTrash, "vol2/.Trash");
    else
      ASSERT_EQ(::rename(sharedTrash.c_str(), t.path("vol2/.Trash").c_str()), 0);
    t.file("vol2/sub2/d", 4);
    const platform::TrashOutcome o = platform::moveToTrash(t.path("vlink/d"));
    ASSERT_EQ(o.kind, platform::TrashOutcome::Trashed) << o.error;
    EXPECT_EQ(o.trashedAs, asLink ? t.path("vol2/.Trash-" + uid + "/files/d") : t.path("vol2/.Trash/" + uid + "/files/d"));
    EXPECT_EQ(recordedPath(o.infoFile), "sub2/d");
  }
}

TEST_F(TrashTest, AHomeTrashThatIsALinkToTheUsersFolderIsUsed) {
  dataHome.dir("share");
  dataHome.dir("kept-trash");
  dataHome.symlink(dataHome.path("kept-trash"), "share/Trash");
  t.file("item", 1);
  const platform::TrashOutcome o = platform::moveToTrash(t.path("item"));
  ASSERT_EQ(o.kind, platform::TrashOutcome::Trashed) << o.error;
  EXPECT_TRUE(testsupport::pathExists(dataHome.path("kept-trash/files/item")));
  EXPECT_EQ(recordedPath(dataHome.path("kept-trash/info/item.trashinfo")), t.path("item"));
  struct stat st;
  ASSERT_EQ(::lstat(trash().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
}

namespace {

// Uses up a volume's inodes (files of no bytes) or its blocks (one file as
// large as it gets) in folder.
void fillUp(const std::string& folder, bool inodes) {
  if (!inodes) {
    std::ofstream out(folder + "/filler", std::ios::binary);
    const std::string chunk(65536, 'x');
    while (out.write(chunk.data(), chunk.size())) {
    }
    return;
  }
  for (int i = 0;; ++i) {
    const int fd = ::open((folder + "/f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) break;
    ::close(fd);
  }
}

}  // namespace

TEST_F(TrashTest, OnlyAVolumeWithoutATrashLeadsToTheQuestionOtherFailuresAreNamed) {
  // The home volume here is a small tmpfs holding the home trash and the item.
  struct Case {
    const char* what;
    const char* options;
    bool trashMadeBefore;
    std::function<void(const std::string& top)> spoil;
    platform::TrashOutcome::Kind kind;
    const char* reason;  // in the failure's line
  } cases[] = {
      {"no free inodes, the trash made before", "size=1m,nr_inodes=64", true,
       [](const std::string& top) { fillUp(top, true); }, platform::TrashOutcome::Failed, "No space left on device"},
      {"no free inodes, no trash yet", "size=1m,nr_inodes=64", false,
       [](const std::string& top) { fillUp(top, true); }, platform::TrashOutcome::Failed, "No space left on device"},
      {"no free blocks", "size=256k", true, [](const std::string& top) { fillUp(top, false); },
       platform::TrashOutcome::Failed, "No space left on device"},
      {"read-only", "size=1m", true,
       [](const std::string& top) {
         ASSERT_EQ(::mount(nullptr, top.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0) << std::strerror(errno);
       },
       platform::TrashOutcome::Failed, "Read-only file system"},
      {"no trash on the volume", "size=1m", false,
       [](const std::string& top) { std::ofstream(top + "/share/Trash") << "not a folder"; },
       platform::TrashOutcome::NoTrash, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempTree vol;
    vol.dir("top");
    testsupport::ScopedMount m = testsupport::ScopedMount::tmpfs(vol.path("top"), c.options);
    if (!m.mounted()) GTEST_SKIP() << m.why();
    const std::string top = vol.path("top");
    ::setenv("XDG_DATA_HOME", (top + "/share").c_str(), 1);
    ASSERT_EQ(::mkdir((top + "/share").c_str(), 0700), 0);
    if (c.trashMadeBefore) {
      for (const char* d : {"/share/Trash", "/share/Trash/files", "/share/Trash/info"})
        ASSERT_EQ(::mkdir((top + d).c_str(), 0700), 0);
    }
    std::ofstream(top + "/item") << "data";
    c.spoil(top);

    EXPECT_EQ(platform::moveToTrash(top + "/item").kind, c.kind);
    bool asked = false;
    const platform::RemoveReport r = platform::removeItems({top + "/item"}, [&](auto&) {
      asked = true;
      return false;  // No: kept
    });
    EXPECT_EQ(asked, c.kind == platform::TrashOutcome::NoTrash) << "only a volume without a trash asks";
    if (c.kind == platform::TrashOutcome::Failed) {
      EXPECT_EQ(r.failures, std::vector<std::string>{std::string("item: ") + c.reason});
    }
    EXPECT_EQ(testsupport::readFile(top + "/item"), "data") << "nothing deleted";
    EXPECT_TRUE(namesIn(top + "/share/Trash/files").empty());
    EXPECT_TRUE(namesIn(top + "/share/Trash/info").empty()) << "no record without its item";
  }
}
