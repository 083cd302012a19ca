#include "platform/registry_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using FileState = RegistryKey::FileState;

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct FileRead {
  FileState state = FileState::Missing;  // Missing, Sound (read) or Unreadable
  std::string text;
  std::string problem;
  struct stat st {};
};

// The whole file. Opened without waiting (a pipe put where the file should
// be would hang the start) and read only when it is a regular file.
FileRead readFile(const std::string& path) {
  FileRead r;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    // ENOTDIR: a file where a folder of the path should be; nothing can be
    // stored there, but nothing is lost either.
    if (errno != ENOENT && errno != ENOTDIR) {
      r.state = FileState::Unreadable;
      r.problem = std::strerror(errno);
    }
    return r;
  }
  r.state = FileState::Unreadable;
  if (::fstat(fd, &r.st) != 0) {
    r.problem = std::strerror(errno);
  } else if (!S_ISREG(r.st.st_mode)) {
    r.problem = S_ISDIR(r.st.st_mode) ? "it is a folder" : "it is not a regular file";
  } else {
    r.text.reserve(static_cast<size_t>(r.st.st_size));
    char buf[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) {
        r.text.append(buf, static_cast<size_t>(n));
      } else if (n == 0) {
        r.state = FileState::Sound;
        break;
      } else if (errno != EINTR) {
        r.problem = std::strerror(errno);
        r.text.clear();
        break;
      }
    }
  }
  ::close(fd);
  return r;
}

std::string foreignProblem(const RegistryText& text) {
  return "it does not begin with the header REGEDIT4 (line " + std::to_string(text.foreignLine()) +
         " is neither the header, a comment nor blank)";
}

bool makeParentFolders(const std::string& filePath) {
  for (size_t pos = 1; (pos = filePath.find('/', pos)) != std::string::npos; ++pos) {
    const std::string dir = filePath.substr(0, pos);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// The store's writers (the program, the engine, another instance of either)
// take turns: each reads the file, applies its writes and replaces the file
// while it holds the lock on the file's folder. A folder lock, because the
// file itself is replaced by every save.
class StoreLock {
 public:
  explicit StoreLock(const std::string& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (m_fd >= 0)
      while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~StoreLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int m_fd;
};

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file at path with text atomically: a temporary file beside it,
// written and synced, renamed over it, and the folder synced. keep: the
// replaced file's owner and mode, which the new one takes over.
bool replaceFile(const std::string& path, const std::string& text, const struct stat* keep, std::string& problem) {
  std::string target = path;
  struct stat link;
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // A settings file kept elsewhere through a link (a folder of dotfiles):
    // the file it leads to is replaced and the link stays.
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) {
      problem = std::string("it is a symbolic link that leads nowhere (") + std::strerror(errno) + ")";
      return false;
    }
    target = real;
    std::free(real);
  }
  // A file made read-only (no write permission for anyone, or none for this
  // user) is the user's choice to keep it as it is: the rename would replace
  // it all the same, since only the folder's permission counts for that.
  struct stat current;
  if (::stat(target.c_str(), &current) == 0 && S_ISREG(current.st_mode) &&
      (!(current.st_mode & 0222) || ::access(target.c_str(), W_OK) != 0)) {
    problem = "it is read-only";
    return false;
  }
  std::string tmp = target + ".XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return false;
  }
  bool ok = true;
  if (keep) {
    // The owner first: a change of owner clears the set-id bits of the mode.
    struct stat now;
    ok = ::fstat(fd, &now) == 0 &&
         ((now.st_uid == keep->st_uid && now.st_gid == keep->st_gid) || ::fchown(fd, keep->st_uid, keep->st_gid) == 0) &&
         ::fchmod(fd, keep->st_mode & 07777) == 0;
  }
  ok = ok && writeAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) problem = std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    problem = std::strerror(errno);
    ok = false;
  }
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
    problem = std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // The rename itself survives a power cut only once the folder is synced.
  if (const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

std::string RegistryKey::defaultFilePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  return base + "/tallorin/registry.reg";
}

