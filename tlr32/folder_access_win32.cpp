// The engine's looks at paths on Windows: by the long form of the whole path,
// so that no length limit applies. There are no folder descriptors to hand
// across the C interface, so the "in folder" forms use the whole path.
#include "tlr32/folder_access.h"

#include <cerrno>
#include <string_view>

#include "platform/hidden_link_win32.h"
#include "tlr32/win32_files.h"
#include "tlr32/win32_text.h"

namespace tlr {

bool lookAt(const std::string& path, FileStat& st, bool follow) {
  const std::wstring full = fullLongPath(path);
  return !full.empty() && (follow ? lookAtPath(full, st, true) : lookAtEntry(full, st));
}

bool lookAtIn(int, const char*, const std::string& path, FileStat& st, FolderMemo* memo) {
  const size_t nameAt = nameOffset(path);
  if (!memo || nameAt == 0 || nameAt >= path.size()) return lookAt(path, st, false);
  const std::string_view folder(path.data(), nameAt);
  if (!memo->known || memo->folder != folder) {
    FileStat folderSt;
    memo->folder.assign(folder);
    memo->known = lookAt(memo->folder, folderSt, true);
    memo->volume = folderSt.st_dev;
    if (!memo->known) return lookAt(path, st, false);
    memo->finalPath = platform::win32::runningUnderWine() ? platform::win32::finalPathOfFolder(fullLongPath(memo->folder))
                                                          : std::wstring();
  }
  const std::wstring full = fullLongPath(path);
  return !full.empty() && lookAtEntry(full, st, &memo->volume, &memo->finalPath);
}

namespace {

bool openFolderAt(const std::string& path, FolderHandle& folder, bool follow) {
  folder = fullLongPath(path);
  FileStat st;
  if (folder.empty() || !(follow ? lookAtPath(folder, st, true) : lookAtEntry(folder, st))) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
    return false;
  }
  // Only a folder whose listing can be read counts as open, as on Linux.
  WIN32_FIND_DATAW first;
  const HANDLE listing = startListing(folder, first);
  if (listing == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // a drive's root without entries
    errno = errnoFromWin32(error);
    return false;
  }
  ::FindClose(listing);
  return true;
}

}  // namespace

bool openFolder(const std::string& path, FolderHandle& folder) { return openFolderAt(path, folder, true); }

bool openFolderIn(int, const char*, const std::string& path, FolderHandle& folder) {
  return openFolderAt(path, folder, false);
}

bool lookAtFolder(const FolderHandle& folder, FileStat& st) { return lookAtPath(folder, st, true); }

void closeFolder(FolderHandle& folder) { folder.clear(); }

size_t nameOffset(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  if (sep != std::string::npos) return sep + 1;
  // "C:name" names an entry of drive C's current folder.
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

}  // namespace tlr
