#include "model/name_compare.h"

#include <algorithm>

namespace {

template <typename C>
int foldAZ(C c) {
  return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

}  // namespace

int CompareFoldAZ(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = foldAZ(static_cast<unsigned char>(a[i])), cb = foldAZ(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareFoldAZ(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    int ca = foldAZ(a[i].unicode()), cb = foldAZ(b[i].unicode());
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
