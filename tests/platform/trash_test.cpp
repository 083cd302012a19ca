// The trash layer on real files: what lands where, the .trashinfo that lets
// the desktop put an item back, links moved as links, and deletion for good
// only after a yes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <cstring>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/trash.h"
#include "temp_tree.h"

using testsupport::TempTree;

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
