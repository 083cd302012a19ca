// The arithmetic behind the totals panel: sums, efficiency, the target fit and
// which entries make rows.
#include <gtest/gtest.h>

#include <limits>

#include "model/usage_totals.h"

TEST(UsageTotals, EfficiencyIsTruncatedAndAbsentWithoutDiskBytes) {
  struct Case {
    long double fileBytes, diskBytes;
    std::optional<int64_t> expected;
  } cases[] = {
      {0, 0, std::nullopt},        // nothing on disk: the panel keeps its figure
      {5, 0, std::nullopt},        // bytes without disk bytes (sparse, or a fake)
      {0, 4096, 0},
      {4096, 4096, 100},
      {2999, 4096, 73},            // 73.2 -> 73, never rounded up
      {4095, 4096, 99},            // 99.97 -> 99
      {8192, 4096, 200},           // compressed volumes hold more than they take
      {1e15L, 1e15L + 4096, 99},
  };
  for (const Case& c : cases) {
    TUsageTotals t;
    t.add(1, 0, c.fileBytes, c.diskBytes);
    EXPECT_EQ(t.efficiency(), c.expected) << double(c.fileBytes) << " / " << double(c.diskBytes);
  }
}

TEST(UsageTotals, EfficiencyOfExtremeFiguresIsShownAsComputedWithoutOverflow) {
  constexpr long double kTiB = 1099511627776.0L;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  struct Case {
    long double fileBytes, diskBytes;
    std::optional<int64_t> expected;
  } cases[] = {
      {kTiB, 4096, 26843545600},            // a 1 TiB sparse file with one block written
      {2147483648.0L, 100, 2147483648},     // 2^31 per cent: past a 32-bit int
      {1e15L, 1, 100000000000000000},
      {1e18L, 1, kMax},                     // 1e20 per cent: clamped, not wrapped
      {-1e18L, 1, kMin},
      {-4096, 4096, -100},                  // a broken negative figure stays negative
      {inf, 4096, kMax},
      {-inf, 4096, kMin},
      {nan, 4096, std::nullopt},            // no figure to show: the panel keeps its own
      {4096, nan, std::nullopt},
      {4096, inf, 0},
      {4096, -4096, std::nullopt},          // no disk bytes to speak of
  };
  for (const Case& c : cases) {
    TUsageTotals t;
    t.add(1, 0, c.fileBytes, c.diskBytes);
    EXPECT_EQ(t.efficiency(), c.expected) << double(c.fileBytes) << " / " << double(c.diskBytes);
  }
}

TEST(UsageTotals, TheEfficiencyGaugeShowsTheRestClampedIntoItsRange) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    int64_t efficiency;
    int progress;
  } cases[] = {{0, 100},   {1, 99},      {73, 27},          {100, 0},    {101, 0},
               {-1, 100},  {-5, 100},    {2147483648, 0},   {kMax, 0},   {kMin, 100},
               {kMin + 1, 100}, {26843545600, 0}, {-2147483648LL, 100}};
  for (const Case& c : cases) EXPECT_EQ(EfficiencyGaugeProgress(c.efficiency), c.progress) << c.efficiency;
}

TEST(UsageTotals, SumsRowsAndWrapsCountsAt32Bits) {
  TUsageTotals t;
  t.add(12, 3, 1000000, 1048576);
  t.add(1, 0, 10, 4096);
  EXPECT_EQ(t.rows, 2);
  EXPECT_EQ(t.diskBytes, 1052672.0L);
  EXPECT_EQ(t.fileBytes, 1000010.0L);
  EXPECT_EQ(t.dirs, 3);
  EXPECT_EQ(t.files, 13);

  TUsageTotals big;
  big.add(std::numeric_limits<int32_t>::max(), 0, 0, 0);
  big.add(1, 0, 0, 0);
  EXPECT_EQ(big.files, std::numeric_limits<int32_t>::min()) << "counts wrap as the engine's 32-bit counts do";

  TUsageTotals huge;
  huge.add(1, 0, 9007199254740993.0L, 9007199254740993.0L);  // 2^53 + 1: beyond a double's integers
  huge.add(1, 0, 1, 1);
  EXPECT_EQ(huge.diskBytes, 9007199254740994.0L) << "sums keep the precision of long double";
}

TEST(TargetFit, AfterARefreshAndForASelectionAtTheBoundaries) {
  using F = TTargetFit;
  struct Case {
    long double disk, capacity;
    F refresh, selection;
  } cases[] = {
      {0, 1000, {0, F::Normal}, {0, F::Normal}},
      {999, 1000, {99, F::Normal}, {99, F::Normal}},
      {1000, 1000, {100, F::Normal}, {100, F::Yellow}},  // exactly full: fits after a refresh
      {1001, 1000, {100, F::Yellow}, {100, F::Red}},
      {0, 0, {100, F::Yellow}, {100, F::Yellow}},        // a target with no room at all
      {5, 0, {100, F::Yellow}, {100, F::Red}},
      {1, 3, {33, F::Normal}, {33, F::Normal}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TargetFitAfterRefresh(c.disk, c.capacity), c.refresh) << double(c.disk) << " of " << double(c.capacity);
    EXPECT_EQ(TargetFitOfSelection(c.disk, c.capacity), c.selection) << double(c.disk) << " of " << double(c.capacity);
  }
}

TEST(RowFilter, EntriesOfTheFolderWithSomethingToShow) {
  struct Case {
    const char *path, *name;
    bool row;
  } entries[] = {
      {"/a/b/file", "file", true},
      {"/a/b/..", "..", false},
      {"/a/b/.hidden", ".hidden", true},
      {"/a/b/c/deeper", "deeper", false},  // not directly inside
      {"/a/bc/x", "x", false},             // a sibling whose name starts alike
      {"/a/B/x", "x", false},              // paths compare exactly
  };
  for (const Case& e : entries) EXPECT_EQ(IsEntryOfFolder(e.path, e.name, "/a/b/"), e.row) << e.path;

  EXPECT_FALSE(HasUsage(0, 0, 0));
  EXPECT_FALSE(HasUsage(0, 0, 0.5));
  EXPECT_TRUE(HasUsage(0, 0, 1));
  EXPECT_TRUE(HasUsage(1, 0, 0)) << "an empty folder still shows";
  EXPECT_TRUE(HasUsage(0, 1, 0)) << "an empty file still shows";
}
