#include "platform/hidden_link_win32.h"

#include <windows.h>

#include <vector>

namespace platform::win32 {

namespace {

std::wstring finalPathOfHandle(HANDLE h) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  }
  return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : std::wstring();
}

HANDLE openItself(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool sameText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

bool runningUnderWine() {
  static const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

std::wstring finalPathOfFolder(const std::wstring& path) {
  const HANDLE h = openItself(path);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::wstring final = finalPathOfHandle(h);
  ::CloseHandle(h);
  return final;
}

bool isHiddenLink(const std::wstring& path, void* handle, const std::wstring& folderFinal) {
  if (!runningUnderWine()) return false;
  std::wstring trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == L'\\') trimmed.pop_back();
  const size_t sep = trimmed.find_last_of(L'\\');
  if (sep == std::wstring::npos || sep + 1 >= trimmed.size()) return false;
  const std::wstring final = finalPathOfHandle(static_cast<HANDLE>(handle));
  const std::wstring folder = folderFinal.empty() ? finalPathOfFolder(trimmed.substr(0, sep + 1)) : folderFinal;
  if (final.empty() || folder.empty()) return false;
  std::wstring expected = folder;
  if (expected.back() != L'\\') expected += L'\\';
  return !sameText(final, expected + trimmed.substr(sep + 1));
}

bool isHiddenLink(const std::wstring& path) {
  if (!runningUnderWine()) return false;
  const HANDLE h = openItself(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool hidden = isHiddenLink(path, h, std::wstring());
  ::CloseHandle(h);
  return hidden;
}

}  // namespace platform::win32
