#pragma once
// Each row's change against a baseline, matched by the name's exact bytes.
#include <cstdint>
#include <string>
#include <string_view>
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
  RowChange match(std::string_view name, uint64_t diskBytes);
  // The baseline rows no current entry matched, in the baseline's order.
  std::vector<BaselineRow> gone() const;

 private:
  const Baseline& m_baseline;
  // The first row of each name, by the hash of its bytes: open addressing
  // in one array, so that neither building it nor a look-up allocates per
  // row (a folder of 100,000 entries is matched at every refresh).
  struct Slot {
    size_t hash = 0;
    size_t row = 0;  // the row's index + 1; 0: an empty slot
  };
  // The slot of name: its row's, or the empty one where it would go.
  size_t slotOf(std::string_view name, size_t hash) const;
  std::vector<Slot> m_slots;  // a power of two, at most half full
  std::vector<bool> m_matched;
};

}  // namespace scan
