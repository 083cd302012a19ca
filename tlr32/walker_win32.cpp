// Folders read on Windows: listed by path with FindFirstFileExW (basic
// information, large fetches), long paths throughout, entries looked at with
// a handle opened on the entry itself, never following a symbolic link or a
// junction. A folder is read by its path, so nothing stays open between tasks
// and the descriptor owner of the Linux walk has nothing to own here.
#include <cerrno>

#include "tlr32/walker.h"
#include "tlr32/walker_dir.h"
#include "platform/hidden_link_win32.h"
#include "tlr32/win32_files.h"

namespace tlr {
namespace {

// Sub-folders found are handed to the other walkers after this many entries
// of a folder, as the Linux walk hands them over per listing chunk.
constexpr uint32_t kChunkEntries = 1024;

std::wstring entryPath(const std::wstring& folder, const wchar_t* name) {
  std::wstring path = folder;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path += name;
}

bool enteredFolder(const WIN32_FIND_DATAW& e) {
  return (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLinkReparsePoint(e.dwFileAttributes, e.dwReserved0);
}

}  // namespace

bool isPseudoFileSystem(const FolderHandle&) { return false; }

// Nothing is held between tasks: the owner's steps have nothing to do.
void WorkerPool::FolderDescriptors::startWalk() {}
void WorkerPool::FolderDescriptors::finished(Dir*) {}
void WorkerPool::FolderDescriptors::forget(Dir*) {}

void WorkerPool::readRoot(FolderHandle root, DeviceId rootDev, Figures& f, void* rootNode) {
  Dir* dir = new Dir(std::move(root), rootDev, 0);
  dir->node = rootNode;
  const int64_t openedAt = steadyNs();
  WIN32_FIND_DATAW first;
  const HANDLE listing = startListing(dir->path, first);
  if (listing == INVALID_HANDLE_VALUE) {
    // Readable a moment ago (the caller listed it): gone or shut since.
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) partlyUnreadable(dir, f);
    if (m_job->observer) listed(dir);
  } else {
    readDir(dir, listing, &first, f, openedAt);
  }
  release(dir);
}

void WorkerPool::processTask(Task& task, Figures& f, Walker&) {
  Dir* parent = task.parent;
  WalkObserver* observer = m_job->observer;
  const int64_t openedAt = steadyNs();
  std::wstring path = entryPath(parent->path, asWide(task.name).c_str());
  FileStat st;
  const bool seen = lookAtEntryOn(path, parent->dev, st);
  WIN32_FIND_DATAW first;
  // A folder replaced by a link since it was listed is not followed.
  const HANDLE listing = seen && S_ISDIR(st.st_mode) ? startListing(path, first) : INVALID_HANDLE_VALUE;
  const bool emptyRoot = listing == INVALID_HANDLE_VALUE && seen && S_ISDIR(st.st_mode) && ::GetLastError() == ERROR_FILE_NOT_FOUND;
  if (seen) {
    f.seeTime(st.st_mtim);
    if (m_job->settings.allocatedBlocks) f.diskBytes += st.st_blocks * 512;
  }
  if (listing == INVALID_HANDLE_VALUE && !emptyRoot) {
    // Unreadable or vanished: the parent counted it already.
    ++f.unreadableDirs;
    if (observer)
      observer->folder(task.node, seen ? &st : nullptr,
                       seen ? WalkObserver::FolderState::Unreadable : WalkObserver::FolderState::Vanished);
    release(parent);
    return;
  }
  if (steadyNs() - openedAt > m_deviceWaitNs) deviceWaited();
  Dir* dir = new Dir(std::move(path), st.st_dev, st.st_ino);
  dir->node = task.node;
  dir->parent = parent;
  dir->name = std::move(task.name);
  parent->lives.fetch_add(1, std::memory_order_relaxed);  // before the parent's reference goes
  release(parent);
  if (observer) observer->folder(task.node, &st, WalkObserver::FolderState::Open);
  if (emptyRoot) {
    if (observer) listed(dir);
  } else {
    readDir(dir, listing, &first, f, openedAt);
  }
  release(dir);
}

void WorkerPool::readDir(Dir* dir, void* listing, const void* firstEntry, Figures& f, int64_t) {
  std::vector<Task> children;
  WalkObserver* observer = m_job->observer;
  WIN32_FIND_DATAW e = *static_cast<const WIN32_FIND_DATAW*>(firstEntry);
  if (platform::win32::runningUnderWine()) dir->finalPath = platform::win32::finalPathOfFolder(dir->path);
  uint32_t position = 0;  // of the next entry in the folder's listing
  uint32_t inChunk = 0;
  void* run = nullptr;
  for (;;) {
    const std::string name = asUtf8(e.cFileName, wcslen(e.cFileName));
    if (!isDotOrDotDot(name.c_str())) {
      const uint32_t at = position++;
      if (enteredFolder(e)) {
        ++f.dirs;
        addSubfolder(dir, name.c_str(), at, children);
      } else {
        if (observer && !run) run = observer->beginRun(dir->node, at);
        sizeEntry(dir, &e, name.c_str(), f, children, run, at);
      }
      if (++inChunk == kChunkEntries) {
        // Hand over sub-folders chunk by chunk so idle workers start early.
        if (run) observer->endRun(run);
        run = nullptr;
        inChunk = 0;
        publish(children);
      }
    }
    if (!::FindNextFileW(listing, &e)) {
      // Error mid-folder: what was read counts; the rest cannot be seen.
      if (::GetLastError() != ERROR_NO_MORE_FILES) partlyUnreadable(dir, f);
      break;
    }
  }
  ::FindClose(listing);
  if (run) observer->endRun(run);
  publish(children);
  if (observer) listed(dir);
}

void WorkerPool::sizeEntry(Dir* dir, const void* entry, const char* name, Figures& f, std::vector<Task>& children,
                           void* run, uint32_t position) {
  const auto& e = *static_cast<const WIN32_FIND_DATAW*>(entry);
  const WalkSettings& s = m_job->settings;
  const FileSpec* filter = (s.fileSpec && !s.fileSpec->matchesAll()) ? s.fileSpec : nullptr;
  // An observer sees the entries the filter leaves out as well.
  if (filter && !run && !filter->matches(name)) return;
  const std::wstring path = entryPath(dir->path, e.cFileName);
  FileStat st;
  if (!lookAtEntryOn(path, dir->dev, st, &dir->finalPath)) {
    if (errno == ENOENT) return;  // gone since it was listed
    // In use by the system (a paging file) or no file to open (a pipe): the
    // listing's facts, which is all there is to know.
    factsFromListing(path, e, dir->dev, st);
  }
  // What the listing calls a link stays one, whatever the handle says (wine
  // shows a link to a folder as the folder once it is open).
  if (isLinkReparsePoint(e.dwFileAttributes, e.dwReserved0)) {
    st.st_mode = S_IFLNK;
    st.st_size = 0;
    st.st_mtim = timeFromFileTime(e.ftLastWriteTime);
  }
  if (S_ISDIR(st.st_mode)) {
    ++f.dirs;
    addSubfolder(dir, name, position, children);
    return;
  }
  countEntry(name, st, filter, true, run, position, f);
}

}  // namespace tlr
