#include "tlr32/replace_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"

namespace tlr {
namespace {

// "123" -> 123; anything but plain digits (or more than an int holds) -> -1.
long digitsValue(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Whether path is an entry of a /proc/PID/fd folder (reached any way:
// /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N), with the process and
// the descriptor it names. Those entries are links whose text is no path to
// follow ("pipe:[1234]", "/tmp/log.txt (deleted)"), so they are recognised
// by the folder they sit in, before anything reads them.
bool descriptorEntry(const std::string& path, long& pid, int& fd) {
  const std::string folder(platform::folderPart(path));
  const long number = digitsValue(path.substr(folder.size()));
  if (folder.empty() || number < 0) return false;
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (!resolved) return false;
  const std::string real = resolved;
  std::free(resolved);
  // "/proc/PID/fd" or "/proc/PID/task/TID/fd".
  const std::string proc = "/proc/";
  if (real.rfind(proc, 0) != 0 || real.size() < 3 || real.compare(real.size() - 3, 3, "/fd") != 0) return false;
  const std::string middle = real.substr(proc.size(), real.size() - proc.size() - 3);
  const auto slash = middle.find('/');
  pid = digitsValue(middle.substr(0, slash));
  if (pid < 0) return false;
  if (slash != std::string::npos) {
    const std::string task = middle.substr(slash + 1);
    if (task.rfind("task/", 0) != 0 || digitsValue(task.substr(5)) < 0) return false;
  }
  fd = static_cast<int>(number);
  return true;
}

}  // namespace

bool outputPlace(const std::string& path, OutputPlace& place) {
  place = OutputPlace{};
  std::string target = path;
  // 40 hops, as the kernel allows before ELOOP.
  for (int hop = 0; hop <= 40; ++hop) {
    long pid = -1;
    int fd = -1;
    if (descriptorEntry(target, pid, fd)) {
      if (pid != ::getpid()) {
        place.kind = OutputPlace::Kind::Direct;
        place.path = target;
        return true;
      }
      if (::fcntl(fd, F_GETFD) < 0) {
        errno = EBADF;
        return false;
      }
      place.kind = OutputPlace::Kind::OwnDescriptor;
      place.fd = fd;
      return true;
    }
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) break;  // nothing there yet: a new file
    if (!S_ISLNK(st.st_mode)) {
      if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) place.kind = OutputPlace::Kind::Direct;
      break;
    }
    if (hop == 40) {
      errno = ELOOP;
      return false;
    }
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    if (!link.empty() && link[0] == platform::kPathDelim)
      target = link;
    else
      target = std::string(platform::folderPart(target)) + link;
  }
  place.path = target;
  return true;
}

int openDirect(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
}

}  // namespace tlr
