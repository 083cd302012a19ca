// A folder's rows read back from saved scans: the engine's own JSON report,
// ncdu's and gdu's exports of the same tree give the rows the engine computes
// live (as the window does, one batch in the folder's order); damaged and
// hostile files end with a clear error, never a crash or an overflow.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "scan/scan_read_ahead.h"
#include "scan/scan_reader.h"
#include "temp_tree.h"
#include "tlr32/tlr32.h"

using scan::BaselineRow;
using scan::DiskCounting;
using scan::ReadSettings;
using scan::ScanError;
using scan::ScanResult;
using testsupport::TempTree;

namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

int runQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The rows the window computes: every entry in the folder's own order, in one
// batch, each sized in the open folder.
std::vector<BaselineRow> liveRows(const std::string& folder) {
  std::vector<BaselineRow> rows;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return rows;
  const int fd = ::dirfd(d);
  TlrBeginBatch();
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    EXPECT_EQ(TlrCalcUsageIn(fd, path.c_str()), 0) << path;
    struct stat st;
    ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    BaselineRow r;
    r.name = name;
    r.folder = S_ISDIR(st.st_mode);
    r.folders = static_cast<uint64_t>(TlrGetStatVal("Directories"));
    r.files = static_cast<uint64_t>(TlrGetStatVal("Files"));
    r.fileBytes = static_cast<uint64_t>(TlrGetStatValF("FileBytes"));
    r.diskBytes = static_cast<uint64_t>(TlrGetStatValF("DiskBytes"));
    uint64_t ft = 0;
    TlrGetFileTime(&ft);
    r.modified = ft ? static_cast<int64_t>(ft / 10000000ULL) - 11644473600LL : 0;
    rows.push_back(r);
  }
  TlrEndBatch();
  ::closedir(d);
  return rows;
}

std::string describe(const BaselineRow& r) {
  return r.name + (r.folder ? "/" : "") + " disk " + std::to_string(r.diskBytes) + " file " +
         std::to_string(r.fileBytes) + " folders " + std::to_string(r.folders) + " files " + std::to_string(r.files) +
         " date " + std::to_string(r.modified);
}

// Rows by name, as the change column matches them.
std::map<std::string, std::string> byName(const std::vector<BaselineRow>& rows, bool dates) {
  std::map<std::string, std::string> out;
  for (BaselineRow r : rows) {
    if (!dates) r.modified = 0;
    out[r.name] = describe(r);
  }
  return out;
}

ReadSettings settingsFor(bool allocated, uint64_t cluster) {
  ReadSettings s;
  s.counting = allocated ? DiskCounting::AllocatedBlocks : DiskCounting::ClusterRounded;
  s.clusterSize = cluster;
  return s;
}

// A tree with what a disk holds: files of many sizes, a sparse one, links,
// a pipe, empty and nested folders, raw-byte names, files with several names
// within an entry and across entries, folders' dates older than their files.
class SavedScans : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    t = new TempTree;
    out = new TempTree;
    t->dir("tree");
    t->dir("tree/a");
    t->file("tree/a/small.txt", 100);
    t->file("tree/a/exact4k", 4096);
    t->file("tree/a/empty", 0);
    t->sparse("tree/a/sparse.img", 8ull << 20);
    t->symlink("/nowhere", "tree/a/dangling");
    t->symlink("..", "tree/a/up");
    t->fifo("tree/a/pipe");
    t->file("tree/a/bad\xff\xfe name", 10);
    t->file("tree/a/new\nline \"quoted\" \\", 20);
    t->dir("tree/a/emptydir");
    t->dir("tree/a/deeper");
    t->dir("tree/a/deeper/still");
    t->file("tree/a/deeper/still/far.bin", 123457, 1700000000);
    t->file("tree/top.bin", 99999);
    t->symlink("a", "tree/link-to-a");
    testsupport::buildHardLinkFolders(*t, "tree/links");
    for (const char* d : {"tree/a/emptydir", "tree/a/deeper/still", "tree/a/deeper", "tree/a", "tree/links/side",
                          "tree/links/across/b/deeper", "tree/links/across/b", "tree/links/across/a",
                          "tree/links/across", "tree/links/snapshots/s1", "tree/links/snapshots/s2",
                          "tree/links/snapshots/s3", "tree/links/snapshots", "tree/links"})
      t->setMtime(d, 1500000000);
    TlrExtInit("");
    for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks"}) TlrSetOption(name, "0");
  }
  static void TearDownTestSuite() {
    delete t;
    delete out;
  }

  static std::string tree() { return t->path("tree"); }
  static uint64_t cluster() {
    struct statvfs sv;
    ::statvfs(tree().c_str(), &sv);
    return sv.f_frsize ? sv.f_frsize : sv.f_bsize;
  }

  static TempTree* t;
  static TempTree* out;  // the scans, outside the tree
};
TempTree* SavedScans::t = nullptr;
TempTree* SavedScans::out = nullptr;

