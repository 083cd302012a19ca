#include "tlr32/folder_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"

namespace tlr {

bool lookAt(const std::string& path, FileStat& st, bool follow) { return platform::statPath(path, st, follow); }

bool lookAtIn(int folderFd, const char* name, const std::string&, FileStat& st, FolderMemo*) {
  return ::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool openFolder(const std::string& path, FolderHandle& folder) {
  folder = platform::openDirectory(path);
  return folder >= 0;
}

bool openFolderIn(int folderFd, const char* name, const std::string&, FolderHandle& folder) {
  folder = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return folder >= 0;
}

bool lookAtFolder(const FolderHandle& folder, FileStat& st) { return ::fstat(folder, &st) == 0; }

void closeFolder(FolderHandle& folder) {
  if (folder >= 0) ::close(folder);
  folder = -1;
}

size_t nameOffset(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace tlr
