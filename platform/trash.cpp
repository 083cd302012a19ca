#include "platform/trash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/path.h"

namespace platform {
namespace {

std::string errorText(int err) { return std::strerror(err); }

std::string baseName(const std::string& path) {
  const std::string p = withoutTrailingDelim(path);
  return p.substr(p.rfind(kPathDelim) + 1);
}

std::string parentOf(const std::string& path) {
  const std::string p = withoutTrailingDelim(path);
  const auto at = p.rfind(kPathDelim);
  return at == 0 ? "/" : p.substr(0, at);
}

// Makes a folder and the ones above it that are missing, private to the user.
bool makeFolders(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (path.size() > 1 && !makeFolders(parentOf(path))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string deletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

// The mount point of the volume that holds path: the highest folder above it
// on the same device.
std::string topFolderOf(const std::string& folder, dev_t dev) {
  std::string top = folder;
  while (top != "/") {
    const std::string up = parentOf(top);
    struct stat st;
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    top = up;
  }
  return top;
}

// The trash folder for an item on device dev in folder, and the base that
// Path= is written relative to (empty: an absolute Path=). Empty when the
// volume has no trash we may use.
std::string trashFolderFor(const std::string& folder, dev_t dev, std::string& relativeTo) {
  relativeTo.clear();
  const std::string home = homeTrashFolder();
  // The home trash serves the volume the home trash is (or would be) on.
  std::string probe = home;
  struct stat st;
  while (::stat(probe.c_str(), &st) != 0 && probe != "/") probe = parentOf(probe);
  // The volume of the home trash has no other: when the home trash cannot
  // be made, items there have none (as the desktop's own file managers see
  // it), rather than a trash made at the top of that volume.
  if (st.st_dev == dev) return makeFolders(home) ? home : std::string();

  const std::string top = topFolderOf(folder, dev);
  const std::string uid = std::to_string(::getuid());
  const std::string topPrefix = top == "/" ? "" : top;
  // $topdir/.Trash, made by the administrator: a real folder with the sticky bit.
  const std::string shared = topPrefix + "/.Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string mine = shared + "/" + uid;
    if (makeFolders(mine) && ::lstat(mine.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) {
      relativeTo = top;
      return mine;
    }
  }
  // $topdir/.Trash-$uid: ours, a real folder.
  const std::string own = topPrefix + "/.Trash-" + uid;
  if (::lstat(own.c_str(), &st) != 0) ::mkdir(own.c_str(), 0700);
  if (::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) {
    relativeTo = top;
    return own;
  }
  return {};
}

// The name an item is stored under in the trash, try n (1, 2, ...): its own,
// then "<name>.n". Its .trashinfo is named "<stored name>.trashinfo", so a
// name within 10 bytes of the volume's limit cannot be kept whole: it is cut
// (at a character boundary when it is UTF-8, keeping a short extension) and
// marked with "~". Path= keeps the full original, which is what the desktop
// restores from.
std::string trashName(const std::string& base, int n, size_t nameMax) {
  static const std::string kInfoSuffix = ".trashinfo";
  const std::string number = n == 1 ? std::string() : "." + std::to_string(n);
  const size_t limit = nameMax - kInfoSuffix.size();
  if (base.size() + number.size() <= limit) return base + number;
  std::string ext;
  if (const auto dot = base.rfind('.'); dot != std::string::npos && dot > 0 && base.size() - dot <= 16)
    ext = base.substr(dot);
  size_t keep = limit - number.size() - ext.size() - 1;
  // Never end inside a multi-byte character: back off over continuation bytes.
  while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
  return base.substr(0, keep) + "~" + number + ext;
}

// The entries of an open folder, "." and ".." left out; dir is closed.
std::vector<std::string> namesIn(DIR* dir) {
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  return names;
}

uint64_t bytesOf(const struct stat& st) { return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0; }

// Counts the entry name in parentFd and everything below it. False when
// keepGoing said stop.
bool measure(int parentFd, const char* name, TreeSize& size, const std::function<bool(const TreeSize&)>& keepGoing) {
  struct stat st;
  if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return true;  // gone: nothing to delete
  ++size.items;
  size.bytes += bytesOf(st);
  if (keepGoing && !keepGoing(size)) return false;
  if (!S_ISDIR(st.st_mode)) return true;
  const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return true;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return true;
  }
  bool going = true;
  for (const std::string& n : namesIn(dir))
    if (!(going = measure(::dirfd(dir), n.c_str(), size, keepGoing))) break;
  ::closedir(dir);
  return going;
}

struct Removal {
  std::string error;
  TreeSize removed;
  const std::function<bool(const TreeSize&)>& progress;
  bool stopped = false;
};

// Removes the entry name in parentFd, depth first, links as links. After
// every entry removed, progress may stop the work before the next one.
bool removeTree(int parentFd, const std::string& name, const std::string& shownPath, Removal& r) {
  struct stat st;
  if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    r.error = shownPath + ": " + errorText(errno);
    return false;
  }
  auto removedOne = [&] {
    ++r.removed.items;
    r.removed.bytes += bytesOf(st);
    if (r.progress && !r.progress(r.removed)) r.stopped = true;
    return !r.stopped;
  };
  if (!S_ISDIR(st.st_mode)) {
    if (::unlinkat(parentFd, name.c_str(), 0) == 0) return removedOne();
    r.error = shownPath + ": " + errorText(errno);
    return false;
  }
  const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (!dir) {
    r.error = shownPath + ": " + errorText(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  bool ok = true;
  for (const std::string& n : namesIn(dir))
    if (!(ok = removeTree(::dirfd(dir), n, shownPath + "/" + n, r))) break;
  ::closedir(dir);
  if (!ok) return false;
  if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0) return removedOne();
  r.error = shownPath + ": " + errorText(errno);
  return false;
}

}  // namespace

TreeSize measureAll(const std::vector<std::string>& paths) {
  TreeSize all;
  for (const std::string& p : paths) {
    const TreeSize one = measureTree(p);
    all.items += one.items;
    all.bytes += one.bytes;
  }
  return all;
}

std::string homeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return withoutTrailingDelim(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] == '/' ? withoutTrailingDelim(home) : "") + "/.local/share/Trash";
}

