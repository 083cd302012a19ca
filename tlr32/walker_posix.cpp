// Folders read on Linux: relative to directory descriptors with getdents64,
// entries looked at with fstatat, never following a symbolic link.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include "tlr32/walker.h"
#include "tlr32/walker_dir.h"

namespace tlr {

namespace {

// A read is also slow when the scheduler gave this thread's CPU to another
// program meanwhile: on a busy machine (load 15 on 2 cores) a warm walk of
// /usr saw 30 such reads, and widening for them made it 40 % slower. So a
// slow read waited on the device when this thread has sent reads to the
// block device since its last look (the kernel counts them per thread, as
// "block input operations"), or, for file systems that are not on a block
// device (NFS, FUSE), when the scheduler did not take its CPU meanwhile (the
// kernel counts those involuntary switches apart from the waits). The
// second rule alone failed cold walks wherever the thread was preempted: on
// a busy machine (load 25) the walk of a cold /usr was narrow, two walkers,
// for 80 % of its time; the walkers preempt each other as well. The counts
// cost a system call, made only after a slow read.
// (The counts this thread saw last live in its Walker, not in a thread_local:
// the leak checker's scan of a library's thread-local blocks at exit crashed
// while workers still walked.)
bool slowReadWaitedOnDevice(long& lastInvoluntary, long& lastBlockReads) {
  struct rusage ru;
  if (::getrusage(RUSAGE_THREAD, &ru) != 0) return true;
  const bool readDevice = ru.ru_inblock != lastBlockReads;
  const bool preempted = ru.ru_nivcsw != lastInvoluntary;
  lastInvoluntary = ru.ru_nivcsw;
  lastBlockReads = ru.ru_inblock;
  return readDevice || !preempted;
}

}  // namespace

bool isPseudoFileSystem(const FolderHandle& fd) {
  struct statfs sf;
  if (::fstatfs(fd, &sf) != 0) return false;
  switch (static_cast<unsigned long>(sf.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case 0x62656570:  // configfs
    case 0x65735543:  // fusectl
    case 0x19800202:  // mqueue
    case 0x42494e4d:  // binfmt_misc
      return true;
    default:
      return false;
  }
}

// Descriptors. A depth-first walk keeps a folder open while any of its
// sub-folders waits to be opened, so a deep tree with siblings at every level
// holds one descriptor per level, and 32 walkers hold more: a comb of 700
// levels under a limit of 48 open files lost two thirds of its folders to
// EMFILE, counted as unreadable. So the descriptors have one owner,
// FolderDescriptors, that keeps the open descriptors nobody borrows on a
// list, oldest first, and beyond its budget closes the oldest; a folder whose
// descriptor was closed is opened again by name from its parent (itself
// opened again if need be) when it is borrowed next. The budget is half of
// the descriptors the process has free, counted once a walk keeps more than
// kFirstBudget idle or an open fails with EMFILE; the walkers are then at
// most a quarter of it, so that what they hold (two at most each: a folder
// and the parent it is opened from) stays well within the other half.
// What tells whether a folder is open, and which are idle, changes only
// under the owner's mutex, so no walker can close or forget a folder that
// another one uses or that the owner is closing; the one exception is a
// folder that nothing else can reach any more (closeIfAlone).
namespace {
constexpr unsigned kFirstBudget = 16;
constexpr unsigned kMinBudget = 4;

int countOpenDescriptors() {
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (::readdir(d)) ++n;
  ::closedir(d);
  return n - 3;  // ".", ".." and the listing's own
}
}  // namespace

void WorkerPool::FolderDescriptors::startWalk() {
  std::lock_guard lock(m_mutex);
  m_budget = kFirstBudget;
  m_budgetKnown = false;
  m_walkerCap = ~0u;
}

int WorkerPool::FolderDescriptors::borrow(Dir* dir) {
  std::vector<Dir*> closed;  // dir and those of its parents that are closed, nearest first
  Dir* from;
  {
    std::lock_guard lock(m_mutex);
    Dir* d = dir;
    for (; d && d->fd < 0; d = d->parent) closed.push_back(d);
    if (!d) return -1;  // the root stays open while any folder of the walk lives
    take(d);
    if (d == dir) return d->fd;
    from = d;
  }
  // From the nearest open one down, each from the one above it, which is
  // given back once its child is open: two descriptors at most meanwhile.
  // (from->fd does not change while from is borrowed.)
  while (!closed.empty()) {
    Dir* d = closed.back();
    closed.pop_back();
    int fd = open(from->fd, d->name.c_str());
    struct stat st;
    // Renamed or replaced meanwhile: what is there now is not this folder.
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_ino != d->ino || st.st_dev != d->dev)) {
      ::close(fd);
      fd = -1;
    }
    std::lock_guard lock(m_mutex);
    putBack(from);
    if (d->fd < 0) {
      if (fd < 0) return -1;
      d->fd = fd;
    } else if (fd >= 0) {
      ::close(fd);  // another walker opened it again first
    }
    take(d);
    from = d;
  }
  return from->fd;
}

