#include "model/usage_totals.h"

#include <cmath>

#include "platform/path.h"

void TUsageTotals::add(int32_t rowFiles, int32_t rowDirs, long double rowFileBytes, long double rowDiskBytes) {
  // Wrapping addition, as the 32-bit counts of the engine wrap.
  files = static_cast<int32_t>(static_cast<uint32_t>(files) + static_cast<uint32_t>(rowFiles));
  dirs = static_cast<int32_t>(static_cast<uint32_t>(dirs) + static_cast<uint32_t>(rowDirs));
  fileBytes += rowFileBytes;
  diskBytes += rowDiskBytes;
  ++rows;
}

std::optional<int> TUsageTotals::efficiency() const {
  if (!(diskBytes > 0)) return std::nullopt;
  return static_cast<int>(std::trunc(fileBytes * 100 / diskBytes));
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
