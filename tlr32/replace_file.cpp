#include "tlr32/replace_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"

namespace tlr {

bool finalTarget(const std::string& path, std::string& target) {
  target = path;
  // 40 hops, as the kernel allows before ELOOP.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    if (!link.empty() && link[0] == platform::kPathDelim)
      target = link;
    else
      target = std::string(platform::folderPart(target)) + link;
  }
  errno = ELOOP;
  return false;
}

ReplacingFile::~ReplacingFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
}

bool ReplacingFile::fail(int err) {
  m_errno = err;
  return false;
}

std::string ReplacingFile::errorText() const { return std::strerror(m_errno); }

bool ReplacingFile::open(const std::string& path) {
  if (!finalTarget(path, m_target)) return fail(errno);
  struct stat st;
  if (::stat(m_target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fail(EISDIR);
  const std::string folder(platform::folderPart(m_target));
  std::string tmpl = (folder.empty() ? std::string("./") : folder) + ".tallorin-report-XXXXXX";
  m_fd = ::mkstemp(tmpl.data());
  if (m_fd < 0) return fail(errno);
  m_temp = tmpl;
  return true;
}

bool ReplacingFile::write(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(m_fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO);
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReplacingFile::commit() {
  if (m_fd < 0) return fail(EBADF);
  // The replaced file's permissions: a report over a private file stays
  // private (mkstemp makes 0600, a plain 0644 would open it to everyone).
  struct stat old;
  if (::stat(m_target.c_str(), &old) == 0) {
    ::fchmod(m_fd, old.st_mode & 07777);
    // Its owner too, where we may (as root); otherwise the report is ours.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(m_fd, old.st_uid, old.st_gid) != 0) {
    }
  } else {
    ::fchmod(m_fd, 0644);
  }
  const bool flushed = ::fsync(m_fd) == 0;
  const int flushErr = errno;
  const bool closed = ::close(m_fd) == 0;
  const int closeErr = errno;
  m_fd = -1;
  if (!flushed) return fail(flushErr);
  if (!closed) return fail(closeErr);
  if (::rename(m_temp.c_str(), m_target.c_str()) != 0) return fail(errno);
  m_temp.clear();
  return true;
}

}  // namespace tlr
