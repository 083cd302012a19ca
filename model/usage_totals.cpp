#include "model/usage_totals.h"

#include <cmath>
#include <limits>

#include "platform/path.h"

void TUsageTotals::add(int32_t rowFiles, int32_t rowDirs, long double rowFileBytes, long double rowDiskBytes) {
  // Wrapping addition, as the 32-bit counts of the engine wrap.
  files = static_cast<int32_t>(static_cast<uint32_t>(files) + static_cast<uint32_t>(rowFiles));
  dirs = static_cast<int32_t>(static_cast<uint32_t>(dirs) + static_cast<uint32_t>(rowDirs));
  fileBytes += rowFileBytes;
  diskBytes += rowDiskBytes;
  ++rows;
}

std::optional<int64_t> TUsageTotals::efficiency() const {
  if (!(diskBytes > 0)) return std::nullopt;
  const long double e = std::trunc(fileBytes * 100 / diskBytes);
  if (std::isnan(e)) return std::nullopt;
  // 2^63 is exact in a long double; converting anything at or past it is
  // undefined, so the ends are clamped before the conversion.
  constexpr long double kLimit = 9223372036854775808.0L;
  if (e >= kLimit) return std::numeric_limits<int64_t>::max();
  if (e <= -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(e);
}

int EfficiencyGaugeProgress(int64_t efficiency) {
  // Compared before subtracting: 100 - e overflows for e near the minimum.
  if (efficiency >= 100) return 0;
  if (efficiency <= 0) return 100;
  return static_cast<int>(100 - efficiency);
}

TTargetFit TargetFitAfterRefresh(long double diskBytes, long double capacity) {
  if (diskBytes > capacity || capacity <= 0) return {100, TTargetFit::Yellow};
  return {static_cast<int>(std::trunc(diskBytes * 100 / capacity)), TTargetFit::Normal};
}

TTargetFit TargetFitOfSelection(long double diskBytes, long double capacity) {
  if (diskBytes < capacity) return {static_cast<int>(std::trunc(diskBytes * 100 / capacity)), TTargetFit::Normal};
  return {100, diskBytes > capacity ? TTargetFit::Red : TTargetFit::Yellow};
}

bool IsEntryOfFolder(std::string_view fullPath, std::string_view name, std::string_view folder) {
  return platform::folderPart(fullPath) == folder && name != "..";
}

bool HasUsage(int32_t dirs, int32_t files, double diskBytes) {
  return dirs != 0 || files != 0 || diskBytes >= 1.0;
}
