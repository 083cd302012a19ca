#include "platform/trash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/path.h"

namespace platform {
namespace {

std::string errorText(int err) { return std::strerror(err); }

std::string parentOf(const std::string& path) {
  const std::string p = withoutTrailingDelim(path);
  const auto at = p.rfind(kPathDelim);
  return at == 0 ? "/" : p.substr(0, at);
}

// One mount of a file system: its device, and the kernel's number for the
// mount itself, so that two mounts of one device (a bind mount) are two.
// Kernels before 5.8 give no mount number; the device alone decides then.
struct Volume {
  dev_t dev = 0;
  uint64_t mount = 0;
  bool mountKnown = false;
  bool same(const Volume& o) const { return dev == o.dev && (!mountKnown || !o.mountKnown || mount == o.mount); }
};

// What the trash and the walks need to know of an entry.
struct Facts {
  mode_t mode = 0;
  uint64_t size = 0;
  ino_t ino = 0;
  Volume volume;
  bool isDir() const { return S_ISDIR(mode); }
  uint64_t fileBytes() const { return S_ISREG(mode) ? size : 0; }
};

// The facts of name in folder (an empty name: folder itself), links not
// followed unless asked, no automount set off. False with errno set.
bool factsOf(int folder, const char* name, Facts& f, bool follow = false) {
  const int flags = AT_NO_AUTOMOUNT | (follow ? 0 : AT_SYMLINK_NOFOLLOW) | (name[0] ? 0 : AT_EMPTY_PATH);
  struct statx sx;
  if (::statx(folder, name, flags, STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MNT_ID, &sx) == 0) {
    f.mode = sx.stx_mode;
    f.size = sx.stx_size;
    f.ino = sx.stx_ino;
    f.volume.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    f.volume.mountKnown = (sx.stx_mask & STATX_MNT_ID) != 0;
    f.volume.mount = sx.stx_mnt_id;
    return true;
  }
  if (errno != ENOSYS) return false;
  struct stat st;
  if (::fstatat(folder, name, &st, flags & ~AT_NO_AUTOMOUNT) != 0) return false;
  f = {st.st_mode, static_cast<uint64_t>(st.st_size), st.st_ino, {st.st_dev, 0, false}};
  return true;
}

bool factsOfPath(const std::string& path, Facts& f, bool follow) { return factsOf(AT_FDCWD, path.c_str(), f, follow); }

std::string deletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

// A failure to make or use a trash folder that means the user has no trash
// there (and may be asked to delete for good), rather than a fault to name:
// no right to make one, or something else where it would go.
bool meansNoTrash(int err) { return err == EACCES || err == EPERM || err == ENOTDIR || err == ELOOP || err == EEXIST; }

// Makes a folder and the ones above it that are missing, private to the user;
// links on the way are followed (the user's ~/.local/share may be one). 0 or
// the errno; ENOTDIR when something other than a folder is in the way.
int makeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  if (path.size() > 1)
    if (const int err = makeFolders(parentOf(path))) return err;
  if (::mkdir(path.c_str(), 0700) == 0) return 0;
  if (errno != EEXIST) return errno;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Makes one folder of a trash, or finds it: a real folder, never a link. 0,
// or the errno; ENOTDIR when something else is there.
int makeTrashFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return 0;
  const int err = errno;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  return err;
}

// The mount point of the volume that holds folder (a real path): the
// highest folder above it on the same mount.
std::string topFolderOf(const std::string& folder, const Volume& volume) {
  std::string top = folder;
  Facts up;
  while (top != "/" && factsOfPath(parentOf(top), up, true) && up.volume.same(volume)) top = parentOf(top);
  return top;
}

// The trash for the items of one folder: where it is, and the folder Path=
// is written relative to (empty: an absolute Path=). With none, why: err 0
// for a volume without a trash the user may have, else the fault met.
struct TrashPlace {
  std::string folder, relativeTo;
  int err = 0;
  std::string why;
  bool usable() const { return !folder.empty(); }
};

TrashPlace noTrash(int err, std::string why) {
  TrashPlace t;
  if (meansNoTrash(err)) {
    t.why = std::move(why);
  } else {
    t.err = err;
    t.why = errorText(err);
  }
  return t;
}

// The trash that serves a folder (a real path) on volume. The freedesktop.org
// order: the home trash for the volume it is on, else the administrator's
// $topdir/.Trash/$uid, else $topdir/.Trash-$uid.
TrashPlace trashFolderFor(const std::string& folder, const Volume& volume) {
  const std::string home = homeTrashFolder();
  // The volume the home trash is on (or would be made on): its nearest
  // folder that exists, links followed.
  std::string probe = home;
  Facts at;
  while (!factsOfPath(probe, at, true) && errno == ENOENT && probe != "/") probe = parentOf(probe);
  if (at.volume.same(volume)) {
    // The volume of the home trash has no other: when the home trash cannot
    // be had, items there have none (as the desktop's own file managers see
    // it), rather than a trash made at the top of that volume. A link to a
    // folder of the user's own is a home trash like a folder.
    struct stat st;
    if (::lstat(home.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return noTrash(ENOTDIR, "the home trash is a link to no folder of the user's");
    } else if (const int err = makeFolders(home)) {
      return noTrash(err, "the home trash cannot be made");
    }
    return {home, {}, 0, {}};
  }

  const std::string top = topFolderOf(folder, volume);
  const std::string uid = std::to_string(::getuid());
  const std::string topPrefix = top == "/" ? "" : top;
  // $topdir/.Trash, made by the administrator: a real folder with the sticky bit.
  const std::string shared = topPrefix + "/.Trash";
  struct stat st;
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string mine = shared + "/" + uid;
    const int err = makeTrashFolder(mine);
    if (err == 0 && ::lstat(mine.c_str(), &st) == 0 && st.st_uid == ::getuid()) return {mine, top, 0, {}};
    if (err && !meansNoTrash(err)) return noTrash(err, {});
  }
  // $topdir/.Trash-$uid: ours, a real folder.
  const std::string own = topPrefix + "/.Trash-" + uid;
  if (const int err = makeTrashFolder(own)) return noTrash(err, "this volume has no trash that can be used");
  if (::lstat(own.c_str(), &st) != 0 || st.st_uid != ::getuid())
    return noTrash(ENOTDIR, "this volume's trash is not the user's");
  return {own, top, 0, {}};
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

// The entries of the folder open at fd, "." and ".." left out, read in
// one go. False with errno set when it cannot be read.
bool readNames(int fd, std::vector<std::string>& names) {
  alignas(dirent64) char buf[32768];
  for (;;) {
    const ssize_t n = ::getdents64(fd, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(buf + at);
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
      at += e->d_reclen;
    }
  }
}

// Walks the tree of one entry depth first, each entry after everything it
// holds (a folder is visited once it is empty, when deleting), and never
// leaves the volume of the folder the entry lies in: a mount point is
// reported and neither entered nor visited, and neither are the folders that
// hold one, since they cannot be emptied.
//
// Any depth: the folders on the way down are a stack, not calls, and at
// most kOpenMost of them are open at a time. A folder whose descriptor was
// closed is reopened through ".." of the one it holds and must be the very
// folder it was (device and inode), else the walk stops: the tree was moved.
class TreeWalk {
 public:
  enum class End { Done, Stopped, Failed };
  // What the walk does. entry: a non-folder in its turn, a folder once all
  // it held was visited, given as the folder open at folderFd and a name in
  // it; it answers kGoOn, kStop, or an errno that ends the walk as failed at
  // that entry. otherVolume: a mount point met, by its path. stopAtErrors:
  // an entry that cannot be looked at, or a folder that cannot be read, ends
  // the walk (error says which and why); else it is passed over, a folder
  // visited as if it were empty.
  static constexpr int kGoOn = 0, kStop = -1;
  struct Visitor {
    std::function<int(int folderFd, const std::string& name, const Facts& facts)> entry;
    std::function<void(const std::string& path)> otherVolume;
    bool stopAtErrors = false;
  };

  TreeWalk(int baseFd, std::string basePath, const Visitor& visitor)
      : m_base(baseFd), m_basePath(std::move(basePath)), m_v(visitor) {}

  End run(const std::string& name, std::string& error);

 private:
  static constexpr size_t kOpenMost = 16;

  // A folder on the way down.
  struct Level {
    std::string name;  // in the folder above
    FileDescriptor fd;  // not valid while closed to stay within kOpenMost
    Facts facts;        // what a reopened descriptor must be
    std::vector<std::string> names;
    size_t next = 0;
    bool holdsOtherVolume = false;
  };

  std::string pathOf(const std::string& name) const {
    std::string p = m_basePath == "/" ? "" : m_basePath;
    for (const Level& l : m_levels) p += "/" + l.name;
    return p + "/" + name;
  }
  int folderFd() const { return m_levels.empty() ? m_base : m_levels.back().fd.get(); }
  bool fail(const std::string& name, int err, std::string& error) {
    error = pathOf(name) + ": " + errorText(err);
    return m_v.stopAtErrors;
  }
  // Closes the descriptor of the lowest level still open, keeping the top one.
  bool closeOne() {
    if (m_levels.size() - m_firstOpen < 2) return false;
    ::close(m_levels[m_firstOpen++].fd.release());
    return true;
  }
  enum class Entered { Yes, OtherVolume, Failed };
  Entered enter(const std::string& name, const Facts& facts, int& err);

  int m_base;
  std::string m_basePath;
  const Visitor& m_v;
  Volume m_volume;
  std::vector<Level> m_levels;
  size_t m_firstOpen = 0;  // the levels below it have their descriptors closed
};

TreeWalk::Entered TreeWalk::enter(const std::string& name, const Facts& facts, int& err) {
  int fd;
  while ((fd = ::openat(folderFd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0 &&
         (errno == EMFILE || errno == ENFILE) && closeOne()) {
  }
  if (fd < 0) {
    err = errno;
    return Entered::Failed;
  }
  Level level{name, FileDescriptor(fd), facts, {}, 0, false};
  // What was opened decides: a mount made on the folder since it was looked
  // at is not entered either.
  if (!factsOf(fd, "", level.facts)) {
    err = errno;
    return Entered::Failed;
  }
  if (!level.facts.volume.same(m_volume)) return Entered::OtherVolume;
  if (!readNames(fd, level.names)) {
    err = errno;
    return Entered::Failed;
  }
  m_levels.push_back(std::move(level));
  if (m_levels.size() - m_firstOpen > kOpenMost) closeOne();
  return Entered::Yes;
}

TreeWalk::End TreeWalk::run(const std::string& name, std::string& error) {
  Facts base, facts;
  if (!factsOf(m_base, "", base)) {
    error = pathOf(name) + ": " + errorText(errno);
    return End::Failed;
  }
  m_volume = base.volume;
  if (!factsOf(m_base, name.c_str(), facts)) return fail(name, errno, error) ? End::Failed : End::Done;
  // The visitor's answer as the walk's: false to end it (error set when failed).
  End ended = End::Done;
  auto visit = [&](int folder, const std::string& n, const Facts& f) {
    const int answer = m_v.entry(folder, n, f);
    if (answer == kGoOn) return true;
    ended = answer == kStop ? End::Stopped : End::Failed;
    if (answer != kStop) error = pathOf(n) + ": " + errorText(answer);
    return false;
  };
  if (!facts.volume.same(m_volume)) {
    if (m_v.otherVolume) m_v.otherVolume(pathOf(name));
    return End::Done;
  }
  // The entry at hand, in the folder on top of the stack: visited, entered,
  // or passed over.
  auto take = [&](const std::string& n, const Facts& f) -> End {
    if (!f.isDir()) return visit(folderFd(), n, f) ? End::Done : ended;
    int err = 0;
    switch (enter(n, f, err)) {
      case Entered::Yes:
        return End::Done;
      case Entered::OtherVolume:
        if (m_v.otherVolume) m_v.otherVolume(pathOf(n));
        if (!m_levels.empty()) m_levels.back().holdsOtherVolume = true;
        return End::Done;
      case Entered::Failed:
        if (err == ENOENT) return End::Done;
        if (fail(n, err, error)) return End::Failed;
        return visit(folderFd(), n, f) ? End::Done : ended;  // as if empty
    }
    return End::Done;
  };
  if (const End e = take(name, facts); e != End::Done || m_levels.empty()) return e;

  while (!m_levels.empty()) {
    Level& top = m_levels.back();
    if (top.next < top.names.size()) {
      const std::string n = top.names[top.next++];  // top moves when a level is pushed
      Facts f;
      if (!factsOf(top.fd.get(), n.c_str(), f)) {
        if (errno == ENOENT) continue;  // gone meanwhile
        if (fail(n, errno, error)) return End::Failed;
        continue;
      }
      if (!f.volume.same(m_volume)) {
        if (m_v.otherVolume) m_v.otherVolume(pathOf(n));
        top.holdsOtherVolume = true;
        continue;
      }
      if (const End e = take(n, f); e != End::Done) return e;
      continue;
    }
    // Everything in it visited: the folder itself, from the folder above.
    Level done = std::move(top);
    m_levels.pop_back();
    if (m_firstOpen > m_levels.size()) m_firstOpen = m_levels.size();
    if (!m_levels.empty() && !m_levels.back().fd.valid()) {
      Level& up = m_levels.back();
      int fd;
      while ((fd = ::openat(done.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0 &&
             (errno == EMFILE || errno == ENFILE) && closeOne()) {
      }
      Facts again;
      if (fd < 0 || !factsOf(fd, "", again) || again.ino != up.facts.ino || again.volume.dev != up.facts.volume.dev) {
        const int err = fd < 0 ? errno : ESTALE;
        if (fd >= 0) ::close(fd);
        m_levels.push_back(std::move(done));  // for the path in the message
        error = pathOf("..") + ": " + (err == ESTALE ? std::string("moved while being deleted") : errorText(err));
        return End::Failed;
      }
      up.fd = FileDescriptor(fd);
      m_firstOpen = m_levels.size() - 1;
    }
    ::close(done.fd.release());
    if (done.holdsOtherVolume) {
      if (!m_levels.empty()) m_levels.back().holdsOtherVolume = true;
      continue;
    }
    if (!visit(folderFd(), done.name, done.facts)) return ended;
  }
  return End::Done;
}

}  // namespace

std::string homeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return withoutTrailingDelim(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] == '/' ? withoutTrailingDelim(home) : "") + "/.local/share/Trash";
}

TrashOutcome moveToTrash(const std::string& given) {
  TrashOutcome out;
  const std::string path = withoutTrailingDelim(given);
  auto failed = [&out](TrashOutcome::Kind kind, std::string why) {
    out.kind = kind;
    out.error = std::move(why);
    return out;
  };
  if (path.empty() || path == "/") return failed(TrashOutcome::Failed, "the root folder cannot be moved");
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0)
    return failed(errno == ENOENT || errno == ENOTDIR ? TrashOutcome::Gone : TrashOutcome::Failed, errorText(errno));

  // Where the item really is: its folder with every link and ".." resolved.
  // The item itself is not resolved: a link is moved as a link.
  char* resolved = ::realpath(parentOf(path).c_str(), nullptr);
  if (!resolved) return failed(errno == ENOENT ? TrashOutcome::Gone : TrashOutcome::Failed, errorText(errno));
  const std::string folder = resolved;
  std::free(resolved);
  const std::string base = baseName(path);
  const std::string real = (folder == "/" ? "" : folder) + "/" + base;
  Facts inFolder, item;
  if (!factsOfPath(folder, inFolder, true) || !factsOfPath(real, item, false))
    return failed(errno == ENOENT ? TrashOutcome::Gone : TrashOutcome::Failed, errorText(errno));
  // A mount point belongs to its folder's volume, but cannot leave its place.
  if (!item.volume.same(inFolder.volume))
    return failed(TrashOutcome::NoTrash, "it is the mount point of another volume");

  const TrashPlace trash = trashFolderFor(folder, inFolder.volume);
  if (!trash.usable()) return failed(trash.err ? TrashOutcome::Failed : TrashOutcome::NoTrash, trash.why);
  // A folder renamed into the trash takes the volumes mounted inside it
  // along, where emptying the trash would delete what they hold.
  if (S_ISDIR(st.st_mode)) {
    const std::vector<std::string> mounts = mountPointsInside(real);
    const size_t inFolderFrom = folder == "/" ? 1 : folder.size() + 1;  // named from the item's folder
    if (!mounts.empty())
      return failed(TrashOutcome::Failed,
                    "it holds the mount point of another volume, " + mounts.front().substr(inFolderFrom));
  }
  const std::string files = trash.folder + "/files", info = trash.folder + "/info";
  for (const std::string& f : {files, info})
    if (const int err = makeTrashFolder(f))
      return failed(meansNoTrash(err) ? TrashOutcome::NoTrash : TrashOutcome::Failed, errorText(err));
  // Path= relative to the volume's top folder for a volume trash, absolute
  // for the home trash.
  std::string recorded = real;
  if (trash.relativeTo == "/")
    recorded = real.substr(1);
  else if (!trash.relativeTo.empty())
    recorded = real.substr(trash.relativeTo.size() + 1);
  // The Path= key in RFC 2396 escaping.
  const std::string content =
      "[Trash Info]\nPath=" + percentEncoded(recorded, "-_.!~*'()") + "\nDeletionDate=" + deletionDate() + "\n";

  // Claim a name: the .trashinfo made with O_EXCL is the claim.
  const long limit = ::pathconf(info.c_str(), _PC_NAME_MAX);
  const size_t nameMax = limit >= 64 ? static_cast<size_t>(limit) : 255;
  for (int n = 1; n < 10000; ++n) {
    const std::string name = trashName(base, n, nameMax);
    const std::string infoFile = info + "/" + name + ".trashinfo";
    const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return failed(meansNoTrash(errno) ? TrashOutcome::NoTrash : TrashOutcome::Failed, errorText(errno));
    }
    const ssize_t wrote = ::write(fd, content.data(), content.size());
    int err = wrote == static_cast<ssize_t>(content.size()) ? 0 : wrote < 0 ? errno : ENOSPC;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0) err = renameNoReplace(real, files + "/" + name);
    if (err == 0) {
      out.kind = TrashOutcome::Trashed;
      out.trashedAs = files + "/" + name;
      out.infoFile = infoFile;
      return out;
    }
    ::unlink(infoFile.c_str());
    if (err == EEXIST) continue;  // a stray file in the trash without its record
    // A rename that would cross volumes, or a mount point: it cannot go there.
    const TrashOutcome::Kind kind = err == EXDEV || err == EBUSY ? TrashOutcome::NoTrash
                                    : err == ENOENT              ? TrashOutcome::Gone
                                                                 : TrashOutcome::Failed;
    return failed(kind, errorText(err));
  }
  return failed(TrashOutcome::Failed, "the trash has no free name for it");
}

