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
// /usr saw 30 such reads, and widening for them made it 40 % slower. The
// kernel counts those switches apart from the ones where the thread waited:
// a slow read without an involuntary switch since this thread's last look
// waited on the device. The count costs a system call, made only after a
// slow read.
// (The count this thread saw last lives in its Walker, not in a thread_local:
// the leak checker's scan of a library's thread-local blocks at exit crashed
// while workers still walked.)
bool slowReadWaitedOnDevice(long& lastInvoluntary) {
  struct rusage ru;
  if (::getrusage(RUSAGE_THREAD, &ru) != 0) return true;
  const bool preempted = ru.ru_nivcsw != lastInvoluntary;
  lastInvoluntary = ru.ru_nivcsw;
  return !preempted;
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

// A folder open for walking. Pending child tasks hold references to it, so it
// stays open exactly until its last sub-folder has been opened.
struct WorkerPool::Dir {
  int fd;
  dev_t dev;
  std::atomic<uint32_t> refs;
  // With an observer: its handle of the folder, and the parts of the listing
  // still to hand over (the reader, and each batch of files it gave away).
  void* node = nullptr;
  std::atomic<uint32_t> listing{1};
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
  return m_waiting.load(std::memory_order_relaxed) > 0 &&
         m_busy.load(std::memory_order_relaxed) < m_allowed.load(std::memory_order_relaxed);
}

void WorkerPool::workerMain() {
  Walker walker;
  std::unique_lock lock(m_mutex);
  for (;;) {
    ++m_waiting;
    m_workCv.wait(lock, [this] { return m_stop || (!m_tasks.empty() && m_busy < m_allowed); });
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
    if (m_busy >= m_allowed) break;
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
    if (m_waiting > 0 && m_busy < m_allowed) {
      wake = std::min<unsigned>(static_cast<unsigned>(tasks.size()), m_allowed - m_busy);
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

void WorkerPool::release(Dir* dir) {
  if (dir->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    ::close(dir->fd);
    delete dir;
  }
}

void WorkerPool::listed(Dir* dir) {
  if (dir->listing.fetch_sub(1, std::memory_order_acq_rel) == 1) m_job->observer->folderListed(dir->node);
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

void WorkerPool::sizeEntry(Dir* dir, const char* name, bool typeKnown, Figures& f, std::vector<Task>& children,
                           void* run, uint32_t position) {
  const WalkSettings& s = m_job->settings;
  const FileSpec* filter = (s.fileSpec && !s.fileSpec->matchesAll()) ? s.fileSpec : nullptr;
  // An observer sees the entries the filter leaves out as well.
  if (typeKnown && filter && !run && !filter->matches(name)) return;
  struct stat st;
  if (::fstatat(dir->fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;  // vanished
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
  if (WalkObserver* observer = m_job->observer) {
    void* run = observer->beginRun(task.parent->node, task.positions.front());
    for (size_t i = 0; i < task.files.size(); ++i)
      sizeEntry(task.parent, task.files[i].c_str(), true, f, children, run, task.positions[i]);
    observer->endRun(run);
    listed(task.parent);
  } else {
    for (const std::string& name : task.files) sizeEntry(task.parent, name.c_str(), true, f, children);
  }
  publish(children);
  release(task.parent);
}

void WorkerPool::processTask(Task& task, Figures& f, Walker& walker) {
  if (!task.files.empty()) {
    sizeBatch(task, f);
    return;
  }
  Dir* parent = task.parent;
  const int64_t openedAt = steadyNs();
  WalkObserver* observer = m_job->observer;
  int fd = ::openat(parent->fd, task.name.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (fd < 0) {
    // Unreadable or vanished: the parent counted it already; take its date
    // and blocks from the parent's view and go on.
    const bool seen = ::fstatat(parent->fd, task.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
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
  dev_t parentDev = parent->dev;
  release(parent);
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    ++f.unreadableDirs;
    if (observer) observer->folder(task.node, nullptr, WalkObserver::FolderState::Vanished);
    return;
  }
  f.seeTime(st.st_mtim);
  if (m_job->settings.allocatedBlocks) f.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
  // Mount points are rare: only there is the file-system type worth a call.
  if (st.st_dev != parentDev && isPseudoFileSystem(fd)) {
    ::close(fd);
    if (observer) observer->folder(task.node, &st, WalkObserver::FolderState::PseudoFileSystem);
    return;
  }
  Dir* dir = new Dir{fd, st.st_dev, {1}, task.node};
  if (observer) observer->folder(task.node, &st, WalkObserver::FolderState::Open);
  readDir(dir, f, walker, openedAt);
  release(dir);
}

void WorkerPool::readDir(Dir* dir, Figures& f, Walker& walker, int64_t openedAt) {
  std::vector<Task> children;
  WalkObserver* observer = m_job->observer;
  uint32_t position = 0;  // of the next entry in the folder's listing
  for (int64_t readFrom = openedAt;; readFrom = steadyNs()) {
    ssize_t n = ::getdents64(dir->fd, walker.buffer.data(), walker.buffer.size());
    if (steadyNs() - readFrom > m_deviceWaitNs && (m_deviceWaitNs == 0 || slowReadWaitedOnDevice(walker.lastInvoluntary))) deviceWaited();
    if (n <= 0) {
      // Error mid-folder: what was read counts; the rest cannot be seen.
      if (n < 0) ++f.unreadableDirs;
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
        sizeEntry(dir, name, e->d_type != DT_UNKNOWN, f, children, run, at);
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
  std::unique_lock lock(m_mutex);
  m_job = &job;
  ++m_busy;
  lock.unlock();
  Figures local;
  Dir* root = new Dir{rootFd, rootDev, {1}, rootNode};
  readDir(root, local, m_caller, steadyNs());
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
    m_doneCv.wait(lock, [this] { return (m_tasks.empty() && m_busy == 0) || (!m_tasks.empty() && m_busy < m_allowed); });
    m_callerIdle = false;
    --m_waiting;
  }
  m_job = nullptr;
}

}  // namespace tlr
