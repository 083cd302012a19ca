#include "tlr32/walker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <time.h>
#include <unistd.h>

#include "tlr32/progress.h"

namespace tlr {

Progress& progress() {
  static Progress counts;  // constant-initialised: no guard, no destructor
  return counts;
}

namespace {

inline uint64_t roundUp(uint64_t size, uint64_t unit) {
  if (unit == 0) return size;
  return (size + unit - 1) / unit * unit;
}

inline bool isDotOrDotDot(const char* n) {
  return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

inline int64_t steadyNs() {
  struct timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Whether a folder's open and first read took long enough to have waited on
// the device. From the cache, openat takes 3 to 15 us and a getdents64 of a
// full buffer under 50 us on the machines we measure; a read of a directory
// block from the disk took 40 us to several ms (most 60 to 130 us).
constexpr int64_t kDeviceWaitNs = 60'000;

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

// How long the walk stays wide after its last read that waited on the device.
// A cold walk waits on nearly every folder, so it stays wide throughout; once
// the rest of the tree is found in the cache, the extra walkers stop taking
// tasks within this time.
constexpr int64_t kWideHoldNs = 20'000'000;

}  // namespace

size_t SeenFiles::KeyHash::operator()(const Key& k) const noexcept {
  return std::hash<uint64_t>()(static_cast<uint64_t>(k.ino) * 0x9E3779B97F4A7C15ULL ^ static_cast<uint64_t>(k.dev));
}

bool SeenFiles::firstName(dev_t dev, ino_t ino) {
  std::lock_guard lock(m_mutex);
  return m_seen.insert(Key{dev, ino}).second;
}

void Figures::add(const Figures& o) {
  dirs += o.dirs;
  files += o.files;
  fileBytes += o.fileBytes;
  diskBytes += o.diskBytes;
  unreadableDirs += o.unreadableDirs;
  seeTime(o.newest);
}

bool isPseudoFileSystem(int fd) {
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

// A folder of the walk. Its reader and the tasks still to use its descriptor
// (sub-folders to open, batches of files to stat) hold references (refs). The
// object itself lives on while any sub-folder's does (lives), so that a
// sub-folder whose descriptor was closed to stay within the process's limit
// can be opened again from it, by name. Its descriptor belongs to the pool's
// FolderDescriptors.
struct WorkerPool::Dir {
  Dir(int openFd, dev_t device, ino_t inode) : dev(device), ino(inode), fd(openFd) {}
  const dev_t dev;
  const ino_t ino;
  std::atomic<uint32_t> refs{1};
  // With an observer: its handle of the folder, and the parts of the listing
  // still to hand over (the reader, and each batch of files it gave away).
  void* node = nullptr;
  std::atomic<uint32_t> listing{1};
  Dir* parent = nullptr;  // nullptr: the walk's root, open throughout
  std::string name;
  std::atomic<uint32_t> lives{1};  // one for refs > 0, one per live sub-folder
  // Some of it could not be read; set on that failure path only.
  std::atomic<bool> partlyUnreadable{false};

  // FolderDescriptors' own, read and changed only under its mutex.
  int fd;              // -1 while closed
  uint32_t users = 1;  // walkers that borrow fd now, its reader first
  bool idle = false;   // open, nobody borrows it: on the idle list
  Dir* older = nullptr;
  Dir* newer = nullptr;
};

struct WorkerPool::Job {
  const WalkSettings& settings;
  Figures& figures;  // merged under m_mutex
  WalkObserver* observer;
  SeenFiles ownSeen;  // when the settings name none
  SeenFiles& seen() { return settings.seenFiles ? *settings.seenFiles : ownSeen; }
};

WorkerPool::WorkerPool(unsigned cpuWalkers, unsigned ioWalkers)
    : m_cpuWalkers(std::max(1u, cpuWalkers)),
      m_ioWalkers(std::max(m_cpuWalkers, ioWalkers)),
      m_deviceWaitNs(kDeviceWaitNs) {
  m_allowed = m_cpuWalkers;
  startThreads(m_cpuWalkers - 1);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_workCv.notify_all();
  std::lock_guard threadsLock(m_threadsMutex);
  for (auto& t : m_threads) t.join();
}

void WorkerPool::startThreads(unsigned total) {
  std::lock_guard lock(m_threadsMutex);
  while (m_threads.size() < total) {
    try {
      m_threads.emplace_back([this] { workerMain(); });
    } catch (const std::system_error&) {
      break;  // out of threads: the walk goes on with those it has
    }
  }
}

unsigned WorkerPool::threadsStarted() {
  std::lock_guard lock(m_threadsMutex);
  return static_cast<unsigned>(m_threads.size());
}

void WorkerPool::deviceWaited() {
  m_slowUntil.store(steadyNs() + kWideHoldNs, std::memory_order_relaxed);
  if (m_allowed.load(std::memory_order_relaxed) >= m_ioWalkers) return;
  {
    std::lock_guard lock(m_mutex);
    if (m_allowed >= m_ioWalkers) return;
    m_allowed = m_ioWalkers;
    ++m_widenings;
  }
  // The threads start outside the walk's mutex: the others walk on meanwhile.
  startThreads(m_ioWalkers - 1);
  m_workCv.notify_all();
}

bool WorkerPool::someoneIdle() const {
  return m_waiting.load(std::memory_order_relaxed) > 0 && m_busy.load(std::memory_order_relaxed) < allowed();
}

void WorkerPool::workerMain() {
  Walker walker;
  std::unique_lock lock(m_mutex);
  for (;;) {
    ++m_waiting;
    m_workCv.wait(lock, [this] { return m_stop || (!m_tasks.empty() && m_busy < allowed()); });
    --m_waiting;
    if (m_stop) return;
    runQueued(lock, walker);
  }
}

// Takes tasks while there are any and this walker is within the walkers
// allowed now; the lock is held on entry and exit.
void WorkerPool::runQueued(std::unique_lock<std::mutex>& lock, Walker& walker) {
  Figures local;
  while (!m_tasks.empty()) {
    // Back to the CPU walkers once the device has not been waited on for a
    // while: more runnable walkers than cores only contend.
    if (m_allowed > m_cpuWalkers && steadyNs() > m_slowUntil.load(std::memory_order_relaxed)) m_allowed = m_cpuWalkers;
    if (m_busy >= allowed()) break;
    Task task = std::move(m_tasks.back());
    m_tasks.pop_back();
    ++m_busy;
    lock.unlock();
    const Figures before = local;
    processTask(task, local, walker);
    progress().addGrowth(before, local);
    lock.lock();
    --m_busy;
  }
  m_job->figures.add(local);
  if (m_busy == 0 && m_tasks.empty()) m_doneCv.notify_all();
}

void WorkerPool::publish(std::vector<Task>& tasks) {
  if (tasks.empty()) return;
  unsigned wake = 0;
  bool wakeCaller = false;
  {
    std::lock_guard lock(m_mutex);
    for (auto& t : tasks) m_tasks.push_back(std::move(t));
    if (m_waiting > 0 && m_busy < allowed()) {
      wake = std::min<unsigned>(static_cast<unsigned>(tasks.size()), allowed() - m_busy);
      wakeCaller = m_callerIdle;
    }
  }
  tasks.clear();
  // As many as can take a task now: waking every sleeper for each chunk of
  // a folder cost the wide walk more than its reads.
  if (wakeCaller) {
    m_doneCv.notify_all();
    --wake;
  }
  for (unsigned i = 0; i < wake; ++i) m_workCv.notify_one();
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

void WorkerPool::dropLife(Dir* dir) {
  while (dir && dir->lives.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    m_descriptors.forget(dir);
    Dir* parent = dir->parent;
    delete dir;
    dir = parent;
  }
}

void WorkerPool::release(Dir* dir) {
  if (dir->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // No references are taken once they are gone, so no sub-folder starts to
  // live now: with none alive, dropLife() forgets it at once.
  if (dir->lives.load(std::memory_order_acquire) != 1) m_descriptors.finished(dir);
  dropLife(dir);
}

void WorkerPool::listed(Dir* dir) {
  if (dir->listing.fetch_sub(1, std::memory_order_acq_rel) == 1) m_job->observer->folderListed(dir->node);
}

// Counted once a folder, however many of its entries failed, and told to
// the observer so that a report marks the folder.
void WorkerPool::partlyUnreadable(Dir* dir, Figures& f) {
  if (dir->partlyUnreadable.exchange(true, std::memory_order_relaxed)) return;
  ++f.unreadableDirs;
  if (m_job->observer) m_job->observer->folderPartlyUnreadable(dir->node);
}

void WorkerPool::addSubfolder(Dir* dir, const char* name, uint32_t position, std::vector<Task>& children) {
  dir->refs.fetch_add(1, std::memory_order_relaxed);
  WalkObserver* observer = m_job->observer;
  children.push_back(Task{dir, name, {}, observer ? observer->subfolder(dir->node, name, position) : nullptr, {}});
}

void WorkerPool::countFile(const struct stat& st, const WalkSettings& s, Figures& f) {
  ++f.files;
  f.seeTime(st.st_mtim);
  if (S_ISREG(st.st_mode)) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    f.fileBytes += size;
    f.diskBytes += s.allocatedBlocks ? static_cast<uint64_t>(st.st_blocks) * 512
                                     : roundUp(size, s.clusterSize);
  } else if (s.allocatedBlocks) {
    f.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
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
  if (run) {
    const bool counted = !filter || filter->matches(name);
    m_job->observer->entry(run, name, st, counted, position);
    if (!counted) return;
  } else if (!typeKnown && filter && !filter->matches(name)) {
    return;
  }
  if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !m_job->seen().firstName(st.st_dev, st.st_ino))
    countOtherName(st, f);
  else
    countFile(st, s, f);
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

void WorkerPool::walk(int rootFd, dev_t rootDev, const WalkSettings& settings, Figures& figures,
                      WalkObserver* observer, void* rootNode) {
  Job job{settings, figures, observer, {}};
  m_descriptors.startWalk();
  std::unique_lock lock(m_mutex);
  m_job = &job;
  ++m_busy;
  lock.unlock();
  Figures local;
  Dir* root = new Dir(rootFd, rootDev, 0);
  root->node = rootNode;
  readDir(root, rootFd, local, m_caller, steadyNs());
  m_descriptors.giveBack(root);
  release(root);
  progress().addGrowth(Figures{}, local);
  lock.lock();
  --m_busy;
  figures.add(local);
  // The caller walks as one of the walkers until the walk is done.
  for (;;) {
    runQueued(lock, m_caller);
    if (m_tasks.empty() && m_busy == 0) break;
    ++m_waiting;
    m_callerIdle = true;
    m_doneCv.wait(lock, [this] { return (m_tasks.empty() && m_busy == 0) || (!m_tasks.empty() && m_busy < allowed()); });
    m_callerIdle = false;
    --m_waiting;
  }
  m_job = nullptr;
}

}  // namespace tlr