TreeSize measureTree(const std::string& given, bool* stopped, const std::function<bool(const TreeSize&)>& keepGoing) {
  TreeSize size;
  const std::string path = withoutTrailingDelim(given);
  FileDescriptor parent(path.empty() || path == "/" ? -1 : openDirectory(parentOf(path)));
  bool going = true;
  if (parent.valid()) {
    TreeWalk::Visitor count;
    count.entry = [&](int, const std::string&, const Facts& f) {
      ++size.items;
      size.bytes += f.fileBytes();
      return !keepGoing || keepGoing(size) ? TreeWalk::kGoOn : TreeWalk::kStop;
    };
    std::string ignored;
    going = TreeWalk(parent.get(), parentOf(path), count).run(baseName(path), ignored) != TreeWalk::End::Stopped;
  }
  if (stopped) *stopped = !going;
  return size;
}

DeleteResult deleteForGood(const std::string& given, std::string& error, TreeSize& removed,
                           const std::function<bool(const TreeSize& removedSoFar)>& progress,
                           std::vector<std::string>* otherVolumes) {
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
  error.clear();
  TreeWalk::Visitor remove;
  remove.stopAtErrors = true;
  remove.entry = [&](int folder, const std::string& name, const Facts& f) {
    if (::unlinkat(folder, name.c_str(), f.isDir() ? AT_REMOVEDIR : 0) != 0)
      return errno == ENOENT ? TreeWalk::kGoOn : errno;  // gone meanwhile: nothing to do
    ++removed.items;
    removed.bytes += f.fileBytes();
    return !progress || progress(removed) ? TreeWalk::kGoOn : TreeWalk::kStop;
  };
  remove.otherVolume = [otherVolumes](const std::string& p) {
    if (otherVolumes) otherVolumes->push_back(p);
  };
  switch (TreeWalk(parent.get(), parentOf(path), remove).run(baseName(path), error)) {
    case TreeWalk::End::Done: return DeleteResult::Done;
    case TreeWalk::End::Stopped: return DeleteResult::Stopped;
    case TreeWalk::End::Failed: break;
  }
  return DeleteResult::Failed;
}

}  // namespace platform
