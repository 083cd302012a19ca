#include "scan/change.h"

#include <algorithm>
#include <limits>

namespace scan {

int64_t byteChange(uint64_t now, uint64_t before) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (now >= before) return static_cast<int64_t>(std::min(now - before, kMax));
  const uint64_t drop = before - now;
  return drop > kMax ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(drop);
}

ChangeMatch::ChangeMatch(const Baseline& baseline) : m_baseline(baseline), m_matched(baseline.rows.size(), false) {
  m_byName.reserve(baseline.rows.size());
  for (size_t i = 0; i < baseline.rows.size(); ++i) m_byName.push_back(i);
  // Stable, so that of two rows with one name the first is found.
  std::stable_sort(m_byName.begin(), m_byName.end(),
                   [&](size_t a, size_t b) { return baseline.rows[a].name < baseline.rows[b].name; });
}

RowChange ChangeMatch::match(const std::string& name, uint64_t diskBytes) {
  const auto it = std::lower_bound(m_byName.begin(), m_byName.end(), name,
                                   [&](size_t i, const std::string& n) { return m_baseline.rows[i].name < n; });
  if (it == m_byName.end() || m_baseline.rows[*it].name != name)
    return {RowChange::Kind::New, byteChange(diskBytes, 0)};
  m_matched[*it] = true;
  const int64_t change = byteChange(diskBytes, m_baseline.rows[*it].diskBytes);
  return {change == 0 ? RowChange::Kind::Same : RowChange::Kind::Changed, change};
}

std::vector<BaselineRow> ChangeMatch::gone() const {
  std::vector<BaselineRow> rows;
  for (size_t i = 0; i < m_baseline.rows.size(); ++i)
    if (!m_matched[i]) {
      // A name given twice is one entry: only its first row can be gone.
      const auto it = std::lower_bound(m_byName.begin(), m_byName.end(), m_baseline.rows[i].name,
                                       [&](size_t j, const std::string& n) { return m_baseline.rows[j].name < n; });
      if (*it == i) rows.push_back(m_baseline.rows[i]);
    }
  return rows;
}

}  // namespace scan
