// The engine's figures through its C interface, compared with an independent
// walk, with du, and with hand-counted answers for the boundary cases.
#include <algorithm>
#include <array>
#include <map>
#include <vector>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "reference_walk.h"
#include "temp_tree.h"
#include "tlr32/tlr32.h"

using testsupport::TempTree;

namespace {

void resetOptions() {
  TlrExtInit("");
  for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks"})
    ASSERT_TRUE(TlrSetOption(name, "0") & 0xFF) << name;
}

uint64_t allocationUnit(const std::string& folder) {
  struct statvfs sv;
  EXPECT_EQ(statvfs(folder.c_str(), &sv), 0);
  return sv.f_frsize ? sv.f_frsize : sv.f_bsize;
}

std::string shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p) pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// The awkward tree every figure test walks.
class AwkwardTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    t = new TempTree;
    t->dir("a");
    t->file("a/small.txt", 100);
    t->file("a/exact4k", 4096);
    t->file("a/empty", 0);
    t->sparse("a/sparse.img", 64ull << 20);
    t->symlink("/nowhere/at/all", "a/dangling");
    t->symlink("loop2", "a/loop1");
    t->symlink("loop1", "a/loop2");
    t->symlink("..", "a/up");
    t->fifo("a/pipe");
    t->file("a/hard1", 5000);
    t->hardlink("a/hard1", "a/hard2");
    t->file("a/bad\xff\xfe name", 10);
    t->file("a/new\nline", 20);
    t->file("a/back\\slash", 30);
    t->dir("a/emptydir");
    t->dir("a/onlydirs");
    t->dir("a/onlydirs/x");
    t->dir("a/onlydirs/y");
    t->dir("a/onlydirs/y/z");
    t->dir("b");
    t->hardlink("a/hard1", "b/hard3");
    t->file("b/newest", 7, 1700000000);
    t->setMtime("b/newest", 1700000000, 500000000);
    t->dir("deep");
    std::string leaf = t->deepChain("deep", PATH_MAX + 600, "component_name");
    deepLeaf = leaf;
    t->fileAt(leaf + "/far.bin", 12345);
    t->fileAt(leaf + "/pair1", 777);
    t->hardlink(leaf + "/pair1", leaf + "/pair2");
    t->dir("locked", 0755);
    t->file("locked/inside", 999);
    t->dir("locked/sub");
    ::chmod(t->path("locked").c_str(), 0);
    // Folder dates older than any file, so the newest date comes from inside.
    for (const char* d : {"a/emptydir", "a/onlydirs/x", "a/onlydirs/y/z", "a/onlydirs/y", "a/onlydirs", "a", "b"})
      t->setMtime(d, 1500000000);
  }
  static void TearDownTestSuite() {
    delete t;
    t = nullptr;
  }
  void SetUp() override { resetOptions(); }

  static TempTree* t;
  static std::string deepLeaf;
};
TempTree* AwkwardTree::t = nullptr;
std::string AwkwardTree::deepLeaf;

struct Got {
  int32_t rc, dirs, files;
  double fileBytes, diskBytes;
};

Got figures(int32_t rc) {
  Got g{};
  g.rc = rc;
  g.dirs = TlrGetStatVal("Directories");
  g.files = TlrGetStatVal("Files");
  g.fileBytes = TlrGetStatValF("FileBytes");
  g.diskBytes = TlrGetStatValF("DiskBytes");
  return g;
}

// An entry looked up in its folder, open as fd.
Got calcIn(int fd, const std::string& path) { return figures(TlrCalcUsageIn(fd, path.c_str())); }

Got calc(const std::string& path) { return figures(TlrCalcUsage(path.c_str(), nullptr)); }

}  // namespace

