// Reading a folder: readdir for the names and types, statx for the rest of
// an entry's find record when it is first asked for.
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/directory_list.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace {

uint64_t fileTime(const struct statx_timestamp& t) {
  struct timespec ts {static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
  return platform::toFileTime(ts);
}

uint32_t typeAttributes(mode_t mode) {
  uint32_t attrs = 0;
  if (S_ISDIR(mode)) attrs |= kFileAttributeDirectory;
  if (S_ISLNK(mode)) attrs |= kFileAttributeReparsePoint;
  return attrs;
}

uint32_t hiddenAttribute(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != ".." ? kFileAttributeHidden : 0;
}

// The find record of name in the folder dirFd; knownAttributes stand when the
// entry cannot be read (vanished since, or unreadable).
TWin32FindData findRecord(int dirFd, const char* name, uint32_t knownAttributes) {
  TWin32FindData fd;
  std::strncpy(fd.cFileName, name, sizeof fd.cFileName - 1);
  uint32_t attrs = knownAttributes;
  struct statx sx;
  if (dirFd >= 0 && ::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                            STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    attrs = typeAttributes(sx.stx_mode) | hiddenAttribute(name);
    if (!(sx.stx_mode & S_IWUSR)) attrs |= kFileAttributeReadOnly;
    fd.ftLastWriteTime = fileTime(sx.stx_mtime);
    fd.ftLastAccessTime = fileTime(sx.stx_atime);
    fd.ftCreationTime = fileTime((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
    if (S_ISREG(sx.stx_mode)) {
      fd.nFileSizeHigh = static_cast<uint32_t>(sx.stx_size >> 32);
      fd.nFileSizeLow = static_cast<uint32_t>(sx.stx_size & 0xFFFFFFFFu);
    }
  }
  fd.dwFileAttributes = attrs ? attrs : kFileAttributeNormal;
  return fd;
}

}  // namespace

const TWin32FindData& TDirectoryItem::FindData() const {
  if (!m_findData) {
    const std::string name(Name());
    platform::FileDescriptor dir(platform::openDirectory(std::string(platform::folderPart(FullPath))));
    m_findData = std::make_unique<TWin32FindData>(findRecord(dir.get(), name.c_str(), m_attributes));
  }
  return *m_findData;
}

bool TDirectoryList::ReadDirectory(const std::string& path, const Listed& listed) {
  Clear();
  if (path.empty()) return false;
  const std::string folder = platform::withTrailingDelim(path);
  struct stat st;
  if (!platform::statPath(folder, st, true) || !S_ISDIR(st.st_mode)) return false;

  const auto tell = [&] {
    if (listed) listed(Count());
  };
  int fd = platform::openDirectory(folder);
  if (fd < 0) {  // there, but not readable: no entries
    tell();
    return true;
  }
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    tell();
    return true;
  }
  const bool root = platform::isRootFolder(folder);
  while (struct dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0) continue;
    if (root && std::strcmp(name, "..") == 0) continue;
    // The type from the folder read; a file system that does not give it
    // gets the whole record read now.
    if (e->d_type == DT_UNKNOWN) {
      uint32_t known = hiddenAttribute(name);
      if (std::strcmp(name, "..") == 0) known |= kFileAttributeDirectory;
      Add(std::make_unique<TDirectoryItem>(findRecord(fd, name, known), folder + name));
    } else {
      const uint32_t known = hiddenAttribute(name) | (e->d_type == DT_DIR ? kFileAttributeDirectory : 0) |
                             (e->d_type == DT_LNK ? kFileAttributeReparsePoint : 0);
      Add(std::make_unique<TDirectoryItem>(folder + name, known));
    }
    if (Count() % kListedAtOnce == 0) tell();
  }
  ::closedir(dir);
  tell();
  return true;
}