TEST_F(SavedScans, EveryExportOfATreeGivesTheRowsTheEngineComputesLive) {
  enum class Writer { Engine, Ncdu, Gdu };
  struct Case {
    Writer writer;
    bool allocated;
    const char* folder;  // below the tree
    bool dates;          // the writer keeps every date the engine sees
  };
  // gdu writes no blocks for folders, so only the rounded file sizes agree;
  // which name of a file with several gets its bytes depends on its threads,
  // so only folders that hold every name of such a file agree; and it writes
  // names that are not UTF-8 with their bytes replaced (not in "a/deeper").
  const Case cases[] = {
      {Writer::Engine, false, "", true},          {Writer::Engine, true, "", true},
      {Writer::Engine, false, "a", true},         {Writer::Engine, true, "a/deeper", true},
      {Writer::Engine, false, "links/across", true}, {Writer::Engine, true, "links/snapshots", true},
      {Writer::Engine, false, "links/side", true},  {Writer::Engine, true, "links/across/b", true},
      {Writer::Ncdu, false, "", true},            {Writer::Ncdu, true, "", true},
      {Writer::Ncdu, true, "a", true},            {Writer::Ncdu, false, "links/across", true},
      {Writer::Ncdu, true, "links/snapshots", true},
      {Writer::Gdu, false, "", true},             {Writer::Gdu, false, "a/deeper", true},
      {Writer::Gdu, false, "links", true},
  };
  for (const Case& c : cases) {
    const char* writerName = c.writer == Writer::Engine ? "engine" : c.writer == Writer::Ncdu ? "ncdu" : "gdu";
    SCOPED_TRACE(std::string(writerName) + (c.allocated ? " allocated " : " rounded ") + c.folder);
    if (c.writer != Writer::Engine && !haveProgram(writerName)) {
      ADD_FAILURE() << writerName << " is not installed (a test dependency)";
      continue;
    }
    ASSERT_TRUE(TlrSetOption("AllocatedBlocks", c.allocated ? "1" : "0") & 0xFF);
    const std::string scanFile = out->path(std::string(writerName) + ".json");
    switch (c.writer) {
      case Writer::Engine: ASSERT_EQ(TlrCalcUsage(tree().c_str(), scanFile.c_str()), 0); break;
      case Writer::Ncdu: ASSERT_EQ(runQuiet("ncdu -0 -e -o " + quoted(scanFile) + " " + quoted(tree())), 0); break;
      case Writer::Gdu: ASSERT_EQ(runQuiet("gdu -n -o " + quoted(scanFile) + " " + quoted(tree())), 0); break;
    }
    const std::string folder = *c.folder ? tree() + "/" + c.folder : tree();
    const std::vector<BaselineRow> live = liveRows(folder);
    const ScanResult read = scan::readScan(scanFile, folder, settingsFor(c.allocated, cluster()));
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(byName(read.baseline.rows, c.dates), byName(live, c.dates));
    // The folder's own figures: its entries' and, counting blocks, its own.
    BaselineRow sum;
    for (const BaselineRow& r : live) {
      sum.diskBytes += r.diskBytes;
      sum.files += r.files;
      sum.folders += r.folders + (r.folder ? 1 : 0);
    }
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    if (c.allocated) sum.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
    EXPECT_EQ(read.folder.diskBytes, sum.diskBytes);
    EXPECT_EQ(read.folder.files, sum.files);
    EXPECT_EQ(read.folder.folders, sum.folders);
    if (c.writer == Writer::Engine) {
      EXPECT_EQ(read.program, "tallorin");
    }
    EXPECT_GT(read.timestamp, 0);
  }
  TlrSetOption("AllocatedBlocks", "0");
}

