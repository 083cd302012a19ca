// File-system access on Windows: W calls on \\?\ paths, so no length limit;
// links (symbolic links, junctions) are looked at, not followed, unless asked.
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/win32_text.h"

namespace platform {

using win32::longPath;

FileDescriptor::~FileDescriptor() {
  if (m_fd >= 0) ::_close(m_fd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::_close(m_fd);
    m_fd = other.release();
  }
  return *this;
}

namespace {

// Whether a reparse tag makes an entry a link: a symbolic link or a junction
// (a mount point of a folder or a volume). Others (cloud placeholders,
// deduplicated files) are files like any other.
bool isLinkTag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

time_t unixTime(const FILETIME& ft) {
  const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  constexpr unsigned long long kEpochDiff = 11644473600ULL * 10000000ULL;
  return t < kEpochDiff ? 0 : static_cast<time_t>((t - kEpochDiff) / 10000000ULL);
}

HANDLE openForAttributes(const std::string& path, bool follow, DWORD access) {
  return CreateFileW(longPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

}  // namespace

int openDirectory(const std::string& path) {
  const DWORD attrs = GetFileAttributesW(longPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    errno = win32::errnoOf(GetLastError());
    return -1;
  }
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = ENOTDIR;
    return -1;
  }
  HANDLE h = openForAttributes(path, true, FILE_LIST_DIRECTORY);
  if (h == INVALID_HANDLE_VALUE) {
    errno = win32::errnoOf(GetLastError());
    return -1;
  }
  // The C library's descriptor owns the handle from here on.
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

bool statPath(const std::string& path, struct stat& st, bool follow) {
  st = {};
  BY_HANDLE_FILE_INFORMATION info{};
  DWORD tag = 0;
  HANDLE h = openForAttributes(path, follow, FILE_READ_ATTRIBUTES);
  if (h != INVALID_HANDLE_VALUE) {
    FILE_ATTRIBUTE_TAG_INFO tagInfo{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    if (ok && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tagInfo, sizeof tagInfo))
      tag = tagInfo.ReparseTag;
    const DWORD err = GetLastError();
    CloseHandle(h);
    if (!ok) {
      errno = win32::errnoOf(err);
      return false;
    }
  } else {
    // An item that may not be opened (in use, or no right to its contents)
    // still shows its attributes in its folder's listing.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data)) {
      errno = win32::errnoOf(GetLastError());
      return false;
    }
    info.dwFileAttributes = data.dwFileAttributes;
    info.ftLastWriteTime = data.ftLastWriteTime;
    info.ftLastAccessTime = data.ftLastAccessTime;
    info.ftCreationTime = data.ftCreationTime;
    info.nFileSizeHigh = data.nFileSizeHigh;
    info.nFileSizeLow = data.nFileSizeLow;
    info.nNumberOfLinks = 1;
  }
  const bool link = !follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkTag(tag);
  unsigned mode = link ? S_IFLNK : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? S_IFDIR : S_IFREG;
  mode |= S_IREAD | ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0 : S_IWRITE);
  st.st_mode = static_cast<unsigned short>(mode);
  st.st_dev = info.dwVolumeSerialNumber;
  st.st_nlink = static_cast<short>(info.nNumberOfLinks > 0x7FFF ? 0x7FFF : info.nNumberOfLinks);
  // The C library's size field holds 31 bits; the program reads sizes from
  // the engine and from find records, never from here.
  const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  st.st_size = static_cast<_off_t>(size > 0x7FFFFFFFULL ? 0x7FFFFFFFULL : size);
  st.st_mtime = unixTime(info.ftLastWriteTime);
  st.st_atime = unixTime(info.ftLastAccessTime);
  st.st_ctime = unixTime(info.ftCreationTime);
  return true;
}

int renameNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when to is taken.
  if (MoveFileExW(longPath(from).c_str(), longPath(to).c_str(), 0)) return 0;
  return win32::errnoOf(GetLastError());
}

std::vector<std::string> mountPointsInside(const std::string&, const char*) {
  // A volume mounted in a folder is a junction, which every walk here takes
  // as a link and never enters: nothing inside a folder carries it along.
  return {};
}

std::vector<std::string> folderCandidates(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(longPath(withTrailingDelim(path) + "*").c_str(), FindExInfoBasic, &fd,
                              FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring n = fd.cFileName;
    if (n == L"." || n == L"..") continue;
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) names.push_back(win32::utf8(n));
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

std::vector<std::string> driveRoots() {
  std::vector<std::string> roots;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i)) roots.push_back(std::string(1, static_cast<char>('A' + i)) + ":\\");
  return roots;
}

}  // namespace platform
