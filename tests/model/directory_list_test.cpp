// Listing the entries of one folder: which entries appear, their find
// records, and names that are bytes rather than text.
#include <algorithm>
#include <climits>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/directory_list.h"
#include "platform/fs.h"
#include "temp_tree.h"

using testsupport::TempTree;

namespace {

std::vector<std::string> names(const TDirectoryList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Items(i)->GetName());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(ReadDirectory, WhichPathsListAndWhatTheyHold) {
  TempTree t;
  t.dir("empty");
  t.dir("full");
  t.file("full/a", 1);
  t.dir("full/sub");
  t.file("plain", 3);
  t.symlink("full", "link_to_full");
  struct Case {
    std::string path;
    bool ok;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"", false, {}},
      {t.path("missing"), false, {}},
      {t.path("plain"), false, {}},                   // a file is not a folder
      {t.path("empty"), true, {".."}},                // only the way up
      {t.path("empty/"), true, {".."}},
      {t.path("full"), true, {"..", "a", "sub"}},
      {t.path("link_to_full"), true, {"..", "a", "sub"}},  // a link to a folder names a folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TDirectoryList list;
    list.Add(std::make_unique<TDirectoryItem>(TWin32FindData{}, "stale"));
    EXPECT_EQ(list.ReadDirectory(c.path), c.ok);
    EXPECT_EQ(names(list), c.entries);
  }
}

TEST(ReadDirectory, TheRootHasNoWayUpAndTakesNoSecondSeparator) {
  TDirectoryList list;
  ASSERT_TRUE(list.ReadDirectory("/"));
  ASSERT_GT(list.Count(), 0);
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_NE(list.Items(i)->GetName(), "..");
    EXPECT_EQ(list.Items(i)->FullPath, "/" + list.Items(i)->GetName());
  }
}

TEST(ReadDirectory, FullPathsAreTheFolderPathAndTheName) {
  TempTree t;
  t.dir("f");
  t.file("f/x", 1);
  for (const std::string& given : {t.path("f"), t.path("f") + "/"}) {
    TDirectoryList list;
    ASSERT_TRUE(list.ReadDirectory(given));
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_EQ(list.Items(i)->FullPath, t.path("f") + "/" + list.Items(i)->GetName());
  }
}

TEST(ReadDirectory, FindRecordsCarryAttributesTimesAndSizes) {
  TempTree t;
  t.dir("d");
  t.dir("d/sub");
  t.file("d/file", 1234, 1600000000);
  t.sparse("d/big", (5ull << 32) + 7);  // needs both size halves
  t.symlink("sub", "d/link");
  t.file("d/.hidden", 1);
  TDirectoryList list;
  ASSERT_TRUE(list.ReadDirectory(t.path("d")));
  struct Want {
    const char* name;
    uint32_t attrs;
    uint64_t size;
  };
  const Want wants[] = {{"sub", 0x10, 0}, {"file", 0x80, 1234}, {"big", 0x80, (5ull << 32) + 7},
                        {"link", 0x400, 0}, {".hidden", 0x02, 1}, {"..", 0x10, 0}};
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    const TDirectoryItem* item = nullptr;
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i)->GetName() == w.name) item = list.Items(i);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->FindData().dwFileAttributes, w.attrs);
    EXPECT_EQ(item->Size(), w.size);
    EXPECT_EQ(item->IsDirectory(), (w.attrs & 0x10) != 0);
    EXPECT_EQ(item->GetShortName(), "");
  }
  for (int i = 0; i < list.Count(); ++i)
    if (list.Items(i)->GetName() == "file")
      EXPECT_EQ(list.Items(i)->FindData().ftLastWriteTime, (1600000000ull + 11644473600ull) * 10000000ull);
}

