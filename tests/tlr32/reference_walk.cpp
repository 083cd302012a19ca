#include "reference_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

struct Walk {
  uint64_t cluster;
  bool allocated;
  ReferenceFigures f;
  std::set<std::pair<dev_t, ino_t>> seen;

  void time(const struct stat& st) {
    if (st.st_mtim.tv_sec > f.newestSec ||
        (st.st_mtim.tv_sec == f.newestSec && st.st_mtim.tv_nsec > f.newestNsec)) {
      f.newestSec = st.st_mtim.tv_sec;
      f.newestNsec = st.st_mtim.tv_nsec;
    }
  }

  // Every name is a file; the bytes of a file with several names count at
  // the first name only.
  void nonFolder(const struct stat& st) {
    f.files++;
    time(st);
    if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second) return;
    if (S_ISREG(st.st_mode)) f.fileBytes += st.st_size;
    if (allocated)
      f.diskBytes += st.st_blocks * 512ULL;
    else if (S_ISREG(st.st_mode))
      f.diskBytes += cluster ? (st.st_size + cluster - 1) / cluster * cluster : st.st_size;
  }

  // Walks the contents of the folder open as fd (closes it).
  void folder(int fd) {
    DIR* d = fdopendir(fd);
    if (!d) return;
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      if (fstatat(dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISDIR(st.st_mode)) {
        nonFolder(st);
        continue;
      }
      f.dirs++;
      time(st);
      if (allocated) f.diskBytes += st.st_blocks * 512ULL;
      int child = openat(dirfd(d), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (child >= 0) folder(child);
    }
    closedir(d);
  }
};

}  // namespace

ReferenceFigures referenceWalk(const std::string& path, uint64_t cluster, bool allocated) {
  Walk w{cluster, allocated, {}, {}};
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return w.f;
  if (!S_ISDIR(st.st_mode)) {
    w.nonFolder(st);
    return w.f;
  }
  w.time(st);
  if (allocated) w.f.diskBytes += st.st_blocks * 512ULL;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) w.folder(fd);
  return w.f;
}