TEST_F(SavedScans, TheFolderIsFoundByItsPathHoweverItIsSpelled) {
  t->symlink(tree() + "/a", "link-into-tree");
  ASSERT_EQ(TlrCalcUsage(tree().c_str(), out->path("paths.json").c_str()), 0);
  struct Case {
    std::string folder;
    ScanError error;
    size_t rows;  // when found
  };
  const Case cases[] = {
      {tree(), ScanError::None, 4},
      {tree() + "/", ScanError::None, 4},
      {"/" + tree() + "//", ScanError::None, 4},
      {tree() + "/./a/", ScanError::None, 11},
      {t->path("link-into-tree"), ScanError::None, 11},  // through a link: its resolved path
      {tree() + "/a/deeper/still", ScanError::None, 1},
      {tree() + "/a/emptydir", ScanError::None, 0},
      {tree() + "/a/small.txt", ScanError::FolderMissing, 0},  // a file, not a folder
      {tree() + "/link-to-a", ScanError::None, 11},            // a link in the scan: resolved
      {tree() + "/A", ScanError::FolderMissing, 0},            // names match exactly
      {tree() + "/a/deeper/still/more", ScanError::FolderMissing, 0},
      {t->root(), ScanError::FolderMissing, 0},  // above the scan's root
      {"/", ScanError::FolderMissing, 0},
      {"relative/tree", ScanError::FolderMissing, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const ScanResult r = scan::readScan(out->path("paths.json"), c.folder, ReadSettings{});
    EXPECT_EQ(r.error, c.error) << r.message;
    if (c.error == ScanError::None) {
      EXPECT_EQ(r.baseline.rows.size(), c.rows);
    } else {
      EXPECT_EQ(r.message, "the scan " + out->path("paths.json") + " does not contain " + c.folder);
    }
  }
  // A scan of the whole file system holds every folder below "/".
  const std::string rootScan = R"([1,2,{},[{"name":"/"},[{"name":"srv"},{"name":"x","asize":5}],{"name":"f","asize":1}]])";
  for (const char* folder : {"/", "//", "/srv", "/srv/"}) {
    const ScanResult r = scan::readScanText(rootScan, folder, ReadSettings{});
    EXPECT_TRUE(r.ok()) << folder << ": " << r.message;
  }
}

// Hand-written scans for the counting rules the engine's own reports do not
// all reach: marks of other writers, excluded entries, unreadable folders.
TEST(ScanCounting, EachRuleOfTheEngineOnHandWrittenScans) {
  struct Case {
    const char* name;
    const char* entries;  // inside [{"name":"/r","dsize":512,"mtime":5}, ...]
    DiskCounting counting;
    scan::SharedFileOrder order;
    const char* rows;     // "name:disk,file,folders,files,date,F|-;..." in the scan's order
  };
  using O = scan::SharedFileOrder;
  const auto R = DiskCounting::ClusterRounded;
  const auto A = DiskCounting::AllocatedBlocks;
  const Case cases[] = {
      {"sizes rounded to the cluster", R"({"name":"f","asize":1,"dsize":4096,"mtime":9},{"name":"g","asize":1000})",
       R, O::Listing, "f:1000,1,0,1,9,-;g:1000,1000,0,1,0,-"},
      {"blocks as allocated", R"({"name":"f","asize":1,"dsize":4096},{"name":"g","asize":1000})", A, O::Listing,
       "f:4096,1,0,1,0,-;g:0,1000,0,1,0,-"},
      {"a folder's own blocks and date count, it is not one of its folders",
       R"([{"name":"d","dsize":4096,"mtime":7},[{"name":"e","dsize":512,"mtime":3}],{"name":"x","asize":10,"mtime":4}])",
       A, O::Listing, "d:4608,10,1,1,7,F"},
      {"others than regular files have no file bytes",
       R"({"name":"l","asize":7,"dsize":512,"notreg":true},{"name":"p","notreg":true})", A, O::Listing,
       "l:512,0,0,1,0,-;p:0,0,0,1,0,-"},
      {"a folder that could not be read counts itself",
       R"([{"name":"d","read_error":true}],[{"name":"e","read_error":true},{"name":"x","asize":1}])", R, O::Listing,
       "d:0,0,1,0,0,F;e:1000,1,0,1,0,F"},
      {"excluded by the scan's patterns: nothing counted",
       R"({"name":"x","asize":5000,"excluded":"pattern","mtime":99},[{"name":"d"},{"name":"y","excluded":"pattern"}])",
       R, O::Listing, "x:0,0,0,0,0,-;d:0,0,0,0,0,F"},
      {"folders the scan did not enter are folders",
       R"({"name":"m","excluded":"otherfs","dsize":4096},[{"name":"d"},{"name":"proc","excluded":"kernfs"}])", A,
       O::Listing, "m:4096,0,0,0,0,F;d:0,0,1,0,0,F"},
      {"several names: bytes once, at the first in the scan",
       R"({"name":"b","asize":100,"ino":7,"hlnkc":true,"nlink":3},[{"name":"a"},{"name":"x","asize":100,"ino":7,"hlnkc":true,"nlink":3}],{"name":"c","asize":100,"ino":7,"nlink":3})",
       R, O::Listing, "b:1000,100,0,1,0,-;a:0,0,0,1,0,F;c:0,0,0,1,0,-"},
      {"several names: bytes once, at the first by path",
       R"({"name":"b","asize":100,"ino":7,"hlnkc":true,"nlink":3},[{"name":"a"},{"name":"x","asize":100,"ino":7,"hlnkc":true,"nlink":3}],{"name":"c","asize":100,"ino":7,"nlink":3})",
       R, O::Path, "b:0,0,0,1,0,-;a:1000,100,0,1,0,F;c:0,0,0,1,0,-"},
      {"the same inode on two devices is two files",
       R"({"name":"b","asize":100,"ino":7,"hlnkc":true,"nlink":2},[{"name":"a","dev":9},{"name":"x","asize":100,"ino":7,"hlnkc":true,"nlink":2}])",
       R, O::Listing, "b:1000,100,0,1,0,-;a:1000,100,0,1,0,F"},
      {"a name marked without a count of names has no bytes",
       R"({"name":"g","asize":3,"dsize":4096},{"name":"f","asize":3,"dsize":4096,"ino":1,"hlnkc":true})", A,
       O::Listing, "g:4096,3,0,1,0,-;f:0,0,0,1,0,-"},
      {"the largest file there can be", R"({"name":"x","asize":9007199254740992})",
       R, O::Listing, "x:9007199254741000,9007199254740992,0,1,0,-"},
      {"dates before 1970 and far ahead", R"({"name":"x","mtime":-86400},{"name":"y","mtime":99999999999999999999})", R,
       O::Listing, "x:0,0,0,1,-86400,-;y:0,0,0,1,9223372036854775807,-"},
      {"keys not known, of any kind, are passed over",
       R"({"name":"x","asize":1,"mode":33188,"xattr":{"a":[1,{"b":null}]},"tags":[[[]]]},[{"name":"d","extra":{"name":"no"}}])",
       R, O::Listing, "x:1000,1,0,1,0,-;d:0,0,0,0,0,F"},
      {"a name given twice is two rows", R"({"name":"x","asize":1},{"name":"x","asize":2})", R, O::Listing,
       "x:1000,1,0,1,0,-;x:1000,2,0,1,0,-"},
      {"names keep their bytes", "{\"name\":\"bad\xff\\u0001\\\"\\\\ \",\"asize\":1}", R, O::Listing,
       "bad\xff\x01\"\\ :1000,1,0,1,0,-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string(R"([1,2,{},[{"name":"/r","dsize":512,"mtime":5},)") + c.entries + "]]";
    ReadSettings s;
    s.counting = c.counting;
    s.clusterSize = 1000;
    s.sharedOrder = c.order;
    const ScanResult r = scan::readScanText(text, "/r", s);
    ASSERT_TRUE(r.ok()) << r.message;
    std::string got;
    for (const BaselineRow& row : r.baseline.rows)
      got += (got.empty() ? "" : ";") + row.name + ":" + std::to_string(row.diskBytes) + "," +
             std::to_string(row.fileBytes) + "," + std::to_string(row.folders) + "," + std::to_string(row.files) +
             "," + std::to_string(row.modified) + "," + (row.folder ? "F" : "-");
    EXPECT_EQ(got, c.rows);
  }
}

TEST(ScanCounting, TheFileSpecificationLeavesFilesOutNeverFolders) {
  ReadSettings s;
  s.fileCounts = [](std::string_view name) { return name.size() > 4 && name.substr(name.size() - 4) == ".txt"; };
  const ScanResult r = scan::readScanText(
      R"([1,2,{},[{"name":"/r"},{"name":"a.txt","asize":5,"mtime":3},{"name":"b.bin","asize":7,"mtime":9},[{"name":"d.bin","mtime":1},{"name":"e.bin","asize":1}]]])",
      "/r", s);
  ASSERT_TRUE(r.ok()) << r.message;
  ASSERT_EQ(r.baseline.rows.size(), 3u);
  EXPECT_EQ(r.baseline.rows[0].files, 1u);
  EXPECT_EQ(r.baseline.rows[1].files, 0u);
  EXPECT_EQ(r.baseline.rows[1].modified, 0);
  EXPECT_EQ(r.baseline.rows[2].files, 0u);
  EXPECT_EQ(r.baseline.rows[2].modified, 1);
  EXPECT_EQ(r.folder.files, 1u);
  EXPECT_EQ(r.folder.fileBytes, 5u);
}

// Damaged, foreign and hostile files: an error of its kind and a message
// naming the file and the reason, never a crash.
TEST(ScanDamage, DamagedForeignAndHostileFilesEndWithAClearError) {
  const std::string head = R"([1,2,{"progname":"x"},[{"name":"/r"},)";
  struct Case {
    std::string text;
    ScanError error;
    const char* says;
  };
  const std::string longName(2 << 20, 'n');
  const Case cases[] = {
      {"", ScanError::NotJson, "it is empty"},
      {"hello", ScanError::NotJson, "it is not JSON"},
      {std::string("\x7f" "ELF\0\0\1", 7), ScanError::NotJson, "it is not JSON"},
      {head + R"({"name":"x","asize":1})", ScanError::NotJson, "it is cut short"},
      {head + R"({"name":"x","as)", ScanError::NotJson, "it is cut short"},
      {head + R"({"name":"x"}]] trailing)", ScanError::NotJson, "it is not JSON"},
      {"{}", ScanError::NotAScan, "it does not begin with an array"},
      {"[]", ScanError::NotAScan, "it holds no folder"},
      {"[1,2]", ScanError::NotAScan, "it holds no folder"},
      {R"([2,0,{},[{"name":"/r"}]])", ScanError::NotAScan, "header"},
      {R"(["1",2,{},[{"name":"/r"}]])", ScanError::NotAScan, "header"},
      {R"([1,2,[],[{"name":"/r"}]])", ScanError::NotAScan, "header"},
      {R"([1,2,{},{"name":"/r"}])", ScanError::NotAScan, "header"},
      {R"([1,2,{},[]])", ScanError::BadValue, "has no name"},
      {R"([1,2,{},[[{"name":"/r"}]]])", ScanError::BadValue, "has no name"},
      {R"([1,2,{},[{"asize":1}]])", ScanError::BadValue, "has no name"},
      {head + "5]]", ScanError::BadValue, "neither a file nor a folder"},
      {head + R"("x"]])", ScanError::BadValue, "neither a file nor a folder"},
      {head + R"(null]])", ScanError::BadValue, "neither a file nor a folder"},
      {head + R"({"name":"x","asize":-1}]])", ScanError::BadValue, "\"asize\" is below zero"},
      {head + R"({"name":"x","dsize":-9223372036854775809}]])", ScanError::BadValue, "below zero"},
      {head + R"({"name":"x","asize":1.5}]])", ScanError::BadValue, "not a whole number"},
      {head + R"({"name":"x","asize":18446744073709551615}]])", ScanError::BadValue, "\"asize\" is larger than any file"},
      {head + R"({"name":"x","dsize":9007199254740993}]])", ScanError::BadValue, "\"dsize\" is larger than any file"},
      {head + R"({"name":"x","asize":99999999999999999999999}]])", ScanError::BadValue, "larger than any file"},
      {head + R"({"name":"x","asize":1e3}]])", ScanError::BadValue, "not a whole number"},
      {head + R"({"name":"x","asize":"12"}]])", ScanError::BadValue, "\"asize\" is not a number"},
      {head + R"({"name":"x","asize":true}]])", ScanError::BadValue, "\"asize\" is not a number"},
      {head + R"({"name":"x","asize":[1]}]])", ScanError::BadValue, "not of its kind"},
      {head + R"({"name":"x","mtime":{}}]])", ScanError::BadValue, "not of its kind"},
      {head + R"({"name":"x","hlnkc":1}]])", ScanError::BadValue, "not true or false"},
      {head + R"({"name":5}]])", ScanError::BadValue, "a name is not text"},
      {head + R"({"name":"a\u0000b"}]])", ScanError::BadValue, "no file name"},
      {head + R"({"name":"a/b"}]])", ScanError::BadValue, "no file name"},
      {head + R"({"name":".."}]])", ScanError::BadValue, "no file name"},
      {head + R"({"name":""}]])", ScanError::BadValue, "no file name"},
      {head + R"({"name":"\ud800"}]])", ScanError::NotJson, "not JSON"},
      {head + "{\"name\":\"" + longName + "\"}]]", ScanError::BadValue, "longer than any scan writes"},
      {head + std::string(3 << 20, ' ') + "]]", ScanError::BadValue, "longer than any scan writes"},
      {head + R"([{"name":"d"}],[{"name":"d"}]]])", ScanError::FolderTwice, "holds /r/d more than once"},
      {R"([1,2,{},[{"name":"/q"}]])", ScanError::FolderMissing, "does not contain /r/d"},
      {head + R"({"name":"d"}]])", ScanError::FolderMissing, "does not contain /r/d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 120));
    const ScanResult r = scan::readScanText(c.text, c.text.find(R"("d")") != std::string::npos || c.error == ScanError::FolderMissing ? "/r/d" : "/r",
                                            ReadSettings{}, "saved.json");
    EXPECT_EQ(r.error, c.error) << r.message;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("saved.json"), std::string::npos) << r.message;
    EXPECT_TRUE(r.baseline.rows.empty());
  }
}

TEST(ScanDamage, EveryCutOfAScanIsAnErrorNeverACrash) {
  const std::string whole =
      R"([1,2,{"progname":"x","timestamp":12},[{"name":"/r","dsize":512},[{"name":"d","mtime":3},{"name":"f","asize":10,"ino":4,"hlnkc":true,"nlink":2},[{"name":"e"}]],{"name":"g","asize":9007199254740992}]])";
  for (size_t n = 0; n + 1 < whole.size(); ++n) {
    const ScanResult r = scan::readScanText(whole.substr(0, n), "/r", ReadSettings{});
    EXPECT_FALSE(r.ok()) << n;
    EXPECT_FALSE(r.message.empty()) << n;
  }
  // Each byte changed to each of a few others: read or refused, never a crash.
  for (size_t n = 0; n < whole.size(); ++n)
    for (char c : {'\0', '[', ']', '{', '}', '"', '-', '9', ',', '\xff'}) {
      std::string text = whole;
      text[n] = c;
      const ScanResult r = scan::readScanText(text, "/r", ReadSettings{});
      EXPECT_EQ(r.ok(), r.message.empty()) << n << " " << c;
    }
  const ScanResult r = scan::readScanText(whole, "/r", ReadSettings{});
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.timestamp, 12);
  EXPECT_EQ(r.program, "x");
}

TEST(ScanDamage, NestingIsReadToAMillionFoldersAndRefusedBeyond) {
  for (size_t depth : {size_t(100000), size_t(1000001)}) {
    std::string text = R"([1,2,{},[{"name":"/r"},)";
    text.reserve(depth * 20);
    for (size_t i = 1; i < depth; ++i) text += R"([{"name":"d"},)";
    text += R"({"name":"f","asize":1})";
    text.append(depth - 1, ']');
    text += "]]";
    const ScanResult r = scan::readScanText(text, "/r", ReadSettings{});
    if (depth < 1000000) {
      ASSERT_TRUE(r.ok()) << r.message;
      ASSERT_EQ(r.baseline.rows.size(), 1u);
      EXPECT_EQ(r.baseline.rows[0].folders, depth - 2);
      EXPECT_EQ(r.baseline.rows[0].files, 1u);
    } else {
      EXPECT_EQ(r.error, ScanError::BadValue);
      EXPECT_NE(r.message.find("nested more than a million deep"), std::string::npos) << r.message;
    }
  }
}

TEST(ScanDamage, FilesThatCannotBeReadAndAStoppedRead) {
  TempTree t;
  t.dir("folder");
  struct Case {
    std::string file;
    ScanError error;
    const char* says;
  };
  const Case cases[] = {
      {t.path("missing.json"), ScanError::CannotOpen, "No such file or directory"},
      {t.path("folder"), ScanError::CannotOpen, "Is a directory"},
  };
  for (const Case& c : cases) {
    const ScanResult r = scan::readScan(c.file, "/r", ReadSettings{});
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.message, "cannot read the scan " + c.file + ": " + c.says);
    // Read ahead, the failure is known at once, with the same words.
    scan::ScanReadAhead ahead(c.file, "/r", ReadSettings{});
    EXPECT_TRUE(ahead.failedToOpen());
    EXPECT_EQ(ahead.result().message, r.message);
  }
  std::string text = R"([1,2,{},[{"name":"/r"})";
  for (int i = 0; i < 5000; ++i) text += R"(,{"name":"f)" + std::to_string(i) + R"(","asize":1})";
  text += "]]";
  std::atomic<bool> stop{true};
  ReadSettings s;
  s.stop = &stop;
  EXPECT_EQ(scan::readScanText(text, "/r", s).error, ScanError::Cancelled);
  stop = false;
  const ScanResult r = scan::readScanText(text, "/r", s);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.baseline.rows.size(), 5000u);
  // A read ahead nobody waits for is stopped and its thread joined when it
  // goes, however far it got.
  const std::string big = t.path("big.json");
  {
    std::FILE* out = std::fopen(big.c_str(), "w");
    std::fputs(text.substr(0, text.size() - 2).c_str(), out);
    for (int i = 0; i < 200000; ++i) std::fprintf(out, R"(,{"name":"g%d","asize":1})", i);
    std::fputs("]]", out);
    std::fclose(out);
  }
  for (bool waited : {false, true}) {
    scan::ScanReadAhead ahead(big, "/r", ReadSettings{});
    EXPECT_FALSE(ahead.failedToOpen());
    if (waited) EXPECT_EQ(ahead.result().baseline.rows.size(), 205000u);
  }
}

