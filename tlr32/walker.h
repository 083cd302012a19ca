#pragma once
// The engine's tree walk: a persistent pool of worker threads that sizes one
// folder tree at a time. Everything works relative to directory descriptors,
// so depth and path length are unlimited and no path is built on the hot path.
//
// Counting rules (one computation):
// - "Directories": every folder inside the root, the root itself not counted.
//   A folder that cannot be opened still counts; its contents are skipped. A
//   root that cannot be opened counts itself (Engine::calcUsage): 1, not 0.
// - "Unreadable" folders: those that cannot be opened, and once each those
//   read only in part: an entry that cannot be looked at for another reason
//   than having gone (a folder that may be listed but not entered), or a
//   listing cut short.
// - "Files": every entry that is not a folder and passes the file spec
//   filter: regular files, symbolic links (never followed), devices, pipes
//   and sockets.
// - File bytes: regular files' sizes. Other non-folders hold no file bytes.
// - Disk bytes: regular files' sizes rounded up to the cluster size (0: no
//   rounding); or, with the allocated-blocks option, st_blocks x 512 of every
//   entry, folders and the root included, as du counts.
// - A file with several hard links: every name is a file, and the bytes
//   count once, at the first name met (by the walk, or by an earlier
//   computation of the same batch; see SeenFiles): they exist once on disk,
//   whichever folder they are reached from, as du counts them.
// - Pseudo file systems (proc, sysfs, ...) store nothing on a disk and may
//   report absurd sizes (/proc/kcore): a folder on one counts, its contents are
//   not walked.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "tlr32/file_facts.h"
#include "tlr32/file_spec.h"

namespace tlr {

// The earliest time a timespec can hold. The newest date of a walk starts
// here, not at 1970: a file dated 1950 is newer than nothing at all.
inline constexpr time_t kNoTime = std::numeric_limits<time_t>::min();

struct Figures {
  uint64_t dirs = 0;
  uint64_t files = 0;
  uint64_t fileBytes = 0;
  uint64_t diskBytes = 0;
  uint64_t unreadableDirs = 0;
  struct timespec newest {kNoTime, 0};  // newest last change seen; kNoTime: none

  void add(const Figures& other);
  void seeTime(const struct timespec& t) {
    if (t.tv_sec > newest.tv_sec || (t.tv_sec == newest.tv_sec && t.tv_nsec > newest.tv_nsec))
      newest = t;
  }
};

// Files with several names met so far, by device and inode. A walk's
// walkers share one; so do the computations of one batch (a refresh of the
// window), as `du -s a b` counts a file reached from both once, at a.
class SeenFiles {
 public:
  // True the first time the file is met.
  bool firstName(DeviceId dev, FileId ino);

