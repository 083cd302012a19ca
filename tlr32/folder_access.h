#pragma once
// How the engine looks at a path and opens a folder for a walk on this
// platform: by path of any length, relative to a folder the caller holds open
// where the platform has descriptors (Linux), never through a link in the
// last component unless asked to. Failures set errno.
#include <cstddef>
#include <string>

#include "tlr32/file_facts.h"

namespace tlr {

// stat (follow = true) or lstat (follow = false) of a path.
bool lookAt(const std::string& path, FileStat& st, bool follow);
// What a caller that looks at many entries of one folder in turn keeps of it
// between looks: on Windows its volume, which each look otherwise asked again
// (under wine a round trip to another process per entry). Linux needs none.
struct FolderMemo {
  std::string folder;  // as given, up to the entry's name
  DeviceId volume = 0;
  bool known = false;
#ifdef _WIN32
  std::wstring finalPath;  // where it really is, under wine (hidden_link_win32.h)
#endif
};

// lstat of the entry name in the folder open as folderFd (Linux); on Windows,
// which has no folder descriptors to hand across, of path itself, with the
// folder's volume from memo when it is the folder memo has.
bool lookAtIn(int folderFd, const char* name, const std::string& path, FileStat& st, FolderMemo* memo = nullptr);

// Opens a folder for a walk; the walk owns it from then on.
bool openFolder(const std::string& path, FolderHandle& folder);
// Opens the entry name of the folder open as folderFd, only as a folder and
// never through a link (Linux); on Windows the same for path.
bool openFolderIn(int folderFd, const char* name, const std::string& path, FolderHandle& folder);
// stat of an open folder itself.
bool lookAtFolder(const FolderHandle& folder, FileStat& st);
// Closes a folder no walk took.
void closeFolder(FolderHandle& folder);

// Where the last component of path starts: after its last separator ("/", and
// on Windows "\" too), 0 when it has none.
size_t nameOffset(const std::string& path);

}  // namespace tlr
