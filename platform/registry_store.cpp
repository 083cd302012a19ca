#include "platform/registry_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kHive = "HKEY_CURRENT_USER";

std::string foldCase(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string normaliseKey(std::string key) {
  if (!key.empty() && key.front() != '\\') key.insert(key.begin(), '\\');
  while (key.size() > 1 && key.back() == '\\') key.pop_back();
  return key;
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// Reads a quoted string starting at line[pos] == '"'; pos ends after the
// closing quote. False when the quote is not closed.
bool unquote(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < line.size()) {
      char n = line[++pos];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return false;
}

using Section = std::vector<std::pair<std::string, RegistryKey::Value>>;
struct Hive {
  std::vector<std::string> order;         // key paths as written
  std::map<std::string, Section> keys;    // by folded key path
};

Hive readHive(const std::string& filePath) {
  Hive hive;
  std::ifstream in(filePath, std::ios::binary);
  if (!in) return hive;
  std::string line;
  if (!std::getline(in, line)) return hive;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != kHeader) return hive;  // not ours or damaged: nothing trusted
  Section* current = nullptr;
  const std::string prefix = std::string("[") + kHive;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      current = nullptr;
      if (line.back() != ']' || line.compare(0, prefix.size(), prefix) != 0) continue;
      std::string key = normaliseKey(line.substr(prefix.size(), line.size() - prefix.size() - 1));
      std::string folded = foldCase(key);
      if (!hive.keys.count(folded)) hive.order.push_back(key);
      current = &hive.keys[folded];
      continue;
    }
    if (!current) continue;
    size_t pos = 0;
    std::string name;
    if (!unquote(line, pos, name) || pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    RegistryKey::Value value;
    if (line.compare(pos, 6, "dword:") == 0) {
      std::string hex = line.substr(pos + 6);
      if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        continue;
      value = static_cast<int32_t>(static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)));
    } else {
      std::string text;
      if (!unquote(line, pos, text) || pos != line.size()) continue;
      value = text;
    }
    std::string folded = foldCase(name);
    bool replaced = false;
    for (auto& [n, v] : *current)
      if (foldCase(n) == folded) {
        v = value;
        replaced = true;
      }
    if (!replaced) current->emplace_back(name, value);
  }
  return hive;
}

bool makeParentFolders(const std::string& filePath) {
  for (size_t pos = 1; (pos = filePath.find('/', pos)) != std::string::npos; ++pos) {
    std::string dir = filePath.substr(0, pos);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string RegistryKey::defaultFilePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  return base + "/tallorin/registry.reg";
}

RegistryKey::RegistryKey(std::string keyPath, std::string filePath)
    : m_keyPath(normaliseKey(std::move(keyPath))),
      m_filePath(filePath.empty() ? defaultFilePath() : std::move(filePath)) {
  Hive hive = readHive(m_filePath);
  auto it = hive.keys.find(foldCase(m_keyPath));
  if (it != hive.keys.end()) {
    m_exists = true;
    m_values = std::move(it->second);
  }
}

const RegistryKey::Value* RegistryKey::find(const std::string& name) const {
  std::string folded = foldCase(name);
  for (const auto& [n, v] : m_values)
    if (foldCase(n) == folded) return &v;
  return nullptr;
}

std::optional<int32_t> RegistryKey::readInteger(const std::string& name) const {
  const Value* v = find(name);
  if (v && std::holds_alternative<int32_t>(*v)) return std::get<int32_t>(*v);
  return std::nullopt;
}

std::optional<std::string> RegistryKey::readString(const std::string& name) const {
  const Value* v = find(name);
  if (v && std::holds_alternative<std::string>(*v)) return std::get<std::string>(*v);
  return std::nullopt;
}

void RegistryKey::writeInteger(const std::string& name, int32_t value) {
  remove(name);
  m_values.emplace_back(name, value);
}

void RegistryKey::writeString(const std::string& name, const std::string& value) {
  remove(name);
  m_values.emplace_back(name, value);
}

void RegistryKey::remove(const std::string& name) {
  std::string folded = foldCase(name);
  std::erase_if(m_values, [&](const auto& p) { return foldCase(p.first) == folded; });
}

bool RegistryKey::save() {
  Hive hive = readHive(m_filePath);
  std::string folded = foldCase(m_keyPath);
  if (!hive.keys.count(folded)) hive.order.push_back(m_keyPath);
  hive.keys[folded] = m_values;

  std::ostringstream out;
  out << kHeader << "\n";
  for (const std::string& key : hive.order) {
    out << "\n[" << kHive << key << "]\n";
    for (const auto& [name, value] : hive.keys[foldCase(key)]) {
      out << '"' << escape(name) << "\"=";
      if (std::holds_alternative<int32_t>(value)) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<uint32_t>(std::get<int32_t>(value)));
        out << "dword:" << hex << "\n";
      } else {
        out << '"' << escape(std::get<std::string>(value)) << "\"\n";
      }
    }
  }
  const std::string text = out.str();

  if (!makeParentFolders(m_filePath)) return false;
  std::string tmp = m_filePath + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), m_filePath.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  m_exists = true;
  return true;
}

}  // namespace platform
