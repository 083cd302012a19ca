#include <windows.h>

#include "platform/registry_store.h"
#include "platform/win32_text.h"

namespace platform {
namespace {

using FileState = RegistryKey::FileState;
constexpr const char* kHive = "HKEY_CURRENT_USER";

// "\SOFTWARE\Quorlan\..." -> L"SOFTWARE\Quorlan\...".
std::wstring subKey(const std::string& keyPath) {
  size_t at = 0;
  while (at < keyPath.size() && keyPath[at] == '\\') ++at;
  return win32::wide(keyPath.substr(at));
}

}  // namespace

RegistryKey::RegistryKey(std::string keyPath, std::string filePath)
    : m_keyPath(std::move(keyPath)), m_filePath(std::move(filePath)) {
  if (m_filePath.empty()) m_filePath = std::string(kHive) + (m_keyPath.rfind('\\', 0) == 0 ? "" : "\\") + m_keyPath;
}

RegistryKey::~RegistryKey() = default;

std::string RegistryKey::defaultFilePath() { return kHive; }

void RegistryKey::read() const {
  if (m_read) return;
  m_read = true;
  m_state = FileState::Missing;
  m_problem.clear();
  m_stored.clear();
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, subKey(m_keyPath).c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    if (rc != ERROR_FILE_NOT_FOUND) {
      m_state = FileState::Unreadable;
      m_problem = win32::errorText(static_cast<unsigned long>(rc));
    }
    return;
  }
  m_state = FileState::Sound;
  m_keyFound = true;
  DWORD longestName = 0, longestData = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData, nullptr,
                   nullptr);
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
    const LONG e = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e != ERROR_SUCCESS) continue;  // grown meanwhile: that value reads as missing
    const std::string n = foldValueName(win32::utf8(name.data(), nameLength));
    if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
      DWORD v;
      memcpy(&v, data.data(), sizeof v);
      m_stored[n] = static_cast<int32_t>(v);
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      size_t chars = dataSize / sizeof(wchar_t);
      const auto* text = reinterpret_cast<const wchar_t*>(data.data());
      while (chars > 0 && text[chars - 1] == L'\0') --chars;  // stored with its closing NUL, or not
      m_stored[n] = win32::utf8(text, chars);
    }
  }
  RegCloseKey(key);
}

bool RegistryKey::exists() const {
  read();
  return m_keyFound;
}

const RegistryKey::Value* RegistryKey::find(const std::string& name) const {
  const std::string folded = foldValueName(name);
  if (auto it = m_writeOf.find(folded); it != m_writeOf.end()) {
    const auto& written = m_writes[it->second].second;
    return written ? &*written : nullptr;
  }
  read();
  const auto it = m_stored.find(folded);
  return it == m_stored.end() ? nullptr : &it->second;
}

bool RegistryKey::save() {
  m_problem.clear();
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, subKey(m_keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    m_problem = win32::errorText(static_cast<unsigned long>(rc));
    return false;
  }
  // The values in the order written; the first that fails stops the save and
  // says why, the ones before it stay stored (the registry keeps each value
  // whole, never half written).
  for (const auto& [name, value] : m_writes) {
    const std::wstring n = win32::wide(name);
    if (!value) {
      rc = RegDeleteValueW(key, n.c_str());
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else if (const auto* i = std::get_if<int32_t>(&*value)) {
      const DWORD v = static_cast<DWORD>(*i);
      rc = RegSetValueExW(key, n.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    } else {
      const std::wstring text = win32::wide(std::get<std::string>(*value));
      rc = RegSetValueExW(key, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    if (rc != ERROR_SUCCESS) {
      m_problem = "cannot store " + name + ": " + win32::errorText(static_cast<unsigned long>(rc));
      RegCloseKey(key);
      return false;
    }
  }
  RegCloseKey(key);
  for (const auto& [name, value] : m_writes) {
    if (value)
      m_stored[foldValueName(name)] = *value;
    else
      m_stored.erase(foldValueName(name));
  }
  m_writes.clear();
  m_writeOf.clear();
  m_keyFound = true;
  m_state = FileState::Sound;
  return true;
}

std::optional<std::string> setRegistryFileAside(const std::string&, std::string& problem) {
  // The registry is never in a form the program cannot read: nothing to move.
  problem = "the registry holds the settings";
  return std::nullopt;
}

}  // namespace platform
