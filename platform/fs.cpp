#include "platform/fs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace platform {

FileDescriptor::~FileDescriptor() {
  if (m_fd >= 0) ::close(m_fd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = other.release();
  }
  return *this;
}

namespace {

// Splits a long path into its parent, opened as a descriptor, and the last
// component. Every intermediate component is followed like the kernel would.
// Returns -1 with errno set when a component cannot be opened.
int openParentOfLongPath(const std::string& path, std::string& last) {
  size_t pos = 0;
  int dirfd = ::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) return -1;
  // Trailing separators do not make another component.
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  for (;;) {
    while (pos < end && path[pos] == '/') ++pos;
    size_t next = path.find('/', pos);
    if (next == std::string::npos || next >= end) {
      last = path.substr(pos, end - pos);
      if (last.empty()) last = ".";
      return dirfd;
    }
    int child = ::openat(dirfd, path.substr(pos, next - pos).c_str(),
                         O_PATH | O_DIRECTORY | O_CLOEXEC);
    int saved = errno;
    ::close(dirfd);
    if (child < 0) {
      errno = saved;
      return -1;
    }
    dirfd = child;
    pos = next;
  }
}

}  // namespace

int openDirectory(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  if (path.size() < PATH_MAX) return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string last;
  FileDescriptor parent(openParentOfLongPath(path, last));
  if (!parent.valid()) return -1;
  return ::openat(parent.get(), last.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool statPath(const std::string& path, struct stat& st, bool follow) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  if (path.size() < PATH_MAX) return ::fstatat(AT_FDCWD, path.c_str(), &st, flags) == 0;
  std::string last;
  FileDescriptor parent(openParentOfLongPath(path, last));
  if (!parent.valid()) return false;
  // A trailing separator asks for the directory itself, link or not.
  if (path.back() == '/') flags = 0;
  return ::fstatat(parent.get(), last.c_str(), &st, flags) == 0;
}

namespace {

// Moves a non-folder onto the empty file made for it at to (claim, still
// open), if that is still what is there.
int renameOntoClaim(const std::string& from, const std::string& to, FileDescriptor claim) {
  struct stat mine, there;
  if (::fstat(claim.get(), &mine) != 0) return errno;
  const bool stillMine = ::lstat(to.c_str(), &there) == 0 && there.st_dev == mine.st_dev &&
                         there.st_ino == mine.st_ino && there.st_size == 0;
  if (!stillMine) return EEXIST;  // someone else's now: left as it is
  if (::rename(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  if (::lstat(to.c_str(), &there) == 0 && there.st_dev == mine.st_dev && there.st_ino == mine.st_ino &&
      there.st_size == 0)
    ::unlink(to.c_str());
  return err;
}

}  // namespace

int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) {
    if (::mkdir(to.c_str(), 0700) != 0) return errno;
    // Replaces the empty folder just made; had anything been put in it
    // meanwhile, the rename fails and it stays.
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int err = errno;
    ::rmdir(to.c_str());  // only while it is empty, so only the one made here
    return err == ENOTEMPTY ? EEXIST : err;
  }
  // link() gives the item its new name only if nothing has it, and links a
  // symbolic link itself, never what it points to.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return 0;
    const int err = errno;
    ::unlink(to.c_str());
    return err;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) return errno;
  FileDescriptor claim(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!claim.valid()) return errno;
  return renameOntoClaim(from, to, std::move(claim));
}

namespace {

// A mountinfo field with its octal escapes (\040 space, \011 tab, \012
// newline, \134 backslash) turned back into bytes.
std::string unescapedField(const std::string& field) {
  auto octal = [&field](size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> mountPointsInside(const std::string& folder, const char* table) {
  // mountinfo: id parent major:minor root mountpoint options ...
  std::vector<std::string> inside;
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  std::ifstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    if (!(fields >> id >> parent >> device >> root >> point)) continue;
    point = unescapedField(point);
    if (point.size() > prefix.size() && point.compare(0, prefix.size(), prefix) == 0) inside.push_back(point);
  }
  return inside;
}

std::vector<std::string> folderCandidates(const std::string& path) {
  std::vector<std::string> names;
  FileDescriptor fd(openDirectory(path));
  if (!fd.valid()) return names;
  DIR* dir = ::fdopendir(::dup(fd.get()));
  if (!dir) return names;
  while (dirent* e = ::readdir(dir)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (e->d_type == DT_DIR || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) names.push_back(n);
  }
  ::closedir(dir);
  return names;
}

}  // namespace platform
