#include "tlr32/win32_files.h"

#include <cerrno>
#include <vector>

#include "platform/hidden_link_win32.h"
#include "tlr32/win32_text.h"

namespace tlr {

std::wstring asWide(const std::string& text) {
  const std::u16string w = wideFromUtf8(text);
  return std::wstring(w.begin(), w.end());
}

std::string asUtf8(const wchar_t* text, size_t length) {
  return utf8FromWide(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::wstring fullLongPath(const std::string& path) {
  const std::wstring wide = asWide(path.empty() ? std::string(".") : path);
  std::wstring full;
  if (wide.rfind(L"\\\\?\\", 0) == 0) {
    full = wide;
  } else {
    // Relative, drive-relative ("C:x") or with "." and ".." in it: made whole
    // against the current folder.
    std::vector<wchar_t> buffer(wide.size() + MAX_PATH + 1);
    for (;;) {
      const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
      if (n == 0) {
        errno = errnoFromWin32(::GetLastError());
        return {};
      }
      if (n < buffer.size()) {
        full.assign(buffer.data(), n);
        break;
      }
      buffer.resize(n + 1);
    }
  }
  const std::u16string longForm = longPathOf(std::u16string(full.begin(), full.end()));
  if (longForm.empty()) errno = ENOENT;
  return std::wstring(longForm.begin(), longForm.end());
}

bool isLinkReparsePoint(DWORD attributes, DWORD tag) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return tag == 0 || IsReparseTagNameSurrogate(tag) || tag == IO_REPARSE_TAG_SYMLINK ||
         tag == IO_REPARSE_TAG_MOUNT_POINT;
}

struct timespec timeFromFileTime(const FILETIME& ft) {
  // 100 ns units since 1601 to seconds and nanoseconds since 1970, rounded
  // down for times before 1970.
  constexpr int64_t kEpochDiff = 11644473600LL;
  const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  const int64_t secs = static_cast<int64_t>(ticks / 10000000ULL) - kEpochDiff;
  struct timespec t {};
  t.tv_sec = static_cast<time_t>(secs);
  t.tv_nsec = static_cast<long>(ticks % 10000000ULL) * 100;
  return t;
}

namespace {

uint32_t modeOf(DWORD attributes, DWORD tag) {
  if (isLinkReparsePoint(attributes, tag)) return S_IFLNK;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? S_IFDIR : S_IFREG;
}

}  // namespace

namespace {

HANDLE openToLook(const std::wstring& path, bool follow) {
  const HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (h == INVALID_HANDLE_VALUE) errno = errnoFromWin32(::GetLastError());
  return h;
}

// The file's index on its volume (FileInternalInformation), which the Win32
// calls give only together with the volume's serial number.
bool fileIndexOf(HANDLE h, uint64_t& index) {
  struct IoStatus {
    union {
      LONG status;
      void* pointer;
    };
    ULONG_PTR information;
  };
  using Query = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  constexpr int kFileInternalInformation = 6;
  // ntdll is in every process; found once.
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  IoStatus io{};
  LARGE_INTEGER id{};
  if (!query || query(h, &io, &id, sizeof id, kFileInternalInformation) < 0) return false;
  index = static_cast<uint64_t>(id.QuadPart);
  return true;
}

// The facts a handle gives; `volume` is the volume's serial number, or
// null to ask it.
bool lookThrough(HANDLE h, const DeviceId* volume, FileStat& st) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  uint64_t index = 0;
  DeviceId serial = volume ? *volume : 0;
  bool ok = ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) &&
            ::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard);
  if (ok && volume) {
    ok = fileIndexOf(h, index);
    if (!ok) ::SetLastError(ERROR_NOT_SUPPORTED);
  } else if (ok) {
    BY_HANDLE_FILE_INFORMATION info{};
    ok = ::GetFileInformationByHandle(h, &info);
    index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    serial = info.dwVolumeSerialNumber;
  }
  if (!ok) {
    errno = errnoFromWin32(::GetLastError());
    return false;
  }
  const DWORD attributes = basic.FileAttributes;
  DWORD tag = 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO tagInfo{};
    if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tagInfo, sizeof tagInfo)) tag = tagInfo.ReparseTag;
  }
  uint64_t allocated = static_cast<uint64_t>(standard.AllocationSize.QuadPart);
  if (attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE)) {
    // What the clusters really hold: AllocationSize counts a compressed
    // file's whole compression units.
    FILE_COMPRESSION_INFO compression{};
    if (::GetFileInformationByHandleEx(h, FileCompressionInfo, &compression, sizeof compression))
      allocated = static_cast<uint64_t>(compression.CompressedFileSize.QuadPart);
  }
  st = FileStat{};
  st.st_mode = modeOf(attributes, tag);
  st.st_size = S_ISREG(st.st_mode) ? standard.EndOfFile.QuadPart : 0;
  st.st_blocks = (allocated + 511) / 512;
  st.st_nlink = standard.NumberOfLinks ? standard.NumberOfLinks : 1;
  st.st_dev = serial;
  st.st_ino = index;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
  written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(basic.LastWriteTime.QuadPart) >> 32);
  st.st_mtim = timeFromFileTime(written);
  return true;
}

