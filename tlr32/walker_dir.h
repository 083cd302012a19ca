#pragma once
// The walk's own parts that its platform halves share: a folder of the walk,
// the walk in progress, and small helpers. walker.cpp holds the pool and its
// scheduling; walker_posix.cpp and walker_win32.cpp read folders.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>

#include "tlr32/walker.h"

namespace tlr {

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

// How long the walk stays wide after its last read that waited on the device.
// A cold walk waits on nearly every folder, so it stays wide throughout; once
// the rest of the tree is found in the cache, the extra walkers stop taking
// tasks within this time.
constexpr int64_t kWideHoldNs = 20'000'000;

// A folder of the walk. Its reader and the tasks still to use its descriptor
// (sub-folders to open, batches of files to stat) hold references (refs). The
// object itself lives on while any sub-folder's does (lives), so that a
// sub-folder whose descriptor was closed to stay within the process's limit
// can be opened again from it, by name. Its descriptor belongs to the pool's
// FolderDescriptors.
struct WorkerPool::Dir {
#ifdef _WIN32
  // A folder is read by its path: nothing stays open between tasks.
  Dir(FolderHandle folderPath, DeviceId device, FileId inode)
      : dev(device), ino(inode), path(std::move(folderPath)), fd(-1) {}
#else
  Dir(FolderHandle openFd, DeviceId device, FileId inode) : dev(device), ino(inode), fd(openFd) {}
#endif
  const DeviceId dev;
  const FileId ino;
#ifdef _WIN32
  const std::wstring path;
  // Under wine, where the folder really is (links resolved): its reader's,
  // set before it looks at the entries.
  std::wstring finalPath;
#endif
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

}  // namespace tlr
