#pragma once
// Each row's change against a baseline, matched by the name's exact bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "scan/baseline.h"

namespace scan {

// A change in bytes, saturated at the ends of int64_t: stored figures are
// data, and no two of them overflow a difference.
int64_t byteChange(uint64_t now, uint64_t before);

struct RowChange {
  enum class Kind { Same, Changed, New };
  Kind kind = Kind::Same;
  int64_t diskChange = 0;  // now - before; the whole size for a new entry
};

class ChangeMatch {
 public:
  // The baseline's rows by name; a name given twice keeps its first row.
  explicit ChangeMatch(const Baseline& baseline);
  // The change of the entry called name, which now has diskBytes; marks the
  // baseline row it matched as still present.
  RowChange match(const std::string& name, uint64_t diskBytes);
  // The baseline rows no current entry matched, in the baseline's order.
  std::vector<BaselineRow> gone() const;

 private:
  const Baseline& m_baseline;
  std::vector<size_t> m_byName;  // indexes into m_baseline.rows, sorted by name
  std::vector<bool> m_matched;
};

}  // namespace scan
