#pragma once
// The walk's record of an entry on Windows, with the field names of a stat
// record so that counting and reports read it alike on both platforms.
//   st_mode   S_IFDIR for a folder the walk enters, S_IFLNK for a symbolic
//             link or junction (never followed), S_IFREG for a file.
//   st_size   the bytes the file holds.
//   st_blocks its allocated size (compressed and sparse files as they
//             are on disk) in 512-byte units.
//   st_dev    the volume's serial number; st_ino the file index within it.
//   st_nlink  the file's names (hard links).
//   st_mtim   its last change.
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>

#ifndef S_IFLNK
#define S_IFLNK 0120000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m) & S_IFMT) == S_IFLNK)
#endif

namespace tlr {

using DeviceId = uint64_t;
using FileId = uint64_t;

struct FileStat {
  uint32_t st_mode = 0;
  int64_t st_size = 0;
  uint64_t st_blocks = 0;
  uint32_t st_nlink = 1;
  DeviceId st_dev = 0;
  FileId st_ino = 0;
  struct timespec st_mtim {0, 0};
};

// A folder's whole path in the long form ("\\?\C:\..."), with no length limit.
using FolderHandle = std::wstring;

}  // namespace tlr