// Under wine a Linux symbolic link to a file looks like that file (see
// hidden_link_win32.h): an entry (folderFinal given: where its folder really
// is, or empty to ask) is made the link it is, never followed.
bool look(const std::wstring& path, bool follow, const DeviceId* volume, FileStat& st,
          const std::wstring* folderFinal = nullptr) {
  const HANDLE h = openToLook(path, follow);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = lookThrough(h, volume, st);
  const int error = errno;
  if (ok && folderFinal && S_ISREG(st.st_mode) && platform::win32::isHiddenLink(path, h, *folderFinal)) {
    st.st_mode = S_IFLNK;
    st.st_size = 0;
    st.st_blocks = 0;
    st.st_nlink = 1;
    st.st_ino = 0;
  }
  ::CloseHandle(h);
  errno = error;
  return ok;
}

}  // namespace

bool lookAtPath(const std::wstring& path, FileStat& st, bool follow) { return look(path, follow, nullptr, st); }

bool lookAtEntryOn(const std::wstring& path, DeviceId volume, FileStat& st, const std::wstring* folderFinal) {
  static const std::wstring kAskIt;
  return look(path, false, &volume, st, folderFinal ? folderFinal : &kAskIt);
}

void factsFromListing(const std::wstring& path, const WIN32_FIND_DATAW& e, DeviceId dev, FileStat& st) {
  st = FileStat{};
  st.st_mode = modeOf(e.dwFileAttributes, e.dwReserved0);
  const uint64_t size = (static_cast<uint64_t>(e.nFileSizeHigh) << 32) | e.nFileSizeLow;
  st.st_size = S_ISREG(st.st_mode) ? static_cast<int64_t>(size) : 0;
  DWORD high = 0;
  const DWORD low = ::GetCompressedFileSizeW(path.c_str(), &high);
  const uint64_t allocated =
      (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) ? size : ((static_cast<uint64_t>(high) << 32) | low);
  st.st_blocks = (allocated + 511) / 512;
  st.st_nlink = 1;
  st.st_dev = dev;
  st.st_mtim = timeFromFileTime(e.ftLastWriteTime);
}

bool lookAtEntry(const std::wstring& path, FileStat& st, const DeviceId* volume, const std::wstring* folderFinal) {
  WIN32_FIND_DATAW e;
  const HANDLE h = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &e, FindExSearchNameMatch, nullptr, 0);
  const bool listed = h != INVALID_HANDLE_VALUE;
  if (listed) ::FindClose(h);
  static const std::wstring kAskIt;
  if (!look(path, false, volume, st, folderFinal ? folderFinal : &kAskIt)) {
    if (!listed || errno == ENOENT) return false;
    factsFromListing(path, e, volume ? *volume : 0, st);
  }
  if (listed && isLinkReparsePoint(e.dwFileAttributes, e.dwReserved0)) {
    st.st_mode = S_IFLNK;
    st.st_size = 0;
    st.st_mtim = timeFromFileTime(e.ftLastWriteTime);
  }
  return true;
}

HANDLE startListing(const std::wstring& folder, WIN32_FIND_DATAW& first) {
  std::wstring pattern = folder;
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  return ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &first, FindExSearchNameMatch, nullptr,
                            FIND_FIRST_EX_LARGE_FETCH);
}

}  // namespace tlr
