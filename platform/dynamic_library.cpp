#include "platform/dynamic_library.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

bool DynamicLibrary::load(const std::vector<std::string>& candidates) {
  unload();
  for (const std::string& name : candidates) {
    // RTLD_LOCAL: a library's exports never stand in for another's.
    m_handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle) {
      m_path = name;
      m_error.clear();
      return true;
    }
    const char* err = ::dlerror();
    m_error = err ? err : "unknown error";
  }
  return false;
}

void* DynamicLibrary::symbol(const char* name) const {
  return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

void DynamicLibrary::unload() {
  if (m_handle) ::dlclose(m_handle);
  m_handle = nullptr;
  m_path.clear();
}

std::string executableFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace platform
