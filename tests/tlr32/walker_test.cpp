// The walker's pool: it widens to its I/O walkers when reads wait on the
// device, and the figures never depend on how many walk at once.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "reference_walk.h"
#include "temp_tree.h"
#include "tlr32/walker.h"
#include "file_limit.h"

using testsupport::TempTree;

using testsupport::FileLimit;

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

namespace {

int openDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n - 3;  // ".", ".." and the listing's own descriptor
}

// A comb: a chain of folders, each with more sub-folders beside the next
// link, so that a depth-first walk keeps a folder open at every level while
// a sibling waits (the names differ from level to level, and so does their
// order in the listing). Each level holds "a<i>" with a 10-byte file,
// "z<i>", `extra` more empty siblings "s<i>_<k>", and the next link "m<i>".
// Built level by level from the previous level's descriptor: one path per
// folder from the root would cost a lookup per level each.
void buildComb(const TempTree& t, int depth, int extra) {
  int level = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(level, 0);
  for (int i = 0; i < depth; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(::mkdirat(level, ("a" + n).c_str(), 0755), 0);
    ASSERT_EQ(::mkdirat(level, ("z" + n).c_str(), 0755), 0);
    for (int k = 0; k < extra; ++k) ASSERT_EQ(::mkdirat(level, ("s" + n + "_" + std::to_string(k)).c_str(), 0755), 0);
    const int file = ::openat(level, ("a" + n + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "0123456789", 10), 10);
    ::close(file);
    ASSERT_EQ(::mkdirat(level, ("m" + n).c_str(), 0755), 0);
    const int next = ::openat(level, ("m" + n).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(level);
    level = next;
    ASSERT_GE(level, 0);
  }
  ::close(level);
}

struct CombCase {
  unsigned cpu, io;
  int64_t deviceWaitNs;
};

// Walks the comb `walks` times on one pool with no more than `spare`
// descriptors beyond those open now, and checks every walk's figures and
// that no descriptor stays open.
void walkCombUnderLimit(const TempTree& t, int depth, int extra, const CombCase& c, rlim_t spare, int walks) {
  SCOPED_TRACE("cpu " + std::to_string(c.cpu) + " io " + std::to_string(c.io) + " spare " + std::to_string(spare));
  const int before = openDescriptors();
  {
    tlr::WorkerPool pool(c.cpu, c.io);
    pool.setDeviceWaitNs(c.deviceWaitNs);
    for (int w = 0; w < walks; ++w) {
      SCOPED_TRACE("walk " + std::to_string(w));
      const int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      struct stat st;
      ASSERT_EQ(::fstat(fd, &st), 0);
      tlr::Figures f;
      {
        FileLimit limit(static_cast<rlim_t>(before) + spare);
        ASSERT_TRUE(limit.ok());
        tlr::WalkSettings settings;
        pool.walk(fd, st.st_dev, settings, f);
      }
      ASSERT_EQ(f.dirs, static_cast<uint64_t>(3 + extra) * depth);
      ASSERT_EQ(f.files, static_cast<uint64_t>(depth));
      ASSERT_EQ(f.fileBytes, 10u * depth);
      ASSERT_EQ(f.unreadableDirs, 0u);
      ASSERT_EQ(openDescriptors(), before);
    }
  }
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace

// Far deeper than the descriptors the process may still open: the walk must
// neither miss folders nor count them unreadable, whatever the number of
// walkers, and must leave no descriptor open.
TEST(WorkerPool, ATreeDeeperThanTheOpenFileLimitIsWalkedWhole) {
  constexpr int kDepth = 400;
  TempTree t;
  ASSERT_NO_FATAL_FAILURE(buildComb(t, kDepth, 0));
  const CombCase cases[] = {{2, 2, kNever}, {2, 32, 0}, {1, 64, 0}, {4, 4, kNever}};
  for (const CombCase& c : cases) walkCombUnderLimit(t, kDepth, 0, c, 100, 1);
}

// The walkers close folders and open them again, from their parents, all the
// time when descriptors are this short, while other walkers finish with the
// same folders: many walks on few descriptors, with any number of walkers,
// count the same every time and leave nothing open. Run under
// ThreadSanitizer, this is where walkers racing on one folder's descriptor
// show.
TEST(WorkerPool, ManyWalksOfACombOnFewDescriptorsCountTheSame) {
  constexpr int kDepth = 150;
  constexpr int kExtra = 3;
  TempTree t;
  ASSERT_NO_FATAL_FAILURE(buildComb(t, kDepth, kExtra));
  const CombCase cases[] = {{2, 2, kNever}, {2, 16, 0}, {4, 4, kNever}, {1, 32, 0}};
  for (const CombCase& c : cases)
    for (const rlim_t spare : {12u, 24u, 60u}) walkCombUnderLimit(t, kDepth, kExtra, c, spare, 12);
}

// Mode 644 on a folder: its names can be listed, none of its entries looked
// at. The walk counts it unreadable once, however many entries failed, so
// that a host says some of it could not be read instead of showing an
// empty folder. Root looks at everything: the walk runs in a child that has
// dropped root, with a pool of its own.
TEST(WorkerPool, AFolderListedButNotEnteredCountsOnceAsUnreadable) {
  TempTree t;
  t.dir("u");
  t.dir("u/n");
  for (int f = 0; f < 40; ++f) t.file("u/n/f" + std::to_string(f), 100);
  t.file("u/fine", 100);
  ::chmod(t.path("u/n").c_str(), 0644);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    uint64_t counts[3] = {};
    for (const unsigned walkers : {1u, 4u}) {
      tlr::WorkerPool pool(walkers, walkers);
      const int fd = ::open(t.path("u").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st;
      if (fd < 0 || ::fstat(fd, &st) != 0) ::_exit(125);
      tlr::Figures f;
      tlr::WalkSettings settings;
      pool.walk(fd, st.st_dev, settings, f);
      if (walkers > 1 && (f.unreadableDirs != counts[0] || f.files != counts[1])) ::_exit(124);
      counts[0] = f.unreadableDirs, counts[1] = f.files, counts[2] = f.dirs;
    }
    ::_exit(::write(fds[1], counts, sizeof counts) == sizeof counts ? 0 : 123);
  }
  ::close(fds[1]);
  uint64_t counts[3] = {};
  const ssize_t n = ::read(fds[0], counts, sizeof counts);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::chmod(t.path("u/n").c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  ASSERT_EQ(n, static_cast<ssize_t>(sizeof counts));
  EXPECT_EQ(counts[0], 1u) << "unreadable folders";
  EXPECT_EQ(counts[1], 1u) << "files: u/fine only";
  EXPECT_EQ(counts[2], 1u) << "folders: n";
}