RegistryKey::RegistryKey(std::string keyPath, std::string filePath)
    : m_keyPath(std::move(keyPath)), m_filePath(filePath.empty() ? defaultFilePath() : std::move(filePath)) {}

RegistryKey::~RegistryKey() = default;

void RegistryKey::read() const {
  if (m_read) return;
  m_read = true;
  FileRead r = readFile(m_filePath);
  m_state = r.state;
  m_problem = std::move(r.problem);
  if (r.state != FileState::Sound) return;
  m_text = std::make_unique<RegistryText>(std::move(r.text));
  if (m_text->form() == RegistryText::Form::Foreign) {
    m_state = FileState::Foreign;
    m_problem = foreignProblem(*m_text);
    m_text.reset();
  }
}

bool RegistryKey::exists() const {
  read();
  return m_text && m_text->hasKey(m_keyPath);
}

const RegistryKey::Value* RegistryKey::find(const std::string& name) const {
  if (auto it = m_writeOf.find(foldValueName(name)); it != m_writeOf.end()) {
    const auto& written = m_writes[it->second].second;
    return written ? &*written : nullptr;
  }
  read();
  return m_text ? m_text->find(m_keyPath, name) : nullptr;
}

bool RegistryKey::save() {
  m_problem.clear();
  if (!makeParentFolders(m_filePath)) {
    m_problem = std::strerror(errno);
    return false;
  }
  StoreLock lock(folderOf(m_filePath));
  FileRead now = readFile(m_filePath);
  if (now.state == FileState::Unreadable) {
    m_problem = "it cannot be read: " + now.problem;
    return false;
  }
  auto text = std::make_unique<RegistryText>(std::move(now.text));
  if (text->form() == RegistryText::Form::Foreign) {
    m_problem = foreignProblem(*text);
    return false;
  }
  text->addKey(m_keyPath);
  for (const auto& [name, value] : m_writes) {
    if (value)
      text->set(m_keyPath, name, *value);
    else
      text->remove(m_keyPath, name);
  }
  // Nothing to change (every value as it is stored): the file stays untouched.
  if (text->changed() &&
      !replaceFile(m_filePath, text->text(), now.state == FileState::Sound ? &now.st : nullptr, m_problem))
    return false;
  m_writes.clear();
  m_writeOf.clear();
  m_text = std::move(text);
  m_read = true;
  m_state = FileState::Sound;
  return true;
}

std::optional<std::string> setRegistryFileAside(const std::string& filePath, std::string& problem) {
  problem.clear();
  StoreLock lock(folderOf(filePath));
  const FileRead now = readFile(filePath);
  if (now.state != FileState::Sound || RegistryText(now.text).form() != RegistryText::Form::Foreign) {
    problem = now.state == FileState::Unreadable ? now.problem : "it has changed meanwhile";
    return std::nullopt;
  }
  for (int n = 1; n <= 1000; ++n) {
    const std::string aside = filePath + ".damaged" + (n > 1 ? "-" + std::to_string(n) : std::string());
    // A hard link first, which never replaces a file of that name; then the
    // old name goes.
    if (::link(filePath.c_str(), aside.c_str()) == 0) {
      if (::unlink(filePath.c_str()) == 0) return aside;
      problem = std::strerror(errno);
      ::unlink(aside.c_str());
      return std::nullopt;
    }
    if (errno == EEXIST) continue;
    // File systems without hard links: a rename to a name that is free (the
    // lock keeps the store's own writers away meanwhile).
    if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EMLINK) {
      struct stat st;
      if (::lstat(aside.c_str(), &st) == 0) continue;
      if (::rename(filePath.c_str(), aside.c_str()) == 0) return aside;
    }
    problem = std::strerror(errno);
    return std::nullopt;
  }
  problem = "every name beside it is taken";
  return std::nullopt;
}

}  // namespace platform
