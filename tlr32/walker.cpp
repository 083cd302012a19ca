#include "tlr32/walker.h"

#include <algorithm>
#include <system_error>

#include "tlr32/progress.h"
#include "tlr32/walker_dir.h"

namespace tlr {

Progress& progress() {
  static Progress counts;  // constant-initialised: no guard, no destructor
  return counts;
}

size_t SeenFiles::KeyHash::operator()(const Key& k) const noexcept {
  return std::hash<uint64_t>()(static_cast<uint64_t>(k.ino) * 0x9E3779B97F4A7C15ULL ^ static_cast<uint64_t>(k.dev));
}

bool SeenFiles::firstName(DeviceId dev, FileId ino) {
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

void WorkerPool::countEntry(const char* name, const FileStat& st, const FileSpec* filter, bool filtered, void* run,
                            uint32_t position, Figures& f) {
  if (run) {
    const bool counted = !filter || filter->matches(name);
    m_job->observer->entry(run, name, st, counted, position);
    if (!counted) return;
  } else if (!filtered && filter && !filter->matches(name)) {
    return;
  }
  if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !m_job->seen().firstName(st.st_dev, st.st_ino))
    countOtherName(st, f);
  else
    countFile(st, m_job->settings, f);
}

void WorkerPool::countFile(const FileStat& st, const WalkSettings& s, Figures& f) {
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

void WorkerPool::walk(FolderHandle rootFolder, DeviceId rootDev, const WalkSettings& settings, Figures& figures,
                      WalkObserver* observer, void* rootNode) {
  Job job{settings, figures, observer, {}};
  m_descriptors.startWalk();
  std::unique_lock lock(m_mutex);
  m_job = &job;
  ++m_busy;
  lock.unlock();
  Figures local;
  readRoot(std::move(rootFolder), rootDev, local, rootNode);
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