TrashOutcome moveToTrash(const std::string& given) {
  TrashOutcome out;
  const std::string path = withoutTrailingDelim(given);
  struct stat st;
  if (path.empty() || path == "/" || ::lstat(path.c_str(), &st) != 0) {
    if (!path.empty() && path != "/" && (errno == ENOENT || errno == ENOTDIR)) out.kind = TrashOutcome::Gone;
    out.error = path == "/" ? "the root folder cannot be moved" : errorText(errno);
    return out;
  }
  const std::string folder = parentOf(path);
  std::string relativeTo;
  const std::string trash = trashFolderFor(folder, st.st_dev, relativeTo);
  const std::string files = trash + "/files", info = trash + "/info";
  if (trash.empty() || !makeFolders(files) || !makeFolders(info)) {
    out.kind = TrashOutcome::NoTrash;
    out.error = "this volume has no trash that can be used";
    return out;
  }
  // Path= relative to the volume's top folder for a volume trash, absolute
  // for the home trash.
  std::string recorded = path;
  if (!relativeTo.empty() && relativeTo != "/" && path.compare(0, relativeTo.size() + 1, relativeTo + "/") == 0)
    recorded = path.substr(relativeTo.size() + 1);
  else if (relativeTo == "/")
    recorded = path.substr(1);
  // The Path= key in RFC 2396 escaping.
  const std::string content =
      "[Trash Info]\nPath=" + percentEncoded(recorded, "-_.!~*'()") + "\nDeletionDate=" + deletionDate() + "\n";

  // Claim a name: the .trashinfo made with O_EXCL is the claim.
  const std::string base = baseName(path);
  const long limit = ::pathconf(info.c_str(), _PC_NAME_MAX);
  const size_t nameMax = limit >= 64 ? static_cast<size_t>(limit) : 255;
  for (int n = 1; n < 10000; ++n) {
    const std::string name = trashName(base, n, nameMax);
    const std::string infoFile = info + "/" + name + ".trashinfo";
    const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      out.kind = TrashOutcome::NoTrash;
      out.error = errorText(errno);
      return out;
    }
    struct stat taken;
    if (::lstat((files + "/" + name).c_str(), &taken) == 0) {  // a stray file without its info
      ::close(fd);
      ::unlink(infoFile.c_str());
      continue;
    }
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!written || ::rename(path.c_str(), (files + "/" + name).c_str()) != 0) {
      const int err = written ? errno : EIO;
      ::unlink(infoFile.c_str());
      out.kind = err == EXDEV ? TrashOutcome::NoTrash : err == ENOENT ? TrashOutcome::Gone : TrashOutcome::Failed;
      out.error = errorText(err);
      return out;
    }
    out.kind = TrashOutcome::Trashed;
    out.trashedAs = files + "/" + name;
    out.infoFile = infoFile;
    return out;
  }
  out.error = "the trash has no free name for it";
  return out;
}

