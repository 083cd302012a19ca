#include "model/volume_figures.h"

#include <cerrno>
#include <sys/stat.h>

#include "model/directory_list.h"
#include "platform/fs.h"

bool DescribesFolderVolume(const TDirectoryItem& entry, dev_t folderDevice) {
  if (!entry.IsDirectory() || entry.IsLink()) return true;
  struct stat st;
  return platform::statPath(entry.FullPath, st, false) && st.st_dev == folderDevice;
}

bool FolderDevice(const std::string& folder, dev_t& device) {
  struct stat st;
  if (!platform::statPath(folder, st, true)) return false;
  device = st.st_dev;
  return true;
}

bool PathIsGone(const std::string& path) {
  struct stat st;
  if (platform::statPath(path, st, false)) return false;
  return errno == ENOENT || errno == ENOTDIR;
}
