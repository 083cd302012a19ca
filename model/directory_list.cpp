#include "model/directory_list.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/fs.h"
#include "platform/path.h"

namespace {

uint64_t fileTime(const struct statx_timestamp& t) {
  struct timespec ts {static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
  return platform::toFileTime(ts);
}

TWin32FindData findRecord(int dirFd, const char* name, unsigned char dType) {
  TWin32FindData fd;
  std::strncpy(fd.cFileName, name, sizeof fd.cFileName - 1);
  uint32_t attrs = 0;
  struct statx sx;
  if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
              STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    if (S_ISDIR(sx.stx_mode)) attrs |= kFileAttributeDirectory;
    if (S_ISLNK(sx.stx_mode)) attrs |= kFileAttributeReparsePoint;
    if (!(sx.stx_mode & S_IWUSR)) attrs |= kFileAttributeReadOnly;
    fd.ftLastWriteTime = fileTime(sx.stx_mtime);
    fd.ftLastAccessTime = fileTime(sx.stx_atime);
    fd.ftCreationTime = fileTime((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
    if (S_ISREG(sx.stx_mode)) {
      fd.nFileSizeHigh = static_cast<uint32_t>(sx.stx_size >> 32);
      fd.nFileSizeLow = static_cast<uint32_t>(sx.stx_size & 0xFFFFFFFFu);
    }
  } else if (dType == DT_DIR) {
    attrs |= kFileAttributeDirectory;  // vanished or unreadable: keep what readdir said
  }
  if (name[0] == '.' && std::strcmp(name, "..") != 0) attrs |= kFileAttributeHidden;
  fd.dwFileAttributes = attrs ? attrs : kFileAttributeNormal;
  return fd;
}

}  // namespace

std::string TDirectoryItem::GetName() const {
  return std::string(FindData.cFileName, strnlen(FindData.cFileName, sizeof FindData.cFileName));
}

std::string TDirectoryItem::GetShortName() const {
  return std::string(FindData.cAlternateFileName,
                     strnlen(FindData.cAlternateFileName, sizeof FindData.cAlternateFileName));
}

bool TDirectoryList::ReadDirectory(const std::string& path) {
  Clear();
  if (path.empty()) return false;
  const std::string folder = platform::withTrailingDelim(path);
  struct stat st;
  if (!platform::statPath(folder, st, true) || !S_ISDIR(st.st_mode)) return false;

  int fd = platform::openDirectory(folder);
  if (fd < 0) return true;  // there, but not readable: no entries
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return true;
  }
  const bool root = platform::isRootFolder(folder);
  while (struct dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0) continue;
    if (root && std::strcmp(name, "..") == 0) continue;
    Add(std::make_unique<TDirectoryItem>(findRecord(fd, name, e->d_type), folder + name));
  }
  ::closedir(dir);
  return true;
}
