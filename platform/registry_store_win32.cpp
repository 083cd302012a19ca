// The registry store on Windows: the real registry, under HKEY_CURRENT_USER.
// Integers are REG_DWORD and strings REG_SZ values; a save writes only the
// values it was told to, so whatever else the key holds stays.
#include "platform/registry_store.h"

#include <cctype>
#include <windows.h>

namespace platform {
namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string foldCase(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "\SOFTWARE\Quorlan\..." as RegOpenKeyEx takes it, without the first "\".
std::wstring subKey(const std::string& keyPath) {
  return wide(keyPath.size() > 0 && keyPath[0] == '\\' ? keyPath.substr(1) : keyPath);
}

}  // namespace

RegistryKey::RegistryKey(std::string keyPath, std::string filePath)
    : m_keyPath(std::move(keyPath)), m_filePath(std::move(filePath)) {}

RegistryKey::~RegistryKey() = default;

std::string RegistryKey::defaultFilePath() { return {}; }

void RegistryKey::read() const { m_read = true; }

RegistryKey::FileState RegistryKey::fileState() const { return FileState::Sound; }

const std::string& RegistryKey::fileProblem() const { return m_problem; }

bool RegistryKey::exists() const {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey(m_keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

const RegistryKey::Value* RegistryKey::find(const std::string&) const { return nullptr; }

std::optional<int32_t> RegistryKey::readInteger(const std::string& name) const {
  if (auto it = m_writeOf.find(foldCase(name)); it != m_writeOf.end()) {
    const auto& v = m_writes[it->second].second;
    if (v && std::holds_alternative<int32_t>(*v)) return std::get<int32_t>(*v);
    return std::nullopt;
  }
  DWORD value = 0, size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, subKey(m_keyPath).c_str(), wide(name).c_str(), RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<std::string> RegistryKey::readString(const std::string& name) const {
  if (auto it = m_writeOf.find(foldCase(name)); it != m_writeOf.end()) {
    const auto& v = m_writes[it->second].second;
    if (v && std::holds_alternative<std::string>(*v)) return std::get<std::string>(*v);
    return std::nullopt;
  }
  const std::wstring key = subKey(m_keyPath), value = wide(name);
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  text.resize(wcsnlen(text.c_str(), text.size()));
  return utf8(text);
}

void RegistryKey::writeInteger(const std::string& name, int32_t value) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, value);
  else
    m_writes[it->second].second = value;
}

void RegistryKey::writeString(const std::string& name, const std::string& value) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, value);
  else
    m_writes[it->second].second = value;
}

void RegistryKey::remove(const std::string& name) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, std::nullopt);
  else
    m_writes[it->second].second = std::nullopt;
}

bool RegistryKey::save() {
  m_problem.clear();
  HKEY key = nullptr;
  LSTATUS rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, subKey(m_keyPath).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                 &key, nullptr);
  for (const auto& [name, value] : m_writes) {
    if (rc != ERROR_SUCCESS) break;
    const std::wstring valueName = wide(name);
    if (!value) {
      rc = ::RegDeleteValueW(key, valueName.c_str());
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else if (std::holds_alternative<int32_t>(*value)) {
      const DWORD v = static_cast<DWORD>(std::get<int32_t>(*value));
      rc = ::RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    } else {
      const std::wstring text = wide(std::get<std::string>(*value));
      rc = ::RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
  }
  if (key) ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS) {
    m_problem = "the registry refused the write (error " + std::to_string(rc) + ")";
    return false;
  }
  m_writes.clear();
  m_writeOf.clear();
  return true;
}

}  // namespace platform
