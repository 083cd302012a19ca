// The entry points for hosts without a window: the running counts, a report
// to a descriptor, and the reason a computation failed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "temp_tree.h"
#include "tlr32/tlr32.h"

using testsupport::TempTree;

namespace {

struct Counts {
  uint64_t files, dirs, fileBytes, diskBytes;
};

Counts progress() {
  uint64_t c[4] = {};
  EXPECT_EQ(TlrGetProgress(c, 4), 4);
  return {c[0], c[1], c[2], c[3]};
}

class EngineProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    TlrExtInit("");
    for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks", "ReportDepth"})
      ASSERT_TRUE(TlrSetOption(name, "0") & 0xFF) << name;
    t.dir("tree");
    for (int d = 0; d < 20; ++d) {
      t.dir("tree/d" + std::to_string(d));
      for (int f = 0; f < 50; ++f) t.file("tree/d" + std::to_string(d) + "/f" + std::to_string(f), 100 + f);
    }
    t.symlink("nowhere", "tree/dangling");
  }
  TempTree t;
};

}  // namespace

TEST_F(EngineProgress, CountsEndAtTheFiguresOfTheComputation) {
  const std::string tree = t.path("tree");
  const std::string report = t.path("r.csv");
  for (const char* file : {static_cast<const char*>(nullptr), report.c_str()}) {
    ASSERT_EQ(TlrCalcUsage(tree.c_str(), file), 0);
    const Counts c = progress();
    EXPECT_EQ(c.files, static_cast<uint64_t>(TlrGetStatVal("Files"))) << (file ? "report" : "walk");
    EXPECT_EQ(c.dirs, static_cast<uint64_t>(TlrGetStatVal("Directories")));
    EXPECT_EQ(c.fileBytes, static_cast<uint64_t>(TlrGetStatValF("FileBytes")));
    EXPECT_EQ(c.diskBytes, static_cast<uint64_t>(TlrGetStatValF("DiskBytes")));
    EXPECT_EQ(c.files, 1001u);
  }
  // The next computation starts from nothing.
  ASSERT_EQ(TlrCalcUsage(t.path("tree/d0/f0").c_str(), nullptr), 0);
  EXPECT_LE(progress().files, 1u);
  uint64_t two[2] = {7, 7};
  EXPECT_EQ(TlrGetProgress(two, 2), 2) << "fills as many as asked";
  EXPECT_EQ(TlrGetProgress(nullptr, 4), 0);
}

TEST_F(EngineProgress, CountsAreReadWhileAnotherThreadComputes) {
  // Asked while a computation holds the engine, the counts answer at once:
  // some answer falls inside a computation and shows it part way.
  const std::string tree = t.path("tree");
  std::atomic<bool> seenPartWay{false}, done{false};
  std::thread worker([&] {
    for (int i = 0; i < 500 && !seenPartWay; ++i) TlrCalcUsage(tree.c_str(), t.path("r.json").c_str());
    done = true;
  });
  while (!done) {
    const Counts c = progress();
    EXPECT_LE(c.files, 1001u);
    EXPECT_LE(c.dirs, 20u);
    if (c.files > 0 && c.files < 1001) seenPartWay = true;
  }
  worker.join();
  EXPECT_TRUE(seenPartWay);
}

TEST_F(EngineProgress, AReportToADescriptorAndWhyOneFails) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string text;
  std::thread reader([&] {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  });
  const std::string tree = t.path("tree");
  EXPECT_EQ(TlrCalcUsageToFd(tree.c_str(), fds[1], "csv"), 0);
  EXPECT_STREQ(TlrGetLastError(), "");
  EXPECT_EQ(TlrGetStatVal("Files"), 1001) << "the figures are ready, as after TlrCalcUsage";
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  EXPECT_NE(text.find("\r\nd7,"), std::string::npos) << text;

  struct Case {
    std::string folder;
    int fd;
    const char* format;
    std::string says;
  } cases[] = {
      {tree, 1, "xml", "cannot write a report in the format \"xml\""},
      {tree, -1, "csv", "cannot write a report in the format \"csv\""},
      {t.path("gone"), 1, "csv", "cannot read " + t.path("gone") + ": No such file or directory"},
      {t.path("tree/d0/f0"), 1, "text", "cannot read " + t.path("tree/d0/f0") + ": Not a directory"},
      {tree, 1000, "json", "cannot write descriptor 1000: Bad file descriptor"},
  };
  for (const Case& c : cases) {
    EXPECT_LT(TlrCalcUsageToFd(c.folder.c_str(), c.fd, c.format), 0) << c.says;
    EXPECT_EQ(std::string(TlrGetLastError()), c.says);
    EXPECT_EQ(TlrGetStatVal("Files"), 0) << "no figures of a failed report";
  }
  EXPECT_EQ(TlrCalcUsage(t.path("gone").c_str(), nullptr), -1);
  EXPECT_EQ(std::string(TlrGetLastError()), "cannot read " + t.path("gone") + ": No such file or directory");
  EXPECT_EQ(TlrCalcUsage(tree.c_str(), t.path("no/such/r.csv").c_str()), -3);
  EXPECT_EQ(std::string(TlrGetLastError()), "cannot write " + t.path("no/such/r.csv") + ": No such file or directory");
}
