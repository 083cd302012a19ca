#include "scan/change.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace scan {

int64_t byteChange(uint64_t now, uint64_t before) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (now >= before) return static_cast<int64_t>(std::min(now - before, kMax));
  const uint64_t drop = before - now;
  return drop > kMax ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(drop);
}

ChangeMatch::ChangeMatch(const Baseline& baseline) : m_baseline(baseline), m_matched(baseline.rows.size(), false) {
  size_t slots = 16;
  while (slots < baseline.rows.size() * 2) slots *= 2;
  m_slots.resize(slots);
  for (size_t i = 0; i < baseline.rows.size(); ++i) {
    const size_t hash = std::hash<std::string_view>()(baseline.rows[i].name);
    Slot& slot = m_slots[slotOf(baseline.rows[i].name, hash)];
    if (slot.row == 0) slot = {hash, i + 1};  // of two rows with one name the first is found
  }
}

size_t ChangeMatch::slotOf(std::string_view name, size_t hash) const {
  const size_t mask = m_slots.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = m_slots[at];
    if (slot.row == 0 || (slot.hash == hash && m_baseline.rows[slot.row - 1].name == name)) return at;
  }
}

RowChange ChangeMatch::match(std::string_view name, uint64_t diskBytes) {
  const size_t row = m_slots[slotOf(name, std::hash<std::string_view>()(name))].row;
  if (row == 0) return {RowChange::Kind::New, byteChange(diskBytes, 0)};
  m_matched[row - 1] = true;
  const int64_t change = byteChange(diskBytes, m_baseline.rows[row - 1].diskBytes);
  return {change == 0 ? RowChange::Kind::Same : RowChange::Kind::Changed, change};
}

std::vector<BaselineRow> ChangeMatch::gone() const {
  std::vector<BaselineRow> rows;
  for (size_t i = 0; i < m_baseline.rows.size(); ++i) {
    if (m_matched[i]) continue;
    // A name given twice is one entry: only its first row can be gone.
    const std::string& name = m_baseline.rows[i].name;
    if (m_slots[slotOf(name, std::hash<std::string_view>()(name))].row == i + 1) rows.push_back(m_baseline.rows[i]);
  }
  return rows;
}

}  // namespace scan
