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

struct LinkKey {
  dev_t dev;
  ino_t ino;
  bool operator==(const LinkKey&) const = default;
};
struct LinkKeyHash {
  size_t operator()(const LinkKey& k) const noexcept {
    return std::hash<uint64_t>()(static_cast<uint64_t>(k.ino) * 0x9E3779B97F4A7C15ULL ^
                                 static_cast<uint64_t>(k.dev));
  }
};

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
// (sub-folders to open, batches of files to stat) hold references (refs); the
// descriptor is closed when the last of them is done. The object itself lives
// on while any sub-folder's does (lives), so that a sub-folder whose
// descriptor was closed to stay within the process's limit can be opened
// again from it, by name.
struct WorkerPool::Dir {
  Dir(int openFd, dev_t device, ino_t inode) : fd(openFd), dev(device), ino(inode) {}
  std::atomic<int> fd;  // -1 while closed
  dev_t dev;
  ino_t ino;
  std::atomic<uint32_t> refs{1};
  // With an observer: its handle of the folder, and the parts of the listing
  // still to hand over (the reader, and each batch of files it gave away).
  void* node = nullptr;
  std::atomic<uint32_t> listing{1};
  Dir* parent = nullptr;  // nullptr: the walk's root, open throughout
  std::string name;
  std::atomic<uint32_t> lives{1};  // one for refs > 0, one per live sub-folder
  std::mutex mutex;  // closing and opening again, and the parked list's links
  // Walkers using fd right now (its reader first), taken without the mutex:
  // siblings are opened by many walkers at once. kClosing while it is closed.
  std::atomic<uint32_t> pins{1};
  std::atomic<bool> parked{false};  // changed under mutex and m_fdMutex
  Dir* older = nullptr;
  Dir* newer = nullptr;
  // Some of it could not be read; set on that failure path only.
  std::atomic<bool> partlyUnreadable{false};
};

struct WorkerPool::Job {
  const WalkSettings& settings;
  Figures& figures;  // merged under m_mutex
  WalkObserver* observer;
  std::mutex linkMutex;
  std::unordered_set<LinkKey, LinkKeyHash> links;
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
// EMFILE, counted as unreadable. Folders kept open only for sub-folders still
// to come are "parked", oldest first; beyond m_parkBudget the oldest unused
// one is closed, and opened again by name from its parent (itself opened
// again if need be) when one of its sub-folders is taken. The budget is half
// of the descriptors the process has free, counted once a walk parks more
// than kFirstParkBudget folders or an open fails with EMFILE; the walkers are
// then at most a quarter of it, since each may use three at once (its folder,
// a parent it opens from, and that parent's parent when it is opened again).
// A walk of /usr parks at most a few dozen folders, and never counts.
namespace {
constexpr unsigned kFirstParkBudget = 16;
constexpr unsigned kMinParkBudget = 4;

int countOpenDescriptors() {
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (::readdir(d)) ++n;
  ::closedir(d);
  return n - 3;  // ".", ".." and the listing's own
}

constexpr uint32_t kClosing = 1u << 31;

// Closes a folder's descriptor unless a walker uses it; its mutex is held.
bool closeIfUnused(std::atomic<int>& fd, std::atomic<uint32_t>& pins) {
  uint32_t unused = 0;
  if (!pins.compare_exchange_strong(unused, kClosing, std::memory_order_acq_rel)) return false;
  const int was = fd.exchange(-1, std::memory_order_acq_rel);
  if (was >= 0) ::close(was);
  pins.fetch_sub(kClosing, std::memory_order_release);  // pins taken meanwhile are given back
  return true;
}
}  // namespace

// A walker holds at most one folder's mutex at a time (never while opening):
// evict() can then try every other one.
int WorkerPool::pin(Dir* dir) {
  if (!(dir->pins.fetch_add(1, std::memory_order_acquire) & kClosing)) {
    const int fd = dir->fd.load(std::memory_order_acquire);
    if (fd >= 0) return fd;  // open, and stays so while pinned
  }
  dir->pins.fetch_sub(1, std::memory_order_release);
  {
    std::lock_guard lock(dir->mutex);  // no closing under way now
    const int fd = dir->fd.load(std::memory_order_acquire);
    if (fd >= 0 || !dir->parent) {
      if (fd >= 0) dir->pins.fetch_add(1, std::memory_order_acquire);
      return fd;
    }
  }
  const int parentFd = pin(dir->parent);
  if (parentFd < 0) return -1;
  int fd = openFolder(parentFd, dir->name.c_str());
  unpin(dir->parent);
  struct stat st;
  // Renamed or replaced meanwhile: what is there now is not this folder.
  if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_ino != dir->ino || st.st_dev != dir->dev)) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) return -1;
  std::lock_guard lock(dir->mutex);
  if (dir->fd.load(std::memory_order_acquire) >= 0) {
    ::close(fd);  // another walker opened it again first
  } else {
    dir->fd.store(fd, std::memory_order_release);
    park(dir);  // open again for tasks to come: it may be closed again once unused
  }
  dir->pins.fetch_add(1, std::memory_order_acquire);
  return dir->fd.load(std::memory_order_acquire);
}