void WorkerPool::FolderDescriptors::giveBack(Dir* dir) {
  // The caller's reference is the only one left: no task needs the folder
  // any more, and kept idle it would push out one that is still needed.
  const bool needed = !dir->parent || dir->refs.load(std::memory_order_acquire) > 1;
  int unused = -1;
  {
    std::lock_guard lock(m_mutex);
    if (needed)
      putBack(dir);
    else if (--dir->users == 0)
      unused = detach(dir);
  }
  if (unused >= 0) ::close(unused);
}

bool WorkerPool::FolderDescriptors::closeIfAlone(Dir* dir) {
  // Only the caller's reference is left, and no sub-folder lives to take
  // another: nothing else can reach the folder. Borrowed since it was opened,
  // it has never been idle, so the owner holds nothing of it either.
  if (dir->refs.load(std::memory_order_acquire) != 1 || dir->lives.load(std::memory_order_acquire) != 1) return false;
  ::close(dir->fd);
  dir->fd = -1;
  return true;
}

void WorkerPool::FolderDescriptors::finished(Dir* dir) {
  if (!dir->parent) return;  // the root: every folder opened again is reached from it
  int unused = -1;
  {
    std::lock_guard lock(m_mutex);
    if (dir->users == 0) unused = detach(dir);
  }
  if (unused >= 0) ::close(unused);
}

void WorkerPool::FolderDescriptors::forget(Dir* dir) {
  int unused;
  {
    std::lock_guard lock(m_mutex);
    unused = detach(dir);
  }
  if (unused >= 0) ::close(unused);
}

void WorkerPool::FolderDescriptors::take(Dir* dir) {
  if (dir->idle) unlist(dir);
  ++dir->users;
}

void WorkerPool::FolderDescriptors::putBack(Dir* dir) {
  if (--dir->users > 0 || !dir->parent || dir->fd < 0) return;
  dir->idle = true;
  dir->older = m_idleTail;
  dir->newer = nullptr;
  (m_idleTail ? m_idleTail->newer : m_idleHead) = dir;
  m_idleTail = dir;
  if (++m_idleCount > m_budget) {
    if (!m_budgetKnown) countBudget();
    evict();
  }
}

int WorkerPool::FolderDescriptors::detach(Dir* dir) {
  if (dir->idle) unlist(dir);
  const int fd = dir->fd;
  dir->fd = -1;
  return fd;
}

void WorkerPool::FolderDescriptors::unlist(Dir* dir) {
  dir->idle = false;
  (dir->older ? dir->older->newer : m_idleHead) = dir->newer;
  (dir->newer ? dir->newer->older : m_idleTail) = dir->older;
  --m_idleCount;
}

void WorkerPool::FolderDescriptors::countBudget() {
  m_budgetKnown = true;
  struct rlimit rl;
  const int open = countOpenDescriptors();
  if (open >= 0 && ::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
    const rlim_t limit = std::min<rlim_t>(rl.rlim_cur, 1u << 20);
    const unsigned half = limit > static_cast<rlim_t>(open) ? static_cast<unsigned>((limit - open) / 2) : 0;
    m_budget = std::max(kMinBudget, half);
    m_walkerCap = std::max(1u, half / 4);
  } else {
    m_budget = ~0u;
  }
}

