#include "platform/hidden_link_win32.h"

#include <windows.h>

#include <vector>

namespace platform::win32 {

namespace {

std::wstring finalPathOf(const std::wstring& path) {
  const HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  }
  ::CloseHandle(h);
  return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : std::wstring();
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

std::wstring finalPathOfFolder(const std::wstring& path) { return finalPathOf(path); }

bool isHiddenLink(const std::wstring& path, const std::wstring* parentFinal) {
  if (!runningUnderWine()) return false;
  std::wstring trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == L'\\') trimmed.pop_back();
  const size_t sep = trimmed.find_last_of(L'\\');
  if (sep == std::wstring::npos || sep + 1 >= trimmed.size()) return false;
  const std::wstring final = finalPathOf(trimmed);
  const std::wstring folder = parentFinal ? *parentFinal : finalPathOf(trimmed.substr(0, sep + 1));
  if (final.empty() || folder.empty()) return false;
  std::wstring expected = folder;
  if (expected.back() != L'\\') expected += L'\\';
  return !sameText(final, expected + trimmed.substr(sep + 1));
}

}  // namespace platform::win32