TreeSize measureTree(const std::string& given, bool* stopped, const std::function<bool(const TreeSize&)>& keepGoing) {
  TreeSize size;
  const std::string path = withoutTrailingDelim(given);
  FileDescriptor parent(openDirectory(parentOf(path)));
  const bool going = !parent.valid() || path.empty() || measure(parent.get(), baseName(path).c_str(), size, keepGoing);
  if (stopped) *stopped = !going;
  return size;
}

DeleteResult deleteForGood(const std::string& given, std::string& error, TreeSize& removed,
                           const std::function<bool(const TreeSize& removedSoFar)>& progress) {
  const std::string path = withoutTrailingDelim(given);
  if (path.empty() || path == "/") {
    error = path + ": the root folder cannot be deleted";
    return DeleteResult::Failed;
  }
  FileDescriptor parent(openDirectory(parentOf(path)));
  if (!parent.valid()) {
    error = path + ": " + errorText(errno);
    return DeleteResult::Failed;
  }
  Removal r{{}, removed, progress};
  const bool ok = removeTree(parent.get(), baseName(path), path, r);
  removed = r.removed;
  error = r.error;
  return r.stopped ? DeleteResult::Stopped : ok ? DeleteResult::Done : DeleteResult::Failed;
}

RemoveReport removeItems(const std::vector<std::string>& paths,
                         const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood,
                         const RemoveProgress& progress) {
  RemoveReport report;
  std::vector<std::string> noTrash;
  const int total = static_cast<int>(paths.size());
  int done = 0;
  for (const std::string& p : paths) {
    const TrashOutcome o = moveToTrash(p);
    if (o.kind == TrashOutcome::Trashed)
      report.trashed.push_back(p);
    else if (o.kind == TrashOutcome::NoTrash)
      noTrash.push_back(p);
    else if (o.kind == TrashOutcome::Gone)
      report.gone.push_back(p);
    else
      report.failures.push_back(baseName(p) + ": " + o.error);
    if (progress.trashing) progress.trashing(++done, total);
  }
  if (noTrash.empty()) return report;
  std::vector<std::string> names;
  for (const std::string& p : noTrash) names.push_back(baseName(p));
  if (!askDeleteForGood || !askDeleteForGood(names)) return report;  // kept, as the answer says

  // What is to be deleted, counted first: the progress runs over the files
  // and folders of the trees, not over the items chosen (one folder of
  // 150,000 files is one item).
  TreeSize whole;
  for (const std::string& p : noTrash) {
    bool stopped = false;
    const TreeSize before = whole;
    const TreeSize one = measureTree(p, &stopped, [&](const TreeSize& soFar) {
      return !progress.counting || progress.counting({before.items + soFar.items, before.bytes + soFar.bytes});
    });
    whole.items += one.items;
    whole.bytes += one.bytes;
    if (stopped) {
      report.stopped = true;
      report.notDeleted = noTrash;
      report.leftForGood = measureAll(noTrash);
      return report;
    }
  }
  report.toDeleteForGood = whole;
  for (size_t i = 0; i < noTrash.size(); ++i) {
    const std::string& p = noTrash[i];
    std::string error;
    TreeSize removed;
    const TreeSize before = report.removedForGood;
    const DeleteResult result = deleteForGood(p, error, removed, [&](const TreeSize& soFar) {
      return !progress.deleting ||
             progress.deleting({before.items + soFar.items, before.bytes + soFar.bytes}, whole);
    });
    report.removedForGood.items += removed.items;
    report.removedForGood.bytes += removed.bytes;
    if (result == DeleteResult::Done) {
      report.deletedForGood.push_back(p);
    } else if (result == DeleteResult::Stopped) {
      report.stopped = true;
      report.notDeleted.assign(noTrash.begin() + static_cast<std::ptrdiff_t>(i), noTrash.end());
      break;
    } else if (error.compare(0, p.size() + 1, withoutTrailingDelim(p) + ":") == 0) {
      report.failures.push_back(baseName(p) + error.substr(withoutTrailingDelim(p).size()));
    } else {
      report.failures.push_back(baseName(p) + ": only partly deleted, stopped at " + error);
    }
  }
  if (report.stopped) report.leftForGood = measureAll(report.notDeleted);
  return report;
}

}  // namespace platform
