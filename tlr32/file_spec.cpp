#include "tlr32/file_spec.h"

#ifdef _WIN32
#include "tlr32/wildcard.h"
#else
#include <fnmatch.h>
#endif

namespace tlr {

FileSpec::FileSpec(const std::string& text) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string::npos) end = text.size();
    std::string p = text.substr(pos, end - pos);
    p.erase(0, p.find_first_not_of(" \t"));
    p.erase(p.find_last_not_of(" \t") + 1);
    if (p == "*.*") p = "*";
    if (!p.empty()) m_patterns.push_back(p);
    pos = end + 1;
  }
  m_all = m_patterns.empty();
  for (const auto& p : m_patterns)
    if (p == "*") m_all = true;
}

bool FileSpec::matches(const char* name) const {
  if (m_all) return true;
  for (const auto& p : m_patterns)
#ifdef _WIN32
    if (wildcardMatch(p, name)) return true;
#else
    if (::fnmatch(p.c_str(), name, FNM_CASEFOLD) == 0) return true;
#endif
  return false;
}

}  // namespace tlr
