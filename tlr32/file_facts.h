#pragma once
// What the walk knows of an entry, and how it holds a folder, on this
// platform. On Linux these are the system's own stat record and a directory
// descriptor; on Windows a record of the same field names filled from the
// Win32 calls (file_facts_win32.h), and the folder's whole path.
#ifdef _WIN32
#include "tlr32/file_facts_win32.h"
#else
#include <sys/stat.h>
#include <sys/types.h>

namespace tlr {
using FileStat = struct stat;
using DeviceId = dev_t;
using FileId = ino_t;
// An open directory descriptor.
using FolderHandle = int;
}  // namespace tlr
#endif
