#include "tlr32/report_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"
#include "tlr32/replace_file.h"

namespace tlr {
namespace {

// A temporary file with a name is left beside the target when the process is
// ended by a signal meanwhile (Ctrl+C, a logout, `kill`). While one has a
// name, these signals remove it before they end the process as they would
// have: only signals whose action is still the default one are caught, so a
// host that handles or ignores them itself keeps its own way.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};

// The name to remove, published only once it is complete: the handler may
// run on any thread, at any point of the report.
std::atomic<const char*> g_nameToRemove{nullptr};

extern "C" void removeNameAndEnd(int signal) {
  // Async-signal-safe only: an atomic exchange, unlink and raise. The action
  // is the default one again (SA_RESETHAND), and the signal is held back
  // until the handler returns, so raising it ends the process then.
  if (const char* name = g_nameToRemove.exchange(nullptr)) ::unlink(name);
  ::raise(signal);
}

// Catches the ending signals whose action is the default while name exists.
// False when another temporary file is protected already.
bool protectName(const std::string& name) {
  const char* none = nullptr;
  if (!g_nameToRemove.compare_exchange_strong(none, name.c_str())) return false;
  struct sigaction catching {};
  catching.sa_handler = removeNameAndEnd;
  catching.sa_flags = SA_RESETHAND;
  sigemptyset(&catching.sa_mask);
  for (const int s : kEndingSignals) sigaddset(&catching.sa_mask, s);
  for (const int s : kEndingSignals) {
    struct sigaction now {};
    if (::sigaction(s, nullptr, &now) == 0 && !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_DFL)
      ::sigaction(s, &catching, nullptr);
  }
  return true;
}

// The name is gone (renamed onto the target, or removed): the signals take
// their default action again, where they are still caught here.
void unprotectName() {
  for (const int s : kEndingSignals) {
    struct sigaction now {};
    if (::sigaction(s, nullptr, &now) == 0 && !(now.sa_flags & SA_SIGINFO) && now.sa_handler == removeNameAndEnd)
      ::signal(s, SIG_DFL);
  }
  g_nameToRemove.store(nullptr);
}

// Test hooks, not options: TLR32_TEST_NO_TMPFILE makes the report behave as
// on a file system without unnamed files; TLR32_TEST_STOP_WHEN_NAMED stops
// the process (SIGSTOP) once its temporary file has a name, so that a test
// can send it a signal right there.
bool testHook(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace

bool syncBeforeRename(const std::string& target) {
  struct stat st;
  return ::lstat(target.c_str(), &st) == 0 || errno != ENOENT;
}

ReportFile::~ReportFile() {
  if (m_fd >= 0 && (!m_attached || m_ownsFd)) ::close(m_fd);
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
  if (m_protected) unprotectName();  // after the unlink: a signal in between finds nothing to remove
}

bool ReportFile::open(const std::string& target, std::string& error) {
  // What the name points to is what gets replaced: a symbolic link stays a
  // link, the file it ends at receives the report. A name that stands for a
  // descriptor, a device or a pipe is written to instead (replace_file.h).
  OutputPlace place;
  struct stat st;
  if (!outputPlace(target, place)) {
    m_errno = errno;
  } else if (place.kind == OutputPlace::Kind::OwnDescriptor) {
    attach(place.fd);
    return true;
  } else if (place.kind == OutputPlace::Kind::Direct) {
    const int fd = openDirect(place.path);
    if (fd >= 0) {
      attach(fd);
      m_ownsFd = true;
      return true;
    }
    m_errno = errno;
  } else if (m_target = place.path; ::stat(m_target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    m_errno = EISDIR;
  }
  if (m_errno != 0) {
    error = std::strerror(m_errno);
    return false;
  }
  m_replacing = syncBeforeRename(m_target);
  const std::string given = std::string(platform::folderPart(m_target));
  m_folder = given.empty() ? std::string(".") : given;
  // A file without a name while it is written: a report of the folder it
  // goes to does not list its own unfinished text. File systems without
  // unnamed files get a hidden named one.
  if (!testHook("TLR32_TEST_NO_TMPFILE")) m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (m_fd < 0 && !createNamed(error)) return false;
  ::fchmod(m_fd, 0644);
  m_buffer.reserve(kFlushSize + kFlushSize / 4);
  return true;
}

bool ReportFile::createNamed(std::string& error) {
  std::string tmpl = m_folder + "/.tallorin-report-XXXXXX";
  m_fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (m_fd < 0) {
    m_errno = errno;
    error = std::strerror(errno);
    return false;
  }
  m_temp = tmpl;
  named();
  return true;
}

void ReportFile::named() {
  m_protected = protectName(m_temp);
  if (testHook("TLR32_TEST_STOP_WHEN_NAMED")) ::raise(SIGSTOP);
}

// Gives the unnamed file a hidden name beside the target, for the rename.
bool ReportFile::nameIt() {
  // Linking a descriptor by itself needs a privilege; its /proc name does not.
  const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = m_folder + "/.tallorin-report-XXXXXX";
    // mkstemp's letters, without its file: linkat will not replace one.
    const int probe = ::mkostemp(name.data(), O_CLOEXEC);
    if (probe < 0) break;
    ::close(probe);
    ::unlink(name.c_str());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      m_temp = name;
      named();
      return true;
    }
    if (errno != EEXIST) break;
  }
  m_errno = errno ? errno : EEXIST;
  return false;
}

// The replaced file's permissions: a report over a private file stays
// private. Its owner too, where we may (as root); otherwise the report is ours.
void ReportFile::keepReplacedFilesMode() {
  struct stat old;
  if (::stat(m_target.c_str(), &old) != 0) return;  // a new file keeps 0644
  ::fchmod(m_fd, old.st_mode & 07777);
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(m_fd, old.st_uid, old.st_gid);
}

void ReportFile::flush() {
  size_t done = 0;
  while (m_errno == 0 && done < m_buffer.size()) {
    const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) m_errno = n < 0 ? errno : ENOSPC;
    else done += static_cast<size_t>(n);
  }
  m_written += done;
  m_buffer.clear();
  // Start the write-back of what is written while the report goes on: the
  // fsync before the rename then waits for the last piece only. A 15 MB
  // report of /usr spent 50 ms in a final fsync without this.
  if (m_errno == 0 && !m_attached && m_replacing && m_written - m_synced >= kFlushSize) {
    ::sync_file_range(m_fd, static_cast<off_t>(m_synced), static_cast<off_t>(m_written - m_synced),
                      SYNC_FILE_RANGE_WRITE);
    m_synced = m_written;
  }
}

bool ReportFile::commit(std::string& error) {
  if (m_fd < 0) {
    error = "the report file is not open";
    return false;
  }
  flush();
  if (m_attached) {
    if (m_ownsFd && ::close(m_fd) != 0 && m_errno == 0) m_errno = errno;
    m_fd = -1;
    if (m_errno != 0) error = std::strerror(m_errno);
    return m_errno == 0;
  }
  keepReplacedFilesMode();
  // Asked again here: a file may have appeared under the name meanwhile.
  if (m_errno == 0 && syncBeforeRename(m_target) && ::fsync(m_fd) != 0) m_errno = errno;
  if (m_errno == 0 && m_temp.empty()) nameIt();
  if (::close(m_fd) != 0 && m_errno == 0) m_errno = errno;
  m_fd = -1;
  if (m_errno == 0 && ::rename(m_temp.c_str(), m_target.c_str()) != 0) m_errno = errno;
  if (m_errno != 0) {
    error = std::strerror(m_errno);
    return false;  // the destructor removes the temporary file
  }
  if (m_protected) unprotectName();  // after the rename: a signal in between finds nothing to remove
  m_protected = false;
  m_temp.clear();
  return true;
}

}  // namespace tlr
