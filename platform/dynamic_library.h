#pragma once
// A shared library loaded at run time (dlopen). Owns the handle; unload() or
// the destructor releases it.
#include <string>
#include <vector>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { unload(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Tries each candidate in turn: a candidate with a "/" is a file path, one
  // without goes through the system search order. True once one loads.
  bool load(const std::vector<std::string>& candidates);
  void* symbol(const char* name) const;
  void unload();
  bool loaded() const { return m_handle != nullptr; }
  const std::string& loadedPath() const { return m_path; }
  const std::string& lastError() const { return m_error; }

 private:
  void* m_handle = nullptr;
  std::string m_path;
  std::string m_error;
};

// The folder of the running executable, with its closing "/".
std::string executableFolder();

}  // namespace platform
