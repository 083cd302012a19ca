// Reading a folder on Windows: one FindFirstFileExW listing gives every
// entry's whole find record, so each entry is made complete at once.
#include <windows.h>

#include <cstring>

#include "model/directory_list.h"
#include "platform/path.h"
#include "platform/win32_text.h"

namespace {

uint64_t fileTime(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// The program's find record of a Win32 one. Only symbolic links and
// junctions keep the reparse bit, since the program takes it for a link;
// other reparse points (cloud placeholders, deduplicated files) are plain
// entries. A name longer than the record holds stays in the entry's path.
TWin32FindData recordOf(const WIN32_FIND_DATAW& w, const std::string& name) {
  TWin32FindData fd;
  const bool link = (w.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    (w.dwReserved0 == IO_REPARSE_TAG_SYMLINK || w.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
  fd.dwFileAttributes = link ? w.dwFileAttributes : w.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  if (fd.dwFileAttributes == 0) fd.dwFileAttributes = kFileAttributeNormal;
  fd.ftCreationTime = fileTime(w.ftCreationTime);
  fd.ftLastAccessTime = fileTime(w.ftLastAccessTime);
  fd.ftLastWriteTime = fileTime(w.ftLastWriteTime);
  if (!(w.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    fd.nFileSizeHigh = w.nFileSizeHigh;
    fd.nFileSizeLow = w.nFileSizeLow;
  }
  fd.dwReserved0 = w.dwReserved0;
  if (name.size() < sizeof fd.cFileName) std::memcpy(fd.cFileName, name.c_str(), name.size() + 1);
  return fd;
}

HANDLE findFirst(const std::string& pattern, WIN32_FIND_DATAW& w) {
  return FindFirstFileExW(platform::win32::longPath(pattern).c_str(), FindExInfoBasic, &w, FindExSearchNameMatch, nullptr,
                          FIND_FIRST_EX_LARGE_FETCH);
}

}  // namespace

const TWin32FindData& TDirectoryItem::FindData() const {
  if (!m_findData) {
    WIN32_FIND_DATAW w;
    const HANDLE h = findFirst(FullPath, w);
    if (h != INVALID_HANDLE_VALUE) {
      FindClose(h);
      m_findData = std::make_unique<TWin32FindData>(recordOf(w, std::string(Name())));
    } else {
      m_findData = std::make_unique<TWin32FindData>();
      m_findData->dwFileAttributes = m_attributes ? m_attributes : kFileAttributeNormal;
    }
  }
  return *m_findData;
}

bool TDirectoryList::ReadDirectory(const std::string& path, const Listed& listed) {
  Clear();
  if (path.empty()) return false;
  const std::string folder = platform::withTrailingDelim(path);
  const DWORD attrs = GetFileAttributesW(platform::win32::longPath(folder).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;

  const auto tell = [&] {
    if (listed) listed(Count());
  };
  WIN32_FIND_DATAW w;
  const HANDLE h = findFirst(folder + "*", w);
  if (h == INVALID_HANDLE_VALUE) {  // there, but not readable (or empty): no entries
    tell();
    return true;
  }
  const bool root = platform::isRootFolder(folder);
  do {
    const std::string name = platform::win32::utf8(w.cFileName, wcslen(w.cFileName));
    if (name == ".") continue;
    if (root && name == "..") continue;
    Add(std::make_unique<TDirectoryItem>(recordOf(w, name), folder + name));
    if (Count() % kListedAtOnce == 0) tell();
  } while (FindNextFileW(h, &w));
  FindClose(h);
  tell();
  return true;
}
