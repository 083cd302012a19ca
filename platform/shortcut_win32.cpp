#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/shortcut.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

// \\?\C:\a -> C:\a, \\?\UNC\server\share -> \\server\share.
std::string withoutLongPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return win32::utf8(L"\\\\" + path.substr(8));
  if (path.rfind(L"\\\\?\\", 0) == 0) return win32::utf8(path.substr(4));
  return win32::utf8(path);
}

// Where a symbolic link or a junction leads, as the file system resolves it;
// empty when it leads nowhere.
std::string finalPath(const std::string& path) {
  HANDLE h = CreateFileW(win32::longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  }
  CloseHandle(h);
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return withoutLongPrefix(buf);
}

// The file a shell link names; empty for a link to something that is not a
// file (a printer, a control panel item) or a link that cannot be read.
std::string shellLinkTarget(const std::string& path) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return {};
  std::string target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(win32::wide(path).c_str(), STGM_READ))) {
      std::wstring buf(32768, L'\0');
      // SLGP_RAWPATH: the path as stored, without resolving (which may search
      // the disk or the network for a moved target).
      if (link->GetPath(buf.data(), static_cast<int>(buf.size()), nullptr, SLGP_RAWPATH) == S_OK) {
        buf.resize(wcslen(buf.c_str()));
        target = win32::utf8(buf);
      }
    }
    file->Release();
  }
  link->Release();
  return isAbsolutePath(target) ? target : std::string();
}

bool endsWithNoCase(const std::string& s, const char* tail) {
  const size_t n = strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

}  // namespace

std::string resolveShortcut(const std::string& path) {
  struct stat st;
  if (!statPath(path, st, false)) return {};
  if (S_ISLNK(st.st_mode)) return finalPath(path);
  if (S_ISREG(st.st_mode) && endsWithNoCase(path, ".lnk")) return shellLinkTarget(path);
  return {};
}

}  // namespace platform