void WorkerPool::FolderDescriptors::evict() {
  while (m_idleCount > m_budget) ::close(detach(m_idleHead));
}

// An open failed for want of descriptors: count them now, and close idle
// ones down to half of those idle at the least.
void WorkerPool::FolderDescriptors::descriptorsShort() {
  std::lock_guard lock(m_mutex);
  m_budgetKnown = true;
  m_budget = std::min(m_budget, std::max(kMinBudget, m_idleCount / 2));
  m_walkerCap = std::max(1u, std::min(m_walkerCap.load(), m_busy.load() / 2));
  evict();
}

int WorkerPool::FolderDescriptors::open(int parentFd, const char* name) {
  // A retry waits for other walkers to give theirs back: at most about two
  // seconds in all, then the folder counts as unreadable.
  for (int attempt = 0;; ++attempt) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || attempt == 2000) return fd;
    descriptorsShort();
    if (attempt > 0) {
      const struct timespec pause {0, 1'000'000};
      ::nanosleep(&pause, nullptr);
    }
  }
}

void WorkerPool::sizeEntry(Dir* dir, int fd, const char* name, bool typeKnown, Figures& f, std::vector<Task>& children,
                           void* run, uint32_t position) {
  const WalkSettings& s = m_job->settings;
  const FileSpec* filter = (s.fileSpec && !s.fileSpec->matchesAll()) ? s.fileSpec : nullptr;
  // An observer sees the entries the filter leaves out as well.
  if (typeKnown && filter && !run && !filter->matches(name)) return;
  struct stat st;
  if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    // Gone since it was listed, or there but not to be looked at (EACCES in
    // a folder that may be listed but not entered): the folder's figures
    // then lack it, and say so.
    if (errno != ENOENT) partlyUnreadable(dir, f);
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    ++f.dirs;
    addSubfolder(dir, name, position, children);
    return;
  }
  countEntry(name, st, filter, typeKnown, run, position, f);
}

void WorkerPool::sizeBatch(Task& task, Figures& f) {
  std::vector<Task> children;
  Dir* dir = task.parent;
  const int fd = m_descriptors.borrow(dir);  // -1: closed and gone since: its files vanished with it
  WalkObserver* observer = m_job->observer;
  void* run = observer ? observer->beginRun(dir->node, task.positions.front()) : nullptr;
  if (fd >= 0) {
    for (size_t i = 0; i < task.files.size(); ++i)
      sizeEntry(dir, fd, task.files[i].c_str(), true, f, children, run, run ? task.positions[i] : 0);
    m_descriptors.giveBack(dir);
  }
  if (observer) {
    observer->endRun(run);
    listed(dir);
  }
  publish(children);
  release(dir);
}