void WorkerPool::unpin(Dir* dir) {
  dir->pins.fetch_sub(1, std::memory_order_release);
}

// dir->mutex is held.
void WorkerPool::park(Dir* dir) {
  std::lock_guard lock(m_fdMutex);
  if (dir->parked) return;
  dir->parked = true;
  dir->older = m_parkedTail;
  dir->newer = nullptr;
  (m_parkedTail ? m_parkedTail->newer : m_parkedHead) = dir;
  m_parkedTail = dir;
  if (++m_parkedCount > m_parkBudget) {
    if (!m_budgetKnown) {
      m_budgetKnown = true;
      struct rlimit rl;
      const int open = countOpenDescriptors();
      if (open >= 0 && ::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
        const rlim_t limit = std::min<rlim_t>(rl.rlim_cur, 1u << 20);
        const unsigned half = limit > static_cast<rlim_t>(open) ? static_cast<unsigned>((limit - open) / 2) : 0;
        m_parkBudget = std::max(kMinParkBudget, half);
        m_walkerCap = std::max(1u, half / 4);
      } else {
        m_parkBudget = ~0u;
      }
    }
    evict(dir);
  }
}

// dir->mutex is held (evict() takes it too), or dir is no longer shared.
void WorkerPool::unpark(Dir* dir) {
  if (!dir->parked) return;  // only a holder of its mutex parks it, or unparks it
  std::lock_guard lock(m_fdMutex);
  dir->parked = false;
  (dir->older ? dir->older->newer : m_parkedHead) = dir->newer;
  (dir->newer ? dir->newer->older : m_parkedTail) = dir->older;
  --m_parkedCount;
}

// Closes the oldest parked folders nobody uses until within the budget.
// m_fdMutex is held, and keep's mutex (the caller's own folder).
void WorkerPool::evict(Dir* keep) {
  for (Dir* d = m_parkedHead; d && m_parkedCount > m_parkBudget;) {
    Dir* next = d->newer;
    if (d != keep && d->mutex.try_lock()) {
      if (closeIfUnused(d->fd, d->pins)) {
        d->parked = false;
        (d->older ? d->older->newer : m_parkedHead) = d->newer;
        (d->newer ? d->newer->older : m_parkedTail) = d->older;
        --m_parkedCount;
      }
      d->mutex.unlock();
    }
    d = next;
  }
}

// An open failed for want of descriptors: count them now, and close parked
// folders down to half of what is parked at the least.
void WorkerPool::descriptorsShort() {
  std::lock_guard lock(m_fdMutex);
  m_budgetKnown = true;
  m_parkBudget = std::min(m_parkBudget, std::max(kMinParkBudget, m_parkedCount / 2));
  m_walkerCap = std::max(1u, std::min(m_walkerCap.load(), m_busy.load() / 2));
  evict(nullptr);
}

