#include <windows.h>

#include <vector>

#include "platform/win32_text.h"
#include "support/app_information.h"

// The values of the version resource's string table for US English in the
// Windows Western code page (040904E4), under the names the program asks for.
const std::map<std::string, std::string>& TAppInformation::values() const {
  if (m_values) return *m_values;
  m_values.emplace();
  const std::wstring file = platform::win32::wide(m_path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return *m_values;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return *m_values;
  for (const char* name : {"FileVersion", "LegalCopyright", "ProductName", "ProductVersion", "CompanyName",
                           "FileDescription", "InternalName", "OriginalFilename"}) {
    const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    void* value = nullptr;
    UINT chars = 0;
    if (VerQueryValueW(block.data(), platform::win32::wide(key).c_str(), &value, &chars) && value && chars > 0) {
      const auto* text = static_cast<const wchar_t*>(value);
      size_t n = chars;
      while (n > 0 && text[n - 1] == L'\0') --n;
      m_values->emplace(key, platform::win32::utf8(text, n));
    }
  }
  return *m_values;
}