 private:
  struct Key {
    DeviceId dev;
    FileId ino;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept;
  };
  std::mutex m_mutex;
  std::unordered_set<Key, KeyHash> m_seen;
};

struct WalkSettings {
  uint64_t clusterSize = 0;       // 0: disk bytes are file bytes
  bool allocatedBlocks = false;   // disk bytes from st_blocks, as du
  const FileSpec* fileSpec = nullptr;  // nullptr: every file counts
  SeenFiles* seenFiles = nullptr;  // nullptr: those of this walk only
};

// Whether the open folder lies on a pseudo file system (never on Windows).
bool isPseudoFileSystem(const FolderHandle& folder);

// Sees every entry of a walk, for the reports. The workers call it
// concurrently; a folder's handle (void*) is the observer's own. For one
// folder: subfolder() when its parent's listing names it; folder() when it
// has been opened, or could not be; then, for an open folder, runs of its
// non-folder entries and subfolder() for each of its sub-folders, from any
// threads; then folderListed() once, when its whole listing has been handed
// over (its sub-folders may still be walking). Entries of one run are
// contiguous in the folder's listing and come in its order. Positions
// (`first`, `position`) count a folder's entries in the order the file
// system lists them, so they do not depend on timing.
class WalkObserver {
 public:
  enum class FolderState { Open, Unreadable, Vanished, PseudoFileSystem };
  virtual ~WalkObserver() = default;
  virtual void* subfolder(void* parent, const char* name, uint32_t position) = 0;
  // st is nullptr when the folder vanished. Only an Open folder gets runs,
  // sub-folders and folderListed().
  virtual void folder(void* folder, const FileStat* st, FolderState state) = 0;
  virtual void* beginRun(void* folder, uint32_t first) = 0;
  // One non-folder entry at its position in the folder's listing; counted is
  // false when the file specification leaves it out.
  virtual void entry(void* run, const char* name, const FileStat& st, bool counted, uint32_t position) = 0;
  virtual void endRun(void* run) = 0;
  // Some of an open folder could not be read: an entry that could not be
  // looked at (a folder that may be listed but not entered), or a listing
  // cut short. Once a folder at most, before its folderListed().
  virtual void folderPartlyUnreadable(void* folder) = 0;
  virtual void folderListed(void* folder) = 0;
};

class WorkerPool {
 public:
  // cpuWalkers: how many walk at once while the tree is in the cache, the
  // calling thread included (at least 1). ioWalkers: how many may walk at once
  // while the walk waits on the device (at least cpuWalkers). The threads
  // beyond the first cpuWalkers are started only when a walk first waits on
  // the device.
  WorkerPool(unsigned cpuWalkers, unsigned ioWalkers);
  ~WorkerPool();  // stops and joins the workers; no walk may be running
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Sizes the contents of an open directory (root, owned by the call from
  // now on) into figures. rootDev is the root's device. Not re-entrant: one
  // walk at a time.
  // With an observer, every entry is stat'ed (also those the file-name
  // filter leaves out) and handed to it; root is its handle of the root
  // folder.
  void walk(FolderHandle root, DeviceId rootDev, const WalkSettings& settings, Figures& figures,
            WalkObserver* observer = nullptr, void* rootNode = nullptr);

  // Counts one non-folder entry already stat'ed.
  static void countFile(const FileStat& st, const WalkSettings& settings, Figures& f);
  // Counts another name of a file whose bytes are counted already.
  static void countOtherName(const FileStat& st, Figures& f) {
    ++f.files;
    f.seeTime(st.st_mtim);
  }

  // A read that takes longer than this waited on the device (and not on the
  // cache), unless the scheduler took the thread off its CPU meanwhile.
  // Tests set 0 to have every read count as one, whatever the scheduler did.
  void setDeviceWaitNs(int64_t ns) { m_deviceWaitNs = ns; }
  // For tests and benchmarks: the threads started so far (the caller not
  // counted), and how often a walk widened to the I/O walkers.
  unsigned threadsStarted();
  unsigned widenings() const { return m_widenings.load(std::memory_order_relaxed); }

 private:
  struct Dir;
  // Either a sub-folder to open (name) or, for a large folder whose reader
  // found a worker idle, a batch of its non-folder names to stat.
  struct Task {
    Dir* parent;
    std::string name;
    std::vector<std::string> files;
    // With an observer: its handle of the sub-folder, or the listing
    // positions of the batch's files.
    void* node = nullptr;
    std::vector<uint32_t> positions;
  };
  struct Job;
  // What one walking thread keeps between tasks.
  struct Walker {
    // 64 KiB of getdents64 records is about 2,000 entries: few system calls
    // per folder without holding much memory per walker.
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    long lastInvoluntary = -1;  // the thread's involuntary switches at its last look
    long lastBlockReads = -1;   // and its reads from a block device
  };
  // Lists the walk's root folder (its reader is the calling thread) and
  // hands its sub-folders on.
  void readRoot(FolderHandle root, DeviceId rootDev, Figures& f, void* rootNode);

  void workerMain();
  void runQueued(std::unique_lock<std::mutex>& lock, Walker& walker);
  void processTask(Task& task, Figures& f, Walker& walker);
#ifdef _WIN32
  // Lists the folder at dir's path from its listing's handle and first
  // entry (a find handle and its WIN32_FIND_DATAW; walker_win32.cpp).
  void readDir(Dir* dir, void* listing, const void* firstEntry, Figures& f, int64_t openedAt);
  // Looks at and counts one non-folder entry of dir from its listing's
  // record; a folder found instead joins children.
  void sizeEntry(Dir* dir, const void* entry, const char* name, Figures& f, std::vector<Task>& children,
                 void* run = nullptr, uint32_t position = 0);
#else
  // Lists the folder open as fd (borrowed by the caller).
  void readDir(Dir* dir, int fd, Figures& f, Walker& walker, int64_t openedAt);
  // Stats and counts one non-folder entry of the folder open as fd; a folder
  // found instead (the entry changed since it was listed) joins children.
  void sizeEntry(Dir* dir, int fd, const char* name, bool typeKnown, Figures& f, std::vector<Task>& children,
                 void* run = nullptr, uint32_t position = 0);
#endif
  // Counts a non-folder entry looked at: hands it to the observer (run) at
  // its listing position with whether the filter counts it, or, unless the filter was applied already
  // (filtered), applies it; a file with several names counts its bytes once.
  void countEntry(const char* name, const FileStat& st, const FileSpec* filter, bool filtered, void* run,
                  uint32_t position, Figures& f);
  void addSubfolder(Dir* dir, const char* name, uint32_t position, std::vector<Task>& children);
  void listed(Dir* dir);
  void partlyUnreadable(Dir* dir, Figures& f);
  void sizeBatch(Task& task, Figures& f);
  void publish(std::vector<Task>& tasks);
  void release(Dir* dir);
  // The walk is waiting on the device: let up to m_ioWalkers walk for a while.
  void deviceWaited();
  void startThreads(unsigned total);
  // True when another worker could take a task published now.
  bool someoneIdle() const;
  // Walkers that may hold a task now.
  unsigned allowed() const {
    return std::min(m_allowed.load(std::memory_order_relaxed), m_walkerCap.load(std::memory_order_relaxed));
  }

  void dropLife(Dir* dir);

  // The descriptors of the walk's folders have this one owner: walkers
  // borrow a folder's descriptor and give it back; only the owner opens a
  // folder again or closes one, under its one mutex (see walker.cpp).
  class FolderDescriptors {
   public:
    FolderDescriptors(std::atomic<unsigned>& walkerCap, const std::atomic<unsigned>& busy)
        : m_walkerCap(walkerCap), m_busy(busy) {}
    void startWalk();
    // The folder's descriptor, open until giveBack(dir): opened again by
    // name from its parent (itself opened again if need be) when it was
    // closed. -1, and nothing borrowed, when it cannot be opened again
    // (renamed or gone since). The caller holds a reference to dir.
    int borrow(Dir* dir);
    // The caller holds a reference to dir and gives it up next.
    void giveBack(Dir* dir);
    // For the reader of a folder, once it is listed: when nothing else holds
    // the folder, closes its descriptor and returns true (dir may go).
    bool closeIfAlone(Dir* dir);
    // No task of the folder needs its descriptor any more; folders below it
    // may still be opened again from it.
    void finished(Dir* dir);
    // The folder is about to be deleted: its descriptor is closed and the
    // owner holds nothing of it any more.
    void forget(Dir* dir);
    // Opens a sub-folder; short of descriptors, closes idle ones and waits
    // for other walkers to give theirs back.
    int open(int parentFd, const char* name);

   private:
    // With m_mutex held:
    void take(Dir* dir);
    void putBack(Dir* dir);
    int detach(Dir* dir);  // the descriptor, -1 when closed, which the caller closes
    void unlist(Dir* dir);
    void countBudget();
    void evict();
    void descriptorsShort();

    std::atomic<unsigned>& m_walkerCap;  // the pool's
    const std::atomic<unsigned>& m_busy;  // the pool's
    std::mutex m_mutex;
    // Open descriptors nobody borrows, oldest first.
    Dir* m_idleHead = nullptr;
    Dir* m_idleTail = nullptr;
    unsigned m_idleCount = 0;
    unsigned m_budget = 0;  // idle descriptors kept at most
    bool m_budgetKnown = false;
  };

  const unsigned m_cpuWalkers;
  const unsigned m_ioWalkers;

  std::mutex m_mutex;
  std::condition_variable m_workCv;
  std::condition_variable m_doneCv;
  std::vector<Task> m_tasks;  // LIFO: depth first keeps few folders open
  std::atomic<unsigned> m_busy{0};      // walkers holding a task; changed under m_mutex
  std::atomic<unsigned> m_allowed{1};   // walkers that may hold a task at once; under m_mutex
  // At most this many walkers, whatever the device: the descriptors a
  // process may hold are few (set for one walk when they run short).
  std::atomic<unsigned> m_walkerCap{~0u};
  std::atomic<int64_t> m_slowUntil{0};  // steady ns: the device was slow until about then
  std::atomic<unsigned> m_waiting{0};   // workers asleep for want of tasks
  std::atomic<unsigned> m_widenings{0};
  int64_t m_deviceWaitNs;
  bool m_stop = false;
  bool m_callerIdle = false;  // the calling thread waits in m_doneCv for tasks or the end
  Job* m_job = nullptr;
  Walker m_caller;

  FolderDescriptors m_descriptors{m_walkerCap, m_busy};

  std::mutex m_threadsMutex;  // starting threads never holds up the walk's mutex
  std::vector<std::thread> m_threads;
};

}  // namespace tlr
