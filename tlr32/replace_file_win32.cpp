// Where a report named by a path goes, on Windows. A file (or nothing yet) is
// replaced whole; a link is followed to the file it ends at, which receives
// the report while the link stays. A device ("NUL", "CON", "COM1", anything
// under "\\.\", a named pipe) is written to as it is, never replaced.
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <vector>

#include "tlr32/replace_file.h"
#include "tlr32/win32_files.h"
#include "tlr32/win32_text.h"

namespace tlr {
namespace {

// The reserved device names, which stand for the device in every folder and
// with any extension ("nul.txt" is NUL).
bool isDeviceName(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) return true;
  std::string name = path.substr(path.find_last_of("/\\:") == std::string::npos ? 0 : path.find_last_of("/\\:") + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && (name.back() == ' ')) name.pop_back();
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" || name == "CONOUT$")
    return true;
  return name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) && name[3] >= '1' && name[3] <= '9';
}

}  // namespace

bool outputPlace(const std::string& path, OutputPlace& place) {
  place = OutputPlace{};
  if (isDeviceName(path)) {
    place.kind = OutputPlace::Kind::Direct;
    place.path = path;
    return true;
  }
  place.path = path;
  const std::wstring full = fullLongPath(path);
  FileStat st;
  if (full.empty() || !lookAtPath(full, st, false) || !S_ISLNK(st.st_mode)) return true;
  // A link: the file it ends at, or a new file where it points.
  const HANDLE h = ::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;  // dangling: replaced as a file
    errno = error == ERROR_CANT_RESOLVE_FILENAME ? ELOOP : errnoFromWin32(error);
    return false;
  }
  std::vector<wchar_t> final(32768);
  const DWORD n = ::GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
  ::CloseHandle(h);
  if (n > 0 && n < final.size()) place.path = asUtf8(final.data(), n);
  return true;
}

int openDirect(const std::string& path) {
  const HANDLE h = ::CreateFileW(asWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = errnoFromWin32(::GetLastError());
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_APPEND | _O_BINARY);
  if (fd < 0) ::CloseHandle(h);
  return fd;
}

}  // namespace tlr
