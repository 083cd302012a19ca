#include "platform/fs.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

FileDescriptor::~FileDescriptor() {
  if (m_fd >= 0) ::close(m_fd);
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

}  // namespace platform
