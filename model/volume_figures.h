#pragma once
// The volume figures the status bar shows: those of the folder on display.
// The engine gives the figures of the volume of the path it computed last;
// in a folder that holds mount points (/, /mnt, /media ...) that may be
// another volume, so the refresh keeps the figures of a path that lies on
// the folder's own volume.
#include <cstdint>
#include <string>
#include <sys/types.h>

class TDirectoryItem;

struct TVolumeFigures {
  int32_t clusterSize = 0;
  int32_t sizeFactor = 0;
  int32_t diskFree = 0;
  int32_t diskTotal = 0;
  std::string fileSystem;
  bool customCluster = false;
  bool operator==(const TVolumeFigures&) const = default;
};

// Whether the engine, computing entry, describes the volume of the folder
// it lies in (whose device is folderDevice): a file, a link or anything but a
// folder is reckoned on its folder's volume; a folder on its own, which is
// another volume exactly when it is a mount point.
bool DescribesFolderVolume(const TDirectoryItem& entry, dev_t folderDevice);

// The device of a folder, or nothing known (false) when it cannot be read.
bool FolderDevice(const std::string& folder, dev_t& device);

// Whether nothing is left at path: it vanished (or a folder on the way did).
// A path that is there but cannot be read is not gone.
bool PathIsGone(const std::string& path);
