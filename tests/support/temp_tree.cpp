#include "temp_tree.h"

#include <cstdio>

#include <fstream>
#include <sstream>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Opens the parent of a possibly very long relative path one component at a
// time; returns the descriptor and the last component.
int openParent(const std::string& root, const std::string& rel, std::string& last) {
  int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  check(fd >= 0, "open " + root);
  size_t pos = 0;
  for (;;) {
    size_t next = rel.find('/', pos);
    if (next == std::string::npos) {
      last = rel.substr(pos);
      return fd;
    }
    int child = ::openat(fd, rel.substr(pos, next - pos).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    check(child >= 0, "openat " + rel);
    fd = child;
    pos = next + 1;
  }
}

}  // namespace

TempTree::TempTree() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/tallorin-test-XXXXXX";
  check(::mkdtemp(templ.data()) != nullptr, "mkdtemp");
  m_root = templ;
  // Readable by the unprivileged child of runUnprivileged().
  check(::chmod(m_root.c_str(), 0755) == 0, "chmod");
}

TempTree::~TempTree() {
  std::string cmd = "chmod -R u+rwx '" + m_root + "' 2>/dev/null; rm -rf '" + m_root + "'";
  if (std::system(cmd.c_str()) != 0) {
    // Left behind in the temp folder; nothing to fail on in a destructor.
  }
}

void TempTree::dir(const std::string& rel, unsigned mode) {
  std::string last;
  int fd = openParent(m_root, rel, last);
  int rc = ::mkdirat(fd, last.c_str(), 0755);
  if (rc == 0 && mode != 0755) rc = ::fchmodat(fd, last.c_str(), mode, 0);
  ::close(fd);
  check(rc == 0, "mkdir " + rel);
}

void TempTree::fileAt(const std::string& rel, uint64_t size) {
  std::string last;
  int dfd = openParent(m_root, rel, last);
  int fd = ::openat(dfd, last.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ::close(dfd);
  check(fd >= 0, "create " + rel);
  std::string chunk(65536, 'x');
  for (uint64_t left = size; left > 0;) {
    size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
    check(::write(fd, chunk.data(), n) == static_cast<ssize_t>(n), "write " + rel);
    left -= n;
  }
  ::close(fd);
}

void TempTree::file(const std::string& rel, uint64_t size, int64_t mtimeSeconds) {
  fileAt(rel, size);
  setMtime(rel, mtimeSeconds);
}

void TempTree::sparse(const std::string& rel, uint64_t size) {
  int fd = ::open(path(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  check(fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0, "sparse " + rel);
  // One written block at the end, so the file holds a little data.
  check(::pwrite(fd, "end", 3, static_cast<off_t>(size - 3)) == 3, "pwrite " + rel);
  ::close(fd);
  setMtime(rel, 1600000000);
}

void TempTree::symlink(const std::string& target, const std::string& rel) {
  check(::symlink(target.c_str(), path(rel).c_str()) == 0, "symlink " + rel);
}

void TempTree::hardlink(const std::string& existingRel, const std::string& rel) {
  std::string fromLast, toLast;
  int from = openParent(m_root, existingRel, fromLast);
  int to = openParent(m_root, rel, toLast);
  int rc = ::linkat(from, fromLast.c_str(), to, toLast.c_str(), 0);
  ::close(from);
  ::close(to);
  check(rc == 0, "link " + rel);
}

void TempTree::fifo(const std::string& rel) {
  check(::mkfifo(path(rel).c_str(), 0644) == 0, "mkfifo " + rel);
}

void TempTree::setMtime(const std::string& rel, int64_t seconds, long nanoseconds) {
  std::string last;
  int fd = openParent(m_root, rel, last);
  struct timespec ts[2] = {{static_cast<time_t>(seconds), nanoseconds},
                           {static_cast<time_t>(seconds), nanoseconds}};
  int rc = ::utimensat(fd, last.c_str(), ts, AT_SYMLINK_NOFOLLOW);
  ::close(fd);
  check(rc == 0, "utimensat " + rel);
}

std::string TempTree::deepChain(const std::string& rel, size_t minBytes, const std::string& component) {
  std::string current = rel;
  while (path(current).size() < minBytes) {
    current += "/" + component;
    dir(current);
  }
  return current;
}

bool runningAsRoot() { return ::geteuid() == 0; }

std::string runUnprivileged(const std::vector<std::string>& argv, int* status) {
  int fds[2];
  check(::pipe(fds) == 0, "pipe");
  pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    if (::geteuid() == 0) {
      // 65534 is "nobody" on Debian; groups first, while still allowed.
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (status) *status = st;
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool pathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

namespace {
std::string commandFigure(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}
}  // namespace

double duOfEntries(const std::string& folder, bool apparent) {
  const double du = std::stod("0" + commandFigure("find '" + folder +
                                                  "' -mindepth 1 -maxdepth 1 -print0 | xargs -0 du -c -s -B1 " +
                                                  (apparent ? "--apparent-size " : "") + "-- | tail -1 | cut -f1"));
  if (!apparent) return du;
  return du - std::stod("0" + commandFigure("find '" + folder +
                                            "' -mindepth 1 -type d -printf '%s\\n' | awk '{s += $1} END {print s + 0}'"));
}

std::vector<std::string> buildHardLinkFolders(TempTree& t, const std::string& rel) {
  const std::string side = rel + "/side", across = rel + "/across", snapshots = rel + "/snapshots";
  for (const std::string& d : {rel, side, across, across + "/a", across + "/b", across + "/b/deeper", snapshots})
    t.dir(d);
  t.file(side + "/hl1", 11);
  t.hardlink(side + "/hl1", side + "/hl2");
  t.file(side + "/other", 5000);
  t.file(across + "/a/x", 70000);
  t.hardlink(across + "/a/x", across + "/b/deeper/y");
  t.hardlink(across + "/a/x", across + "/z");
  t.file(across + "/b/own", 9000);
  for (const char* s : {"/s1", "/s2", "/s3"}) t.dir(snapshots + s);
  for (int i = 0; i < 5; ++i) {
    const std::string n = "/file" + std::to_string(i);
    t.file(snapshots + "/s1" + n, 3000u * (i + 1));
    t.hardlink(snapshots + "/s1" + n, snapshots + "/s2" + n);
    t.hardlink(snapshots + "/s1" + n, snapshots + "/s3" + n);
  }
  t.file(snapshots + "/s3/new", 123456);
  return {side, across, snapshots};
}

}  // namespace testsupport