int WorkerPool::openFolder(int parentFd, const char* name) {
  // A retry waits for other walkers to finish with their folders: at most
  // about two seconds in all, then the folder counts as unreadable.
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
    unpark(dir);
    if (dir->fd >= 0) ::close(dir->fd);
    Dir* parent = dir->parent;
    delete dir;
    dir = parent;
  }
}

void WorkerPool::release(Dir* dir) {
  if (dir->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // The root stays open for the whole walk: every folder opened again is
  // reached from it.
  if (dir->parent) {
    if (!dir->parked.load(std::memory_order_acquire) && dir->lives.load(std::memory_order_acquire) == 1) {
      // No task, no sub-folder and no list holds it any more: nobody else
      // can reach it, or pin it.
      const int fd = dir->fd.exchange(-1, std::memory_order_acq_rel);
      if (fd >= 0) ::close(fd);
    } else {
      std::lock_guard lock(dir->mutex);
      if (closeIfUnused(dir->fd, dir->pins))
        unpark(dir);
      else
        park(dir);  // a sub-folder is opened again from it right now
    }
  }
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

bool WorkerPool::firstLink(dev_t dev, ino_t ino) {
  std::lock_guard lock(m_job->linkMutex);
  return m_job->links.insert(LinkKey{dev, ino}).second;
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
    m_job->observer->entry(run, name, st, counted);
    if (!counted) return;
  } else if (!typeKnown && filter && !filter->matches(name)) {
    return;
  }
  if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !firstLink(st.st_dev, st.st_ino)) return;
  countFile(st, s, f);
}

void WorkerPool::sizeBatch(Task& task, Figures& f) {
  std::vector<Task> children;
  Dir* dir = task.parent;
  const int fd = pin(dir);  // -1: closed and gone since: its files vanished with it
  WalkObserver* observer = m_job->observer;
  void* run = observer ? observer->beginRun(dir->node, task.positions.front()) : nullptr;
  if (fd >= 0) {
    for (size_t i = 0; i < task.files.size(); ++i)
      sizeEntry(dir, fd, task.files[i].c_str(), true, f, children, run, run ? task.positions[i] : 0);
    unpin(dir);
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
  const int parentFd = pin(parent);
  int fd = parentFd < 0 ? -1 : openFolder(parentFd, task.name.c_str());
  struct stat st;
  if (fd < 0) {
    // Unreadable or vanished: the parent counted it already; take its date
    // and blocks from the parent's view and go on.
    const bool seen = parentFd >= 0 && ::fstatat(parentFd, task.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (parentFd >= 0) unpin(parent);
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
  unpin(parent);
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
  readDir(dir, f, walker, openedAt);
  unpin(dir);
  // Sub-folders still to be opened keep it open: parked, it may be closed
  // meanwhile if the walk holds too many.
  if (dir->refs.load(std::memory_order_acquire) > 1) {
    std::lock_guard lock(dir->mutex);
    park(dir);
  }
  release(dir);
}

void WorkerPool::readDir(Dir* dir, Figures& f, Walker& walker, int64_t openedAt) {
  std::vector<Task> children;
  WalkObserver* observer = m_job->observer;
  const int fd = dir->fd;  // pinned by the reader
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
  Job job{settings, figures, observer, {}, {}};
  {
    std::lock_guard fdLock(m_fdMutex);
    m_parkBudget = kFirstParkBudget;
    m_budgetKnown = false;
    m_walkerCap = ~0u;
  }
  std::unique_lock lock(m_mutex);
  m_job = &job;
  ++m_busy;
  lock.unlock();
  Figures local;
  Dir* root = new Dir(rootFd, rootDev, 0);
  root->node = rootNode;
  readDir(root, local, m_caller, steadyNs());
  unpin(root);
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
