#pragma once
// The options the engine owns and stores itself, in the registry stand-in
// under "\SOFTWARE\Quorlan\Tallorin\Engine":
//   "MapDrive"        dword   target drive, 1 for A, 2 for B...; 0: none
//   "CustomClusters"  dword   custom cluster sizes in force (0/1)
//   "ClusterX"        dword   custom cluster size of drive X, bytes
//   "DriveX"          string  mount point that drive X stands for ("C" is "/")
//   "FileSpecOn"      dword   file specification filter in force (0/1)
//   "FileSpec"        string  patterns of the names that count (file_spec.h)
//   "AllocatedBlocks" dword   disk bytes as the file system allocates them (0/1)
//   "ReportDepth"     dword   rows of a report below the folder's entries: 0
//                             none, N levels, -1 all
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tlr {

inline constexpr const char* kEngineKey = "\\SOFTWARE\\Quorlan\\Tallorin\\Engine";

struct EngineOptions {
  int32_t mapDrive = 0;
  bool customClusters = false;
  std::map<char, uint32_t> clusterSizes;   // by drive letter 'A'..'Z'
#ifdef _WIN32
  std::map<char, std::string> drives;  // a letter not set here is the real drive
#else
  std::map<char, std::string> drives{{'C', "/"}};
#endif
  bool fileSpecOn = false;
  std::string fileSpec = "*.*";
  bool allocatedBlocks = false;
  int32_t reportDepth = 0;

  // From the store; absent or damaged values keep defaults.
  void load();
  // Writes every option into the store's key, changing only the lines of
  // values that differ, and a drive or cluster size taken away since the
  // load as none ("" or 0); letters it never held (another writer's, or
  // hand-written ones it could not use) stay as they are. False, with
  // nothing written, when the store could not be read at the load: the
  // options in force are then the defaults, not what the file holds.
  bool save();

  // By name, as TlrGetOption/TlrSetOption take them. set() is false for an
  // unknown name or a value of the wrong form; nothing changes then.
  std::optional<int32_t> get(const std::string& name) const;
  bool set(const std::string& name, const std::string& value);

  // Text options by name ("FileSpec", "DriveX"); nothing for other names.
  std::optional<std::string> text(const std::string& name) const;

  // The folder a drive letter stands for: the one set for it; on Windows,
  // where letters are real drives, else the drive's root ("D:\").
  std::optional<std::string> folderOfDrive(char drive) const;
  // The drive letter whose folder is the longest leading part of path; 0 if
  // none. On Windows the path's own drive letter, where it has one.
  char driveOf(const std::string& path) const;
  // The custom cluster size in force for a drive, if any.
  std::optional<uint32_t> customClusterFor(char drive) const;

 private:
  bool m_storeUnread = false;
  uint32_t m_droppedDrives = 0, m_droppedClusters = 0;  // a bit for each letter, A the lowest
};

}  // namespace tlr
