// The Recycle Bin: an item goes there through the shell, with undo, so the
// desktop can put it back. Deleting for good walks the tree itself, links as
// links, never into another volume.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <memory>

#include "platform/fs.h"
#include "platform/hidden_link_win32.h"
#include "platform/path.h"
#include "platform/trash.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

using win32::longPath;

bool isLink(const WIN32_FIND_DATAW& fd) {
  return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (fd.dwReserved0 == IO_REPARSE_TAG_SYMLINK || fd.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

// A folder where another volume is mounted (a junction to a volume).
bool isVolumeMount(const std::string& path, const WIN32_FIND_DATAW& fd) {
  if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || fd.dwReserved0 != IO_REPARSE_TAG_MOUNT_POINT) return false;
  wchar_t volume[64];
  return GetVolumeNameForVolumeMountPointW(win32::wide(withTrailingDelim(path)).c_str(), volume, 64) != 0;
}

uint64_t sizeOf(const WIN32_FIND_DATAW& fd) {
  return (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}

// The item's own find record (a link's, not its target's).
bool recordOf(const std::string& path, WIN32_FIND_DATAW& fd) {
  HANDLE h = FindFirstFileExW(longPath(path).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

// A link wine shows as the file it leads to: deleting it by name would delete
// that file (see hidden_link_win32.h).
constexpr DWORD kHiddenLink = 0x20000001;  // an application's own error code

std::string entryError(DWORD e) { return e == kHiddenLink ? std::string(win32::kHiddenLinkReason) : win32::errorText(e); }

// Walks a tree depth first, with the open listings on a stack of its own (a
// tree may be deeper than any thread's stack). visit sees each entry; for a
// folder, after everything inside it (leave), when nothing inside was kept.
class TreeWalk {
 public:
  enum class End { Done, Stopped, Failed };
  // before: a file, a link or a folder about to be entered; false stops.
  // after: the same entry once done with (a folder after its contents);
  // it returns the Win32 error of acting on it, 0 when done.
  std::function<bool(const std::string& path, const WIN32_FIND_DATAW& fd)> keepGoing;
  std::function<DWORD(const std::string& path, const WIN32_FIND_DATAW& fd)> act;
  std::function<void(const std::string& path)> otherVolume;

  End run(const std::string& root, std::string& error) {
    WIN32_FIND_DATAW fd;
    if (!recordOf(root, fd)) {
      error = root + ": " + win32::errorText(GetLastError());
      return End::Failed;
    }
    struct Frame {
      std::string path;
      WIN32_FIND_DATAW fd;
      HANDLE find = INVALID_HANDLE_VALUE;
      bool keep = false;  // holds another volume: stays
    };
    std::vector<std::unique_ptr<Frame>> stack;
    auto finish = [&](Frame& f) {
      if (f.find != INVALID_HANDLE_VALUE) FindClose(f.find);
      f.find = INVALID_HANDLE_VALUE;
    };
    auto closeAll = [&] {
      for (auto& f : stack) finish(*f);
    };
    // One entry: a file or link is done at once, a folder is pushed.
    auto enter = [&](const std::string& path, const WIN32_FIND_DATAW& entry) -> End {
      if (isVolumeMount(path, entry)) {
        if (otherVolume) otherVolume(path);
        for (auto& f : stack) f->keep = true;
        return End::Done;
      }
      if (keepGoing && !keepGoing(path, entry)) return End::Stopped;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(entry)) {
        auto f = std::make_unique<Frame>();
        f->path = path;
        f->fd = entry;
        stack.push_back(std::move(f));
        return End::Done;
      }
      if (act) {
        if (const DWORD e = act(path, entry)) {
          error = path + ": " + entryError(e);
          return End::Failed;
        }
      }
      return End::Done;
    };
    if (const End e = enter(root, fd); e != End::Done) return e;
    while (!stack.empty()) {
      Frame& top = *stack.back();
      WIN32_FIND_DATAW child;
      bool more;
      if (top.find == INVALID_HANDLE_VALUE) {
        top.find = FindFirstFileExW(longPath(withTrailingDelim(top.path) + "*").c_str(), FindExInfoBasic, &child,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (top.find == INVALID_HANDLE_VALUE) {
          const DWORD e = GetLastError();
          if (e != ERROR_FILE_NOT_FOUND) {
            error = top.path + ": " + win32::errorText(e);
            closeAll();
            return End::Failed;
          }
        }
        more = top.find != INVALID_HANDLE_VALUE;
      } else {
        more = FindNextFileW(top.find, &child) != 0;
      }
      if (more) {
        const std::wstring name = child.cFileName;
        if (name == L"." || name == L"..") continue;
        const End e = enter(withTrailingDelim(top.path) + win32::utf8(name), child);
        if (e != End::Done) {
          closeAll();
          return e;
        }
        continue;
      }
      // Done with the folder's contents: the folder itself.
      finish(top);
      const std::unique_ptr<Frame> done = std::move(stack.back());
      stack.pop_back();
      if (done->keep) continue;
      if (act) {
        if (const DWORD e = act(done->path, done->fd)) {
          error = done->path + ": " + entryError(e);
          closeAll();
          return End::Failed;
        }
      }
    }
    return End::Done;
  }
};

DWORD removeEntry(const std::string& path, const WIN32_FIND_DATAW& fd) {
  const std::wstring p = longPath(path);
  if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && win32::isHiddenLink(p)) return kHiddenLink;
  // A read-only file is removed as on other systems: its folder decides.
  if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(p.c_str(), fd.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // A link to a folder is a folder entry of its own: removing it leaves what
  // it points to alone.
  const bool ok = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(p.c_str()) : DeleteFileW(p.c_str());
  return ok ? 0 : GetLastError();
}

// Under wine, the first link inside the folder at path that wine shows as
// the file it leads to (see hidden_link_win32.h), named from the folder;
// empty when there is none, and always on Windows.
std::string hiddenLinkInside(const std::string& path, const WIN32_FIND_DATAW& fd) {
  if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || isLink(fd) || !win32::runningUnderWine()) return {};
  std::string found;
  TreeWalk walk;
  walk.keepGoing = [&](const std::string& p, const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !win32::isHiddenLink(longPath(p))) return true;
    found = p.substr(std::min(p.size(), path.size() + 1));
    return false;
  };
  std::string ignored;
  walk.run(path, ignored);
  return found;
}

}  // namespace

std::string homeTrashFolder() { return {}; }  // the Recycle Bin is the shell's, with no folder of ours

TrashOutcome moveToTrash(const std::string& given) {
  TrashOutcome out;
  const std::string path = withoutTrailingDelim(given);
  auto failed = [&out](TrashOutcome::Kind kind, std::string why) {
    out.kind = kind;
    out.error = std::move(why);
    return out;
  };
  if (!isAbsolutePath(path) || isRootFolder(path)) return failed(TrashOutcome::Failed, "the root folder cannot be moved");
  WIN32_FIND_DATAW fd;
  if (!recordOf(path, fd)) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return failed(TrashOutcome::Gone, {});
    return failed(TrashOutcome::Failed, win32::errorText(e));
  }
  if (isVolumeMount(path, fd)) return failed(TrashOutcome::NoTrash, "another volume is mounted there");
  // Not NoTrash: deleting it for good would delete what it leads to as well.
  if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && win32::isHiddenLink(longPath(path)))
    return failed(TrashOutcome::Failed, win32::kHiddenLinkReason);
  // A folder that holds one: should wine's Recycle Bin not take the folder,
  // the shell offers to delete it instead, and its delete follows the link.
  if (const std::string link = hiddenLinkInside(path, fd); !link.empty())
    return failed(TrashOutcome::Failed, "it holds " + link + ": " + win32::kHiddenLinkReason);
  // The volume the item really is on: its folder's, links resolved. Only
  // fixed drives have a Recycle Bin; an item elsewhere would be deleted at
  // once by the shell, which is for the user to agree to.
  wchar_t volume[MAX_PATH + 1];
  if (!GetVolumePathNameW(longPath(std::string(folderPart(path))).c_str(), volume, MAX_PATH + 1))
    return failed(TrashOutcome::Failed, win32::errorText(GetLastError()));
  if (GetDriveTypeW(volume) != DRIVE_FIXED) return failed(TrashOutcome::NoTrash, "its drive has no Recycle Bin");
  // The shell takes no \\?\ paths: longer ones cannot go to the Recycle Bin.
  std::wstring from = win32::wide(path);
  if (from.size() >= MAX_PATH) return failed(TrashOutcome::NoTrash, "its path is too long for the Recycle Bin");
  from.push_back(L'\0');  // the list ends with an empty name
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  // FOF_WANTNUKEWARNING: should the shell find it cannot recycle the item
  // after all (too large for the bin), it asks before deleting it for good.
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
  const int rc = SHFileOperationW(&op);
  if (op.fAnyOperationsAborted) return failed(TrashOutcome::Failed, "the deletion was cancelled");
  if (rc != 0) return failed(TrashOutcome::Failed, "the shell could not move it (error " + std::to_string(rc) + ")");
  if (recordOf(path, fd)) return failed(TrashOutcome::Failed, "it is still there");
  out.kind = TrashOutcome::Trashed;
  return out;
}