// The file is read in windows, the text in memory too: every name, number
// and blank that straddles two windows reads as in one piece, whichever way
// the scan comes.
TEST(ScanDamage, AScanReadInWindowsGivesWhatItsWholeTextGives) {
  TempTree t;
  for (size_t nameLength : {size_t(1), size_t(7), size_t(250), size_t(4000)}) {
    std::string text = R"([1,2,{"progname":"w"},[{"name":"/r"})";
    uint64_t bytes = 0;
    for (int i = 0; text.size() < 300 * 1024; ++i) {
      const std::string name = std::string(nameLength, 'n') + std::to_string(i);
      text += ",\n[{\"name\":\"" + name + "\"},\t\r {\"name\":\"x\\u00e9\",  \"asize\":" + std::to_string(i * 1009) + "}]";
      bytes += static_cast<uint64_t>(i) * 1009;
    }
    text += "]]";
    const std::string file = t.path("w" + std::to_string(nameLength) + ".json");
    std::FILE* out = std::fopen(file.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    SCOPED_TRACE(nameLength);
    const ScanResult whole = scan::readScanText(text, "/r", ReadSettings{});
    ASSERT_TRUE(whole.ok()) << whole.message;
    EXPECT_EQ(whole.folder.fileBytes, bytes);
    scan::ScanReadAhead ahead(file, "/r", ReadSettings{});
    for (const ScanResult& r : {scan::readScan(file, "/r", ReadSettings{}), ahead.result()}) {
      ASSERT_TRUE(r.ok()) << r.message;
      ASSERT_EQ(r.baseline.rows.size(), whole.baseline.rows.size());
      for (size_t i = 0; i < r.baseline.rows.size(); ++i) {
        EXPECT_EQ(r.baseline.rows[i].name, whole.baseline.rows[i].name);
        EXPECT_EQ(r.baseline.rows[i].fileBytes, whole.baseline.rows[i].fileBytes);
      }
      EXPECT_EQ(r.program, "w");
    }
  }
}

}  // namespace

TEST(ScanDamage, SumsStopWhereEveryFigureAndChangeStillFits) {
  // 600 files of the largest size: more than 2^62 bytes in all.
  std::string text = R"([1,2,{},[{"name":"/r"},[{"name":"d"})";
  for (int i = 0; i < 600; ++i) text += R"(,{"name":"f)" + std::to_string(i) + R"(","asize":9007199254740992})";
  text += "]]]";
  const ScanResult r = scan::readScanText(text, "/r", ReadSettings{});
  ASSERT_TRUE(r.ok()) << r.message;
  ASSERT_EQ(r.baseline.rows.size(), 1u);
  EXPECT_EQ(r.baseline.rows[0].fileBytes, uint64_t(1) << 62);
  EXPECT_EQ(r.baseline.rows[0].diskBytes, uint64_t(1) << 62);
  EXPECT_EQ(r.baseline.rows[0].files, 600u);
}
