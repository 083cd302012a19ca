#pragma once
// A per-user stand-in for the desktop registry: keys of typed values (32-bit
// integers and strings) kept in one REGEDIT4 text file under $XDG_CONFIG_HOME
// (registry_text.h holds the format).
//
// The program and the engine library each keep a key in the same file. A
// RegistryKey reads the file when first asked and remembers what it is told
// to write; save() then takes the store's lock, reads the file as it is at
// that moment, applies just those writes and replaces the file atomically
// (temporary file, fsync, rename), keeping its mode and owner. So a save
// never drops what another writer stored meanwhile, nor a comment, an unknown
// key or a value it did not write.
//
// A file that exists but cannot be read (permissions, I/O, not a regular
// file) or is not in the format (no header) is never written over: it reads
// as missing keys and save() fails, saying why.
//
// On Windows the store is the registry itself: the key under
// HKEY_CURRENT_USER, integers as REG_DWORD and strings as REG_SZ. A save
// sets just the values written, each on its own, as the registry merges
// writers; the "file" is the key's full name, which messages show.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/registry_text.h"

namespace platform {

// Value names compare as the registry compares them for ASCII: a to z folded.
std::string foldValueName(const std::string& name);

class RegistryKey {
 public:
  using Value = RegistryValue;
  enum class FileState { Missing, Sound, Unreadable, Foreign };

  // keyPath is relative to the current user's hive, e.g.
  // "\SOFTWARE\Quorlan\Tallorin\Settings". filePath defaults to defaultFilePath().
  explicit RegistryKey(std::string keyPath, std::string filePath = {});
  ~RegistryKey();

  // $XDG_CONFIG_HOME/tallorin/registry.reg, or ~/.config/... without the variable.
  static std::string defaultFilePath();

  // What the file was found to be when it was read (missing counts as sound
  // to write), and why it cannot be used when it cannot.
  FileState fileState() const;
  const std::string& fileProblem() const;

  bool exists() const;
  const std::string& filePath() const { return m_filePath; }

  // Absent when missing or of the other type: a string never passes for a number.
  std::optional<int32_t> readInteger(const std::string& name) const;
  std::optional<std::string> readString(const std::string& name) const;
  void writeInteger(const std::string& name, int32_t value);
  void writeString(const std::string& name, const std::string& value);
  void remove(const std::string& name);

  // Stores the writes (and creates the key when missing). False when the
  // file could not be written or may not be: fileProblem() then says why and
  // the file is as it was.
  bool save();

 private:
  void read() const;
  const Value* find(const std::string& name) const;
  void stage(const std::string& name, std::optional<Value> value);  // a write or, with nothing, a removal

  std::string m_keyPath;
  std::string m_filePath;
  mutable bool m_read = false;
  mutable FileState m_state = FileState::Missing;
  mutable std::string m_problem;
  mutable std::unique_ptr<RegistryText> m_text;
#ifdef _WIN32
  mutable bool m_keyFound = false;
  mutable std::unordered_map<std::string, Value> m_stored;  // DWORD and SZ values read, by folded name
#endif
  // The writes since the last save, in order; nothing is a removal.
  std::vector<std::pair<std::string, std::optional<Value>>> m_writes;
  std::unordered_map<std::string, size_t> m_writeOf;  // by folded name
};

// Moves a file the store cannot understand out of the way, to a name beside
// it that nothing has ("registry.reg.damaged", then "...damaged-2" and on),
// so that a new file can be saved without losing it. The new name, or
// nothing when the file could not be moved (problem says why) or is no
// longer one that cannot be understood.
std::optional<std::string> setRegistryFileAside(const std::string& filePath, std::string& problem);

}  // namespace platform