TreeSize measureTree(const std::string& given, bool* stopped, const std::function<bool(const TreeSize&)>& keepGoing) {
  TreeSize size;
  TreeWalk walk;
  walk.keepGoing = [&](const std::string&, const WIN32_FIND_DATAW& fd) {
    ++size.items;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(fd)) size.bytes += sizeOf(fd);
    return !keepGoing || keepGoing(size);
  };
  std::string ignored;
  const bool wasStopped = walk.run(withoutTrailingDelim(given), ignored) == TreeWalk::End::Stopped;
  if (stopped) *stopped = wasStopped;
  return size;
}

DeleteResult deleteForGood(const std::string& given, std::string& error, TreeSize& removed,
                           const std::function<bool(const TreeSize&)>& progress,
                           std::vector<std::string>* otherVolumes) {
  removed = {};
  const std::string path = withoutTrailingDelim(given);
  if (!isAbsolutePath(path) || isRootFolder(path)) {
    error = path + ": the root folder cannot be deleted";
    return DeleteResult::Failed;
  }
  bool stoppedByUser = false;
  TreeWalk walk;
  walk.keepGoing = [&](const std::string&, const WIN32_FIND_DATAW&) {
    if (progress && !progress(removed)) {
      stoppedByUser = true;
      return false;
    }
    return true;
  };
  walk.act = [&](const std::string& p, const WIN32_FIND_DATAW& fd) -> DWORD {
    if (const DWORD e = removeEntry(p, fd)) return e;
    ++removed.items;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink(fd)) removed.bytes += sizeOf(fd);
    return 0;
  };
  walk.otherVolume = [otherVolumes](const std::string& p) {
    if (otherVolumes) otherVolumes->push_back(p);
  };
  switch (walk.run(path, error)) {
    case TreeWalk::End::Done: return DeleteResult::Done;
    case TreeWalk::End::Stopped: return stoppedByUser ? DeleteResult::Stopped : DeleteResult::Failed;
    case TreeWalk::End::Failed: break;
  }
  return DeleteResult::Failed;
}

}  // namespace platform