TEST_F(AwkwardTree, EveryPathMatchesAnIndependentWalkInBothDiskModes) {
  const uint64_t cluster = allocationUnit(t->root());
  for (bool allocated : {false, true}) {
    ASSERT_TRUE(TlrSetOption("AllocatedBlocks", allocated ? "1" : "0") & 0xFF);
    for (const char* rel : {"", "a", "b", "deep", "locked", "a/emptydir", "a/onlydirs", "a/small.txt",
                            "a/sparse.img", "a/dangling", "a/loop1", "a/up", "a/pipe", "a/hard1",
                            "a/bad\xff\xfe name", "a/new\nline", "a/back\\slash", "a/empty"}) {
      SCOPED_TRACE(std::string("path '") + rel + "' allocated " + (allocated ? "yes" : "no"));
      ReferenceFigures want = referenceWalk(t->path(rel), cluster, allocated);
      Got got = calc(t->path(rel));
      ASSERT_EQ(got.rc, 0);
      EXPECT_EQ(got.dirs, want.dirs);
      EXPECT_EQ(got.files, want.files);
      EXPECT_EQ(got.fileBytes, static_cast<double>(want.fileBytes));
      EXPECT_EQ(got.diskBytes, static_cast<double>(want.diskBytes));
      uint64_t ft = 0;
      TlrGetFileTime(&ft);
      EXPECT_EQ(ft, (uint64_t(want.newestSec) + 11644473600ULL) * 10000000ULL + uint64_t(want.newestNsec) / 100);
    }
  }
}

TEST_F(AwkwardTree, AnEntrySizedInItsOpenFolderGivesWhatItsFullPathGives) {
  struct Entry {
    const char* folder;
    const char* name;
  } entries[] = {{"", "a"},          {"", "b"},          {"", "deep"},          {"", "locked"},
                 {"a", "small.txt"}, {"a", "sparse.img"}, {"a", "dangling"},    {"a", "loop1"},
                 {"a", "up"},        {"a", "pipe"},       {"a", "hard1"},       {"a", "bad\xff\xfe name"},
                 {"a", "new\nline"}, {"a", "emptydir"},   {"a", "onlydirs"},    {"b", "newest"}};
  for (const char* pattern : {"", "*.txt"}) {
    for (bool allocated : {false, true}) {
      ASSERT_TRUE(TlrSetOption("AllocatedBlocks", allocated ? "1" : "0") & 0xFF);
      ASSERT_TRUE(TlrSetOption("FileSpec", *pattern ? pattern : "*.*") & 0xFF);
      ASSERT_TRUE(TlrSetOption("FileSpecOn", *pattern ? "1" : "0") & 0xFF);
      for (const Entry& e : entries) {
        const std::string path = t->path(e.folder) + (*e.folder ? "/" : "") + e.name;
        SCOPED_TRACE(path + (allocated ? ", allocated" : "") + ", files " + pattern);
        const Got whole = calc(path);
        uint64_t wholeTime = 0;
        TlrGetFileTime(&wholeTime);
        const int fd = ::open(t->path(e.folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const Got in = calcIn(fd, path);
        uint64_t inTime = 0;
        TlrGetFileTime(&inTime);
        const int32_t unreadable = TlrGetStatVal("UnreadableDirectories");
        ::close(fd);
        EXPECT_EQ(in.rc, whole.rc);
        EXPECT_EQ(in.dirs, whole.dirs);
        EXPECT_EQ(in.files, whole.files);
        EXPECT_EQ(in.fileBytes, whole.fileBytes);
        EXPECT_EQ(in.diskBytes, whole.diskBytes);
        EXPECT_EQ(inTime, wholeTime);
        calc(path);
        EXPECT_EQ(unreadable, TlrGetStatVal("UnreadableDirectories"));
      }
    }
  }
  // An entry gone from the folder, and no folder at all, fail as a missing path does.
  const int fd = ::open(t->path("a").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_EQ(TlrCalcUsageIn(fd, t->path("a/not-there").c_str()), TLR_ERR_NO_PATH);
  EXPECT_EQ(TlrGetStatVal("Files"), 0);
  ::close(fd);
  EXPECT_EQ(TlrCalcUsageIn(-1, t->path("a/small.txt").c_str()), TLR_ERR_NO_PATH);
  EXPECT_EQ(TlrGetStatVal("Files"), 0);
}

TEST_F(AwkwardTree, HandCountedFiguresOfTheOddCases) {
  const double cluster = static_cast<double>(allocationUnit(t->root()));
  struct Case {
    const char* rel;
    int32_t dirs, files;
    double fileBytes, diskBytes;  // diskBytes < 0: -n clusters
  };
  const Case cases[] = {
      {"a/emptydir", 0, 0, 0, 0},
      {"a/onlydirs", 3, 0, 0, 0},           // x, y, y/z: the folder itself is not counted
      {"a/empty", 0, 1, 0, 0},
      {"a/small.txt", 0, 1, 100, -1},
      {"a/exact4k", 0, 1, 4096, 4096 > cluster ? -(4096 / cluster) : -1},
      {"a/dangling", 0, 1, 0, 0},           // links count, never followed
      {"a/up", 0, 1, 0, 0},
      {"a/pipe", 0, 1, 0, 0},
      {"a/sparse.img", 0, 1, 64.0 * 1024 * 1024, 64.0 * 1024 * 1024},
      {"b", 0, 2, 5007, -3},                // hard3 is the first of its links met here
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rel);
    Got g = calc(t->path(c.rel));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.dirs, c.dirs);
    EXPECT_EQ(g.files, c.files);
    EXPECT_EQ(g.fileBytes, c.fileBytes);
    EXPECT_EQ(g.diskBytes, c.diskBytes < 0 ? -c.diskBytes * cluster : c.diskBytes);
  }
  // In folder a, three names share one inode with b/hard3: two of them here.
  Got a = calc(t->path("a"));
  Got hard = calc(t->path("a/hard1"));
  EXPECT_EQ(hard.fileBytes, 5000);
  Got root = calc(t->path(""));
  EXPECT_EQ(root.fileBytes, a.fileBytes + 7 + 12345 + 777 + 999);  // hard3 not again
}

TEST_F(AwkwardTree, AllocatedModeAgreesWithDu) {
  ASSERT_TRUE(TlrSetOption("AllocatedBlocks", "1") & 0xFF);
  for (const char* rel : {"", "a", "deep"}) {
    SCOPED_TRACE(rel);
    Got g = calc(t->path(rel));
    std::string du = shell("du -s -B1 '" + t->path(rel) + "' | cut -f1");
    EXPECT_EQ(g.diskBytes, std::stod(du));
  }
}

TEST_F(AwkwardTree, AFolderPastPathMaxIsSizedByItsFullPath) {
  const std::string leaf = t->path(deepLeaf);
  ASSERT_GT(leaf.size(), static_cast<size_t>(PATH_MAX));
  Got g = calc(leaf);
  ASSERT_EQ(g.rc, 0);
  EXPECT_EQ(g.files, 3);  // far.bin and both names of the pair
  EXPECT_EQ(g.fileBytes, 12345 + 777);  // the pair's bytes once
  Got f = calc(leaf + "/far.bin");
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.files, 1);
  EXPECT_EQ(f.fileBytes, 12345);
}

