#pragma once
// File-system access by path with no length limit. Paths up to PATH_MAX go to
// the kernel as they are; longer ones are opened one component at a time
// relative to directory descriptors, the way the kernel itself resolves them.
#include <string>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
// Windows' C library has no type for links; statPath gives a symbolic link
// or a junction, when not followed, this one.
#ifndef S_IFLNK
#define S_IFLNK 0xA000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m) & S_IFMT) == S_IFLNK)
#endif
#endif

namespace platform {

// Opens a directory for reading (O_RDONLY | O_DIRECTORY | O_CLOEXEC).
// Returns the descriptor or -1 with errno set.
int openDirectory(const std::string& path);

// stat (follow = true) or lstat (follow = false) of a path of any length.
// Returns false with errno set on failure.
bool statPath(const std::string& path, struct stat& st, bool follow);

// Renames from to to, never replacing an item already at to: 0 when done,
// else the errno, EEXIST when to is taken. Where the file system has no
// atomic rename without replacing (NFS and many FUSE file systems refuse
// renameat2's flag with EINVAL), a non-folder is linked under the new name
// and then unlinked under the old one, and a folder is renamed onto an empty
// folder made for it, which a rename replaces only while it is empty. Only on
// a file system without hard links is a non-folder renamed onto an empty
// file made for it, after checking that it still is that empty file: the
// one step that is not atomic, a writer that opens the claimed name just then
// could lose what it wrote.
int renameNoReplace(const std::string& from, const std::string& to);

// The mount points strictly inside folder (an absolute path with its links
// resolved), as a mountinfo table lists them, in the table's order. A rename
// of the folder would carry these mounts along with it.
std::vector<std::string> mountPointsInside(const std::string& folder, const char* table = "/proc/self/mountinfo");

// The names in a folder that may be sub-folders (folders, links, entries of
// unknown type), for a folder tree to decide on; none when it cannot be read.
std::vector<std::string> folderCandidates(const std::string& path);

#ifdef _WIN32
// The roots of the drives there are now (C:\ and on), in letter order.
std::vector<std::string> driveRoots();
#endif

// Owns a descriptor; closes it on destruction.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  int release() { int fd = m_fd; m_fd = -1; return fd; }

 private:
  int m_fd;
};

// 100-nanosecond intervals since 1601-01-01 UTC, the desktop's file time.
// Times before 1601 give 0 and times past what it holds (year 60056) its
// largest value: both ends are clamped, never wrapped.
inline unsigned long long toFileTime(const struct timespec& ts) {
  constexpr long long kEpochDiffSeconds = 11644473600LL;
  constexpr unsigned long long kMaxSeconds = 18446744073709551615ULL / 10000000ULL - 1;
  const long long unixSecs = static_cast<long long>(ts.tv_sec);
  if (unixSecs < -kEpochDiffSeconds) return 0;
  if (unixSecs > static_cast<long long>(kMaxSeconds) - kEpochDiffSeconds) return 18446744073709551615ULL;
  const unsigned long long secs = static_cast<unsigned long long>(unixSecs + kEpochDiffSeconds);
  return secs * 10000000ULL + static_cast<unsigned long long>(ts.tv_nsec) / 100ULL;
}

}  // namespace platform
