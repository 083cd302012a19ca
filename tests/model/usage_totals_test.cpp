// The arithmetic behind the totals panel: sums, efficiency, the target fit and
// which entries make rows.
#include <gtest/gtest.h>

#include <limits>

#include "model/usage_totals.h"

TEST(UsageTotals, EfficiencyIsTruncatedAndAbsentWithoutDiskBytes) {
  struct Case {
    long double fileBytes, diskBytes;
    std::optional<int> expected;
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
