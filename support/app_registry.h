#pragma once
// The settings' registry accessor: one key of the current user's registry
// (the per-user store of platform/registry_store.h) open at a time, with reads
// that fall back to a default. Each load or save makes its own and lets it go.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class RegistryKey;
}

class TAppRegistry {
 public:
  // filePath: the store's file; empty for the user's own.
  explicit TAppRegistry(std::string filePath = {});
  ~TAppRegistry();

  // Opens a key by its absolute path ("\SOFTWARE\..."). Without canCreate a
  // missing key does not open (false); with it, the key is made on CloseKey.
  bool OpenKey(const std::string& key, bool canCreate);
  // The integer, or nothing when absent, of another type, or no key is open.
  std::optional<int32_t> ReadInteger(const std::string& name) const;
  int32_t ReadIntegerDefault(const std::string& name, int32_t fallback) const;
  // Any non-zero integer reads as true.
  bool ReadBoolDefault(const std::string& name, bool fallback) const;
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);
  // Stores what was written (merged into the file, replaced atomically) and
  // closes the key. False when there was something to store and the file could
  // not be written; nothing is then changed on disk.
  bool CloseKey();

  // What the last OpenKey found the store's file to be. A file that cannot
  // be read or understood reads as no key, and no save writes over it.
  enum class FileState { Sound, Unreadable, Foreign };  // Sound: also missing
  FileState StoreState() const { return m_state; }
  const std::string& StoreProblem() const { return m_problem; }  // why, in words
  const std::string& StoreFile() const { return m_storeFile; }
  // Moves a file that cannot be understood aside, so that the settings can
  // be saved afresh: its new name, or nothing (problem says why).
  std::optional<std::string> SetStoreAside(std::string& problem) const;

 private:
  std::string m_filePath;
  std::unique_ptr<platform::RegistryKey> m_key;
  bool m_dirty = false;
  FileState m_state = FileState::Sound;
  std::string m_problem, m_storeFile;
};
