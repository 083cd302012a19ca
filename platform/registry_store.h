#pragma once
// A per-user stand-in for the desktop registry: keys of typed values (32-bit
// integers and strings) kept in one REGEDIT4 text file under $XDG_CONFIG_HOME.
// Each RegistryKey reads the file once when created and, on save(), merges its
// own key into what is on disk then and replaces the file atomically, so the
// program and the engine library can each keep a key in the same file.
// A missing, unreadable or damaged file reads as missing keys, never a crash.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace platform {

class RegistryKey {
 public:
  using Value = std::variant<int32_t, std::string>;

  // keyPath is relative to the current user's hive, e.g.
  // "\SOFTWARE\Quorlan\Tallorin\Settings". filePath defaults to defaultFilePath().
  explicit RegistryKey(std::string keyPath, std::string filePath = {});

  // $XDG_CONFIG_HOME/tallorin/registry.reg, or ~/.config/... without the variable.
  static std::string defaultFilePath();

  bool exists() const { return m_exists; }
  const std::string& filePath() const { return m_filePath; }

  // Absent when missing or of the other type: a string never passes for a number.
  std::optional<int32_t> readInteger(const std::string& name) const;
  std::optional<std::string> readString(const std::string& name) const;
  void writeInteger(const std::string& name, int32_t value);
  void writeString(const std::string& name, const std::string& value);
  void remove(const std::string& name);

  // Creates the key when missing. False when the file could not be written.
  bool save();

 private:
  const Value* find(const std::string& name) const;

  std::string m_keyPath;
  std::string m_filePath;
  bool m_exists = false;
  std::vector<std::pair<std::string, Value>> m_values;  // in file order
};

}  // namespace platform
