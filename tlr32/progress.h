#pragma once
// Running counts of the computation in flight, for a host that shows
// progress while TlrCalcUsage works on another of its threads. Walks add
// whole folders at a time (a few relaxed atomic adds per folder, not per
// file), so the hot path pays nothing measurable; readers may see counts a
// folder behind. One set per loaded library; trivially destructible, so it
// outlives every exit handler.
#include <atomic>
#include <cstdint>

#include "tlr32/walker.h"

namespace tlr {

class Progress {
 public:
  void reset() {
    for (auto& c : m_counts) c.store(0, std::memory_order_relaxed);
  }
  // Adds what grew from before to after (both of one walker's running sum).
  void addGrowth(const Figures& before, const Figures& after) {
    add(after.files - before.files, after.dirs - before.dirs, after.fileBytes - before.fileBytes,
        after.diskBytes - before.diskBytes);
  }
  void add(uint64_t files, uint64_t dirs, uint64_t fileBytes, uint64_t diskBytes) {
    if (files) m_counts[0].fetch_add(files, std::memory_order_relaxed);
    if (dirs) m_counts[1].fetch_add(dirs, std::memory_order_relaxed);
    if (fileBytes) m_counts[2].fetch_add(fileBytes, std::memory_order_relaxed);
    if (diskBytes) m_counts[3].fetch_add(diskBytes, std::memory_order_relaxed);
  }
  // files, folders, file bytes, disk bytes
  uint64_t count(int i) const { return m_counts[i].load(std::memory_order_relaxed); }
  static constexpr int kCounts = 4;

 private:
  std::atomic<uint64_t> m_counts[kCounts] = {};
};

Progress& progress();

}  // namespace tlr