void WorkerPool::processTask(Task& task, Figures& f, Walker& walker) {
  if (!task.files.empty()) {
    sizeBatch(task, f);
    return;
  }
  Dir* parent = task.parent;
  const int64_t openedAt = steadyNs();
  WalkObserver* observer = m_job->observer;
  const int parentFd = m_descriptors.borrow(parent);
  int fd = parentFd < 0 ? -1 : m_descriptors.open(parentFd, task.name.c_str());
  struct stat st;
  if (fd < 0) {
    // Unreadable or vanished: the parent counted it already; take its date
    // and blocks from the parent's view and go on.
    const bool seen = parentFd >= 0 && ::fstatat(parentFd, task.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (parentFd >= 0) m_descriptors.giveBack(parent);
    if (seen) {
      f.seeTime(st.st_mtim);
      if (m_job->settings.allocatedBlocks) f.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
    }
    ++f.unreadableDirs;
    if (observer)
      observer->folder(task.node, seen ? &st : nullptr,
                       seen ? WalkObserver::FolderState::Unreadable : WalkObserver::FolderState::Vanished);
    release(parent);
    return;
  }
  m_descriptors.giveBack(parent);
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    release(parent);
    ++f.unreadableDirs;
    if (observer) observer->folder(task.node, nullptr, WalkObserver::FolderState::Vanished);
    return;
  }
  f.seeTime(st.st_mtim);
  if (m_job->settings.allocatedBlocks) f.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
  // Mount points are rare: only there is the file-system type worth a call.
  if (st.st_dev != parent->dev && isPseudoFileSystem(fd)) {
    ::close(fd);
    release(parent);
    if (observer) observer->folder(task.node, &st, WalkObserver::FolderState::PseudoFileSystem);
    return;
  }
  Dir* dir = new Dir(fd, st.st_dev, st.st_ino);
  dir->node = task.node;
  dir->parent = parent;
  dir->name = std::move(task.name);
  parent->lives.fetch_add(1, std::memory_order_relaxed);  // before the parent's reference goes
  release(parent);
  if (observer) observer->folder(task.node, &st, WalkObserver::FolderState::Open);
  readDir(dir, fd, f, walker, openedAt);
  // A folder without sub-folders, the most common kind, is done with here.
  if (m_descriptors.closeIfAlone(dir)) {
    Dir* up = dir->parent;
    delete dir;
    dropLife(up);
    return;
  }
  // Sub-folders still to be opened keep it open, idle: it may be closed
  // meanwhile if the walk holds too many.
  m_descriptors.giveBack(dir);
  release(dir);
}

void WorkerPool::readDir(Dir* dir, int fd, Figures& f, Walker& walker, int64_t openedAt) {
  std::vector<Task> children;
  WalkObserver* observer = m_job->observer;
  uint32_t position = 0;   // of the next entry in the folder's listing
  for (int64_t readFrom = openedAt;; readFrom = steadyNs()) {
    ssize_t n = ::getdents64(fd, walker.buffer.data(), walker.buffer.size());
    if (steadyNs() - readFrom > m_deviceWaitNs && (m_deviceWaitNs == 0 || slowReadWaitedOnDevice(walker.lastInvoluntary, walker.lastBlockReads))) deviceWaited();
    if (n <= 0) {
      // Error mid-folder: what was read counts; the rest cannot be seen.
      if (n < 0) partlyUnreadable(dir, f);
      break;
    }
    // A worker is idle: it takes this chunk's files while we read on. One
    // large folder (100,000 files) thus keeps both cores busy instead of one.
    // With an observer, all of a chunk's non-folder entries go one way, so
    // that they form one run whatever the timing.
    Task batch{dir, {}, {}, nullptr, {}};
    const bool share = someoneIdle();
    void* run = nullptr;
    for (ssize_t pos = 0; pos < n;) {
      auto* e = reinterpret_cast<struct dirent64*>(walker.buffer.data() + pos);
      pos += e->d_reclen;
      const char* name = e->d_name;
      if (isDotOrDotDot(name)) continue;
      const uint32_t at = position++;
      if (e->d_type == DT_DIR) {
        ++f.dirs;
        addSubfolder(dir, name, at, children);
      } else if (share && (e->d_type != DT_UNKNOWN || observer)) {
        batch.files.emplace_back(name);
        if (observer) batch.positions.push_back(at);
      } else {
        if (observer && !run) run = observer->beginRun(dir->node, at);
        sizeEntry(dir, fd, name, e->d_type != DT_UNKNOWN, f, children, run, at);
      }
    }
    if (run) observer->endRun(run);
    if (!batch.files.empty()) {
      if (observer) dir->listing.fetch_add(1, std::memory_order_relaxed);
      dir->refs.fetch_add(1, std::memory_order_relaxed);
      children.push_back(std::move(batch));
    }
    // Hand over sub-folders chunk by chunk so idle workers start early.
    publish(children);
  }
  if (observer) listed(dir);
}

void WorkerPool::readRoot(FolderHandle rootFd, DeviceId rootDev, Figures& f, void* rootNode) {
  Dir* root = new Dir(rootFd, rootDev, 0);
  root->node = rootNode;
  readDir(root, rootFd, f, m_caller, steadyNs());
  m_descriptors.giveBack(root);
  release(root);
}

}  // namespace tlr
