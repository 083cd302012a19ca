#include "tlr32/wildcard.h"

#include <cstddef>

namespace tlr {
namespace {

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of the UTF-8 character at s[i] (1 for a stray byte).
size_t charLength(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80 && n < 4) ++n;
  return n;
}

}  // namespace

bool wildcardMatch(std::string_view p, std::string_view s) {
  // Greedy with one backtrack point, the last "*": linear in practice and
  // never exponential.
  size_t pi = 0, si = 0;
  size_t starP = std::string_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      starP = ++pi;
      starS = si;
    } else if (pi < p.size() && p[pi] == '?') {
      ++pi;
      si += charLength(s, si);
    } else if (pi < p.size() && folded(p[pi]) == folded(s[si])) {
      ++pi;
      ++si;
    } else if (starP != std::string_view::npos) {
      pi = starP;
      starS += charLength(s, starS);
      si = starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace tlr
