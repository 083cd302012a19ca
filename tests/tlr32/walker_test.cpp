// The walker's pool: it widens to its I/O walkers when reads wait on the
// device, and the figures never depend on how many walk at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "reference_walk.h"
#include "temp_tree.h"
#include "tlr32/walker.h"

using testsupport::TempTree;

namespace {

constexpr int64_t kNever = INT64_MAX / 4;  // no read ever waits this long

// Folders three deep, files in each, hard links across folders, a link, a
// large folder whose chunks the reader hands to idle walkers.
void buildTree(TempTree& t) {
  for (int a = 0; a < 6; ++a) {
    const std::string da = "d" + std::to_string(a);
    t.dir(da);
    for (int b = 0; b < 5; ++b) {
      const std::string db = da + "/e" + std::to_string(b);
      t.dir(db);
      t.dir(db + "/empty");
      for (int f = 0; f < 12; ++f) t.file(db + "/f" + std::to_string(f), static_cast<uint64_t>(a * 1000 + b * 100 + f));
    }
    t.hardlink("d0/e0/f0", da + "/shared");
  }
  t.symlink("d1", "link");
  t.dir("big");
  for (int f = 0; f < 3000; ++f) t.file("big/name_long_enough_to_fill_chunks_" + std::to_string(f), 1);
}

struct Outcome {
  tlr::Figures figures;
  unsigned threads = 0, widenings = 0;
};

Outcome walkWith(const std::string& root, unsigned cpu, unsigned io, int64_t deviceWaitNs, int walks) {
  tlr::WorkerPool pool(cpu, io);
  pool.setDeviceWaitNs(deviceWaitNs);
  Outcome out;
  for (int i = 0; i < walks; ++i) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    struct stat st;
    EXPECT_EQ(::fstat(fd, &st), 0);
    tlr::Figures f;
    tlr::WalkSettings settings;
    pool.walk(fd, st.st_dev, settings, f);
    if (i > 0) {
      EXPECT_EQ(f.files, out.figures.files) << "walk " << i;
      EXPECT_EQ(f.fileBytes, out.figures.fileBytes) << "walk " << i;
    }
    out.figures = f;
  }
  out.threads = pool.threadsStarted();
  out.widenings = pool.widenings();
  return out;
}

}  // namespace

TEST(WorkerPool, WidensOnlyWhenReadsWaitOnTheDeviceAndCountsTheSameEitherWay) {
  TempTree t;
  buildTree(t);
  const ReferenceFigures want = referenceWalk(t.root(), 0, false);
  struct Case {
    unsigned cpu, io;
    int64_t deviceWaitNs;  // 0: every read counts as a wait on the device
    unsigned threads;      // threads started, the caller not counted
    bool widened;
  } cases[] = {
      {2, 2, 0, 1, false},       // nothing to widen to
      {2, 16, kNever, 1, false},  // all from the cache: the CPU walkers only
      {2, 16, 0, 15, true},
      {1, 8, 0, 7, true},
      {1, 1, 0, 0, false},       // the caller alone
      {3, 1, 0, 2, false},       // the I/O walkers are never fewer than the CPU walkers
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("cpu " + std::to_string(c.cpu) + " io " + std::to_string(c.io) + " wait " + std::to_string(c.deviceWaitNs));
    const Outcome o = walkWith(t.root(), c.cpu, c.io, c.deviceWaitNs, 3);
    EXPECT_EQ(o.threads, c.threads);
    EXPECT_EQ(o.widenings > 0, c.widened);
    EXPECT_EQ(static_cast<int64_t>(o.figures.dirs), want.dirs);
    EXPECT_EQ(static_cast<int64_t>(o.figures.files), want.files);
    EXPECT_EQ(o.figures.fileBytes, want.fileBytes);
    EXPECT_EQ(o.figures.diskBytes, want.diskBytes);
  }
}