TEST_F(AwkwardTree, AnUnreadableFolderIsCountedAndSkipped) {
  // Root reads everything, so the engine runs as an unprivileged user here.
  int status = 0;
  std::string out = testsupport::runUnprivileged({TLR32_DU, t->root()}, &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  Got all = calc(t->root());
  // Columns: disk bytes, file bytes, directories, files, path.
  double disk = 0, bytes = 0;
  int dirs = 0, files = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%lf\t%lf\t%d\t%d", &disk, &bytes, &dirs, &files), 4) << out;
  EXPECT_EQ(dirs, all.dirs - 1);  // "locked" counts, its "sub" cannot be seen
  EXPECT_EQ(files, all.files - 1);
  EXPECT_EQ(bytes, all.fileBytes - 999);

  // The unreadable folder itself, given directly: there, one folder whose
  // contents are unknown (a host shows it as a folder, not as nothing).
  out = testsupport::runUnprivileged({TLR32_DU, t->path("locked")}, &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_EQ(out.substr(0, out.find('\t', out.find('\t', out.find('\t', out.find('\t') + 1) + 1) + 1)),
            "0\t0\t1\t0");
}

TEST(EngineDates, FilesBefore1970KeepTheirDateAndAFolderTakesItsNewest) {
  resetOptions();
  TempTree t;
  constexpr int64_t k1950 = -618364800;  // 1950-06-15 00:00:00 UTC
  constexpr int64_t k1960 = -302918400;  // 1960-05-27
  t.dir("old");
  t.file("old/a", 10, k1950);
  t.file("old/b", 10, k1960);
  t.setMtime("old", k1950);
  t.file("lone", 1, k1950);
  t.dir("young");
  t.file("young/c", 1, 1600000000);
  t.setMtime("young", k1950);
  auto fileTimeOf = [](const std::string& path) {
    EXPECT_EQ(TlrCalcUsage(path.c_str(), nullptr), 0) << path;
    uint64_t ft = 0;
    TlrGetFileTime(&ft);
    return ft;
  };
  auto ft = [](int64_t secs) { return uint64_t(secs + 11644473600LL) * 10000000ULL; };
  EXPECT_EQ(fileTimeOf(t.path("lone")), ft(k1950));
  EXPECT_EQ(fileTimeOf(t.path("old/a")), ft(k1950));
  EXPECT_EQ(fileTimeOf(t.path("old")), ft(k1960)) << "the newest inside, though all are before 1970";
  EXPECT_EQ(fileTimeOf(t.path("young")), ft(1600000000));
}

TEST(EngineFailures, MissingPathsFailAndUnknownKeysAreZero) {
  resetOptions();
  TempTree t;
  t.file("f", 10);
  struct Case {
    std::string path;
    int32_t rc;
  };
  const Case cases[] = {{"", -1}, {t.path("missing"), -1}, {t.path("missing/deeper"), -1}, {t.path("f/x"), -1},
                        {t.path("f"), 0}};
  for (const Case& c : cases) EXPECT_EQ(TlrCalcUsage(c.path.c_str(), nullptr), c.rc) << c.path;
  EXPECT_EQ(TlrCalcUsage(nullptr, nullptr), -1);
  EXPECT_EQ(TlrGetStatVal("NoSuchKey"), 0);
  EXPECT_EQ(TlrGetStatValF("NoSuchKey"), 0.0);
  EXPECT_EQ(TlrGetStatVal(nullptr), 0);
  EXPECT_EQ(TlrGetStatValF("Files"), 0.0);  // an integer key asked as a float
}

TEST(EngineVolume, VolumeFiguresDescribeThePathsVolume) {
  resetOptions();
  TempTree t;
  t.file("f", 10);
  ASSERT_EQ(TlrCalcUsage(t.path("f").c_str(), nullptr), 0);
  struct statvfs sv;
  ASSERT_EQ(statvfs(t.root().c_str(), &sv), 0);
  const uint64_t unit = sv.f_frsize;
  EXPECT_EQ(TlrGetStatVal("ClusterSize"), static_cast<int32_t>(unit));
  const int64_t factor = TlrGetStatVal("SizeFactor");
  ASSERT_GT(factor, 0);
  EXPECT_EQ(factor & (factor - 1), 0) << "a power of two";
  const uint64_t total = uint64_t(sv.f_blocks) * unit;
  const int64_t diskTotal = TlrGetStatVal("DiskTotal");
  EXPECT_GT(diskTotal, 0);
  EXPECT_LE(uint64_t(diskTotal) * factor, total);
  EXPECT_GT(uint64_t(diskTotal + 1) * factor, total);
  // The smallest such factor: half of it would not fit in 32 bits.
  if (factor > 1) EXPECT_GT(total / (factor / 2), 0x7FFFFFFFULL);
  const int64_t diskFree = TlrGetStatVal("DiskFree");
  EXPECT_GE(diskFree, 0);
  EXPECT_LE(diskFree, diskTotal);
  // findmnt answers from the same mount table; in a chroot it may not list
  // the folder's mount, and the engine then names the statfs type.
  const std::string mounted = shell("findmnt -n -o FSTYPE --target '" + t.root() + "' 2>/dev/null");
  if (!mounted.empty())
    EXPECT_EQ(std::string(TlrGetFileSysName()), mounted);
  else
    EXPECT_FALSE(std::string(TlrGetFileSysName()).empty());
}

TEST(EngineVolume, PseudoFileSystemsAreNotWalked) {
  resetOptions();
  ASSERT_EQ(TlrCalcUsage("/proc", nullptr), 0);
  EXPECT_EQ(TlrGetStatVal("Files"), 0);
  EXPECT_EQ(TlrGetStatValF("FileBytes"), 0.0);
  EXPECT_EQ(std::string(TlrGetFileSysName()), "proc");
}

TEST(EngineLargeFolder, AFolderOfManyFilesIsSizedExactlyWhileItsFilesAreShared) {
  // Thousands of names fill several directory reads, which idle workers share.
  resetOptions();
  TempTree t;
  t.dir("big");
  for (int i = 0; i < 6000; ++i) t.file("big/f" + std::to_string(i), static_cast<uint64_t>(i % 9000));
  for (int i = 0; i < 300; ++i) t.hardlink("big/f" + std::to_string(i), "big/link" + std::to_string(i));
  for (int i = 0; i < 40; ++i) t.dir("big/sub" + std::to_string(i));
  const uint64_t cluster = allocationUnit(t.root());
  for (int round = 0; round < 5; ++round) {
    const ReferenceFigures want = referenceWalk(t.path("big"), cluster, false);
    Got got = calc(t.path("big"));
    ASSERT_EQ(got.rc, 0);
    EXPECT_EQ(got.files, want.files);
    EXPECT_EQ(got.dirs, want.dirs);
    EXPECT_EQ(got.fileBytes, static_cast<double>(want.fileBytes));
    EXPECT_EQ(got.diskBytes, static_cast<double>(want.diskBytes));
  }
}

namespace {

struct EntrySums {
  double diskBytes = 0, fileBytes = 0;
  int32_t files = 0;
  std::vector<std::pair<std::string, Got>> rows;
};

// Every entry of the folder sized as a refresh sizes them, in the order du
// was given them (by name), inside a batch or not.
EntrySums sizeEntries(const std::string& folder, bool batch) {
  EntrySums sums;
  const std::string names = shell("find '" + folder + "' -mindepth 1 -maxdepth 1 -printf '%f\\n' | sort");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  if (batch) EXPECT_TRUE(TlrBeginBatch() & 0xFF);
  size_t from = 0;
  while (from < names.size()) {
    const size_t to = std::min(names.find('\n', from), names.size());
    const std::string name = names.substr(from, to - from);
    from = to + 1;
    const std::string path = folder + "/" + name;
    const Got g = calcIn(fd, path);
    EXPECT_EQ(g.rc, 0) << path;
    sums.diskBytes += g.diskBytes;
    sums.fileBytes += g.fileBytes;
    sums.files += g.files;
    sums.rows.emplace_back(name, g);
  }
  if (batch) EXPECT_TRUE(TlrEndBatch() & 0xFF);
  ::close(fd);
  return sums;
}

}  // namespace

TEST(HardLinks, ARefreshBatchCountsAFileOnceAmongItsEntriesAsDuDoes) {
  // A file with several names (hard links) within one entry, across entries,
  // and as an entry itself; and a folder of snapshots whose later ones share
  // their files with the first (rsync --link-dest). Sized entry by entry in
  // one batch, as the window's refresh sizes them, the sums are du's figures
  // for the entries together, in both disk modes; each computation on its
  // own counts a shared file in every entry that reaches it.
  resetOptions();
  TempTree t;
  const std::vector<std::string> folders = testsupport::buildHardLinkFolders(t, "f");
  // Files expected of entries: every name is a file.
  const std::map<std::string, int32_t> entryFiles = {{"hl1", 1}, {"hl2", 1}, {"other", 1}, {"a", 1}, {"b", 2},
                                                     {"z", 1},   {"s1", 5},  {"s2", 5},    {"s3", 6}};
  for (const std::string& rel : folders) {
    const std::string folder = t.path(rel);
    for (bool allocated : {false, true}) {
      SCOPED_TRACE(rel + (allocated ? ", allocated blocks" : ", clusters"));
      ASSERT_TRUE(TlrSetOption("AllocatedBlocks", allocated ? "1" : "0") & 0xFF);
      const EntrySums batch = sizeEntries(folder, true);
      if (allocated) {
        EXPECT_EQ(batch.diskBytes, testsupport::duOfEntries(folder, false));
      }
      EXPECT_EQ(batch.fileBytes, testsupport::duOfEntries(folder, true));
      // The folder computed as a whole counts the same.
      const Got whole = calc(folder);
      EXPECT_EQ(batch.fileBytes, whole.fileBytes);
      if (!allocated) {
        EXPECT_EQ(batch.diskBytes, whole.diskBytes);
      }
      EXPECT_EQ(batch.files, whole.files);
      for (const auto& [name, got] : batch.rows) EXPECT_EQ(got.files, entryFiles.at(name)) << name;
      // Each computation on its own: shared files counted in every entry.
      const EntrySums apart = sizeEntries(folder, false);
      EXPECT_GT(apart.fileBytes, batch.fileBytes);
      EXPECT_EQ(apart.files, batch.files);
    }
  }
  // A batch ended is over: the next computation counts on its own again.
  ASSERT_TRUE(TlrBeginBatch() & 0xFF);
  EXPECT_EQ(calc(t.path("f/side/hl1")).fileBytes, 11);
  EXPECT_EQ(calc(t.path("f/side/hl2")).fileBytes, 0);
  EXPECT_EQ(calc(t.path("f/side/hl2")).files, 1);
  ASSERT_TRUE(TlrEndBatch() & 0xFF);
  EXPECT_EQ(calc(t.path("f/side/hl2")).fileBytes, 11);
}
