#include "model/folder_path.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <vector>

#include "platform/fs.h"
#include "platform/path.h"

std::string AbsoluteNormalPath(std::string_view path, std::string_view cwd) {
  if (path.empty()) return {};
  std::string joined;
#ifdef _WIN32
  // Either slash separates on Windows; a path from the drive's root ("\a")
  // takes the drive of the current folder.
  std::string given(path);
  for (char& c : given)
    if (c == '/') c = platform::kPathDelim;
  path = given;
  if (!platform::isAbsolutePath(path) && path.front() == platform::kPathDelim) {
    joined.assign(cwd.substr(0, platform::rootLength(cwd)));
    path.remove_prefix(1);
  } else
#endif
  if (!platform::isAbsolutePath(path)) {
    joined.assign(cwd);
    joined.push_back(platform::kPathDelim);
  }
  joined.append(path);
  const size_t root = platform::rootLength(joined);

  // By the text, not by the disk: the current directory is already physical
  // (getcwd resolves links), and a name given after it means what it says.
  std::vector<std::string_view> names;
  const std::string_view all(joined);
  for (size_t at = root; at <= all.size();) {
    size_t end = all.find(platform::kPathDelim, at);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view name = all.substr(at, end - at);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    at = end + 1;
  }
  std::string out = platform::withTrailingDelim(joined.substr(0, root));
  for (std::string_view name : names) {
    if (!platform::endsWithDelim(out)) out.push_back(platform::kPathDelim);
    out.append(name);
  }
  return out;
}

std::string NearestExistingFolder(const std::string& path) {
  std::string at = platform::withoutTrailingDelim(path);
  for (;;) {
    struct stat st;
    if (platform::statPath(at, st, true) && S_ISDIR(st.st_mode)) return at;
    if (platform::isRootFolder(at)) return at;
    if (at.empty()) return std::string(1, platform::kPathDelim);
    at = platform::withoutTrailingDelim(std::string(platform::folderPart(at)));
  }
}

bool FolderIsGone(const std::string& path) {
  struct stat st;
  if (platform::statPath(path, st, true)) return !S_ISDIR(st.st_mode);
  return errno == ENOENT || errno == ENOTDIR;
}

std::string TopmostGoneFolder(const std::string& goneGiven, const std::string& leftGiven) {
  const std::string gone = platform::withoutTrailingDelim(goneGiven);
  const std::string prefix = platform::withTrailingDelim(leftGiven);
  if (gone.size() <= prefix.size() || gone.compare(0, prefix.size(), prefix) != 0) return {};
  const size_t end = gone.find(platform::kPathDelim, prefix.size());
  return end == std::string::npos ? gone : gone.substr(0, end);
}

bool FolderOpens(const std::string& path) { return platform::FileDescriptor(platform::openDirectory(path)).valid(); }

bool FolderCanBeRead(const std::string& path) {
#ifdef _WIN32
  // Opened for listing, the folder has been asked for every right that takes.
  return FolderOpens(path);
#else
  return ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0 && FolderOpens(path);
#endif
}

bool PathIsOutOfReach(const std::string& path) {
  struct stat st;
  if (platform::statPath(path, st, false)) return false;
  return errno == EACCES;
}
