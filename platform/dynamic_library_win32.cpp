#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/win32_text.h"

namespace platform {

bool DynamicLibrary::load(const std::vector<std::string>& candidates) {
  unload();
  for (const std::string& name : candidates) {
    // A file path: the library's own folder is searched for what it needs
    // (its companion libraries), not only the program's.
    const bool isPath = name.find_first_of("\\/") != std::string::npos;
    HMODULE h = isPath ? LoadLibraryExW(win32::wide(name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                       : LoadLibraryW(win32::wide(name).c_str());
    if (h) {
      m_handle = h;
      m_path = name;
      m_error.clear();
      return true;
    }
    m_error = name + ": " + win32::errorText(GetLastError());
  }
  return false;
}

void* DynamicLibrary::symbol(const char* name) const {
  return m_handle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name)) : nullptr;
}

void DynamicLibrary::unload() {
  if (m_handle) FreeLibrary(static_cast<HMODULE>(m_handle));
  m_handle = nullptr;
  m_path.clear();
}

std::string executableFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".\\";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  const std::string path = win32::utf8(buf);
  return path.substr(0, path.rfind('\\') + 1);
}

}  // namespace platform
