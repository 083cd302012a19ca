#pragma once
// Which file names count: patterns separated by ";" ("*.jpg; *.png"), matched
// without regard to letter case. "*.*" matches every name, dot or not, as
// users of desktop file dialogs expect. An empty file specification matches all.
#include <string>
#include <vector>

namespace tlr {

class FileSpec {
 public:
  explicit FileSpec(const std::string& text = {});
  bool matches(const char* name) const;
  bool matchesAll() const { return m_all; }

 private:
  std::vector<std::string> m_patterns;
  bool m_all = true;
};

}  // namespace tlr