TEST(ReadDirectory, ByteNamesSurviveTheRoundTripToAFullPath) {
  TempTree t;
  t.dir("d");
  const std::vector<std::string> odd = {"bad\xff\xfe", "new\nline", "back\\slash", "-dash", " spaced ",
                                        "caf\xc3\xa9", std::string(255, 'n')};
  for (const auto& n : odd) t.file("d/" + n, n.size());
  TDirectoryList list;
  ASSERT_TRUE(list.ReadDirectory(t.path("d")));
  std::vector<std::string> want = odd;
  want.push_back("..");
  std::sort(want.begin(), want.end());
  EXPECT_EQ(names(list), want);
  for (int i = 0; i < list.Count(); ++i) {
    const TDirectoryItem* item = list.Items(i);
    if (item->GetName() == "..") continue;
    struct stat st;
    ASSERT_TRUE(platform::statPath(item->FullPath, st, false)) << item->FullPath;
    EXPECT_EQ(static_cast<size_t>(st.st_size), item->GetName().size());
    EXPECT_EQ(item->FullPath.substr(item->FullPath.rfind('/') + 1), item->GetName());
  }
}

TEST(ReadDirectory, AFolderPastPathMaxIsListed) {
  TempTree t;
  t.dir("deep");
  std::string leaf = t.deepChain("deep", PATH_MAX + 300, "long_component_name");
  t.fileAt(leaf + "/end.txt", 5);
  TDirectoryList list;
  ASSERT_TRUE(list.ReadDirectory(t.path(leaf)));
  EXPECT_EQ(names(list), (std::vector<std::string>{"..", "end.txt"}));
  EXPECT_EQ(list.Items(0)->FullPath.size(), t.path(leaf).size() + 1 + list.Items(0)->GetName().size());
}

TEST(ReadDirectory, AnUnreadableFolderIsThereButEmpty) {
  TempTree t;
  t.dir("locked");
  t.file("locked/secret", 1);
  ::chmod(t.path("locked").c_str(), 0);
  // Root reads everything: look as an unprivileged user, in a child process.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    TDirectoryList list;
    bool ok = list.ReadDirectory(t.path("locked"));
    _exit(ok ? list.Count() : 99);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "true, with no entries";
}

TEST(DirectoryList, TakingAnEntryHandsItOver) {
  TDirectoryList list;
  list.Add(std::make_unique<TDirectoryItem>(TWin32FindData{}, "/x/a"));
  auto item = list.Take(0);
  EXPECT_EQ(item->FullPath, "/x/a");
  EXPECT_EQ(list.Items(0), nullptr);
  EXPECT_EQ(list.Count(), 1);
}

TEST(ReadDirectory, TellsTheCountSoFarAsTheEntriesAreReadAndOnceAtTheEnd) {
  // Whoever works on the entries while the rest are read is told a count
  // whose entries are all there, growing, ending at the whole listing.
  TempTree t;
  t.dir("few");
  t.file("few/a", 1);
  t.dir("many");
  const int manyFiles = 2 * TDirectoryList::kListedAtOnce + 10;
  for (int i = 0; i < manyFiles; ++i) t.file("many/f" + std::to_string(i), 0);
  t.dir("locked", 0);
  const struct {
    const char* what;
    std::string path;
    bool ok;
    size_t leastCalls;
  } cases[] = {
      {"a few entries: told once, at the end", t.path("few"), true, 1},
      {"hundreds: told along the way", t.path("many"), true, 3},
      {"a folder that cannot be read: told it has nothing", t.path("locked"), true, 1},
      {"no folder: never told", t.path("none"), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TDirectoryList list;
    std::vector<int> told;
    const bool ok = list.ReadDirectory(c.path, [&](int count) {
      ASSERT_LE(count, list.Count());
      for (int i = 0; i < count; ++i) ASSERT_NE(list.Items(i), nullptr);
      told.push_back(count);
    });
    EXPECT_EQ(ok, c.ok);
    EXPECT_GE(told.size(), c.leastCalls);
    if (c.leastCalls == 0) {
      EXPECT_TRUE(told.empty());
      continue;
    }
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), list.Count()) << "the last word is the whole listing";
  }
}
