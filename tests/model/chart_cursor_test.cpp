// The chart's keyboard: where each key puts the current row and the page.
#include <gtest/gtest.h>

#include "model/chart_cursor.h"

static std::ostream& operator<<(std::ostream& os, const TChartCursor& c) {
  return os << "{row " << c.row << ", top " << c.top << "}";
}

namespace {
using M = TChartMove;
}  // namespace

TEST(ChartCursor, EachKeyMovesTheRowAndKeepsItOnThePage) {
  // 30 rows, R = 4: pages of 5 rows, the last page starting at row 25.
  struct Case {
    const char* what;
    TChartCursor now;
    M move;
    int rows, r;
    TChartCursor want;
  } cases[] = {
      {"down inside the page", {2, 0}, M::Down, 30, 4, {3, 0}},
      {"down past the page scrolls one row", {4, 0}, M::Down, 30, 4, {5, 1}},
      {"down at the last row", {29, 25}, M::Down, 30, 4, {29, 25}},
      {"up inside the page", {3, 0}, M::Up, 30, 4, {2, 0}},
      {"up above the page scrolls one row", {10, 10}, M::Up, 30, 4, {9, 9}},
      {"up at the first row", {0, 0}, M::Up, 30, 4, {0, 0}},
      {"page down moves row and page", {2, 0}, M::PageDown, 30, 4, {7, 5}},
      {"page down near the end stops at the last page", {22, 20}, M::PageDown, 30, 4, {27, 25}},
      {"page down on the last page goes to the last row", {27, 25}, M::PageDown, 30, 4, {29, 25}},
      {"page up moves row and page", {12, 10}, M::PageUp, 30, 4, {7, 5}},
      {"page up near the top", {6, 3}, M::PageUp, 30, 4, {1, 0}},
      {"page up on the first page goes to the first row", {3, 0}, M::PageUp, 30, 4, {0, 0}},
      {"home", {17, 14}, M::Home, 30, 4, {0, 0}},
      {"end", {3, 0}, M::End, 30, 4, {29, 25}},
      // A row scrolled off the page by the wheel: the page comes back to it.
      {"down from a row above the page", {2, 12}, M::Down, 30, 4, {3, 3}},
      {"up from a row below the page", {20, 0}, M::Up, 30, 4, {19, 15}},
      // No row yet (or one past a shorter list): the page's first row.
      {"down without a row", {-1, 6}, M::Down, 30, 4, {6, 6}},
      {"up without a row", {-1, 6}, M::Up, 30, 4, {6, 6}},
      {"page down without a row", {-1, 0}, M::PageDown, 30, 4, {5, 5}},
      {"a row past the rows", {40, 0}, M::Down, 30, 4, {0, 0}},
      // All rows on one page: the page never moves.
      {"few rows: page down", {0, 0}, M::PageDown, 3, 4, {2, 0}},
      {"few rows: end", {0, 0}, M::End, 3, 4, {2, 0}},
      {"a page past the end is pulled back", {3, 9}, M::Down, 6, 4, {4, 1}},
      {"no rows", {3, 2}, M::Down, 0, 4, {-1, 0}},
      {"R of 0 counts as 1", {0, 0}, M::PageDown, 10, 0, {2, 2}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MoveChartCursor(c.now, c.move, c.rows, c.r), c.want) << c.what;
}

TEST(ChartCursor, TheLastPageStartsWhereTheScrollBarEnds) {
  EXPECT_EQ(ChartLastTop(13, 11), 1);
  EXPECT_EQ(ChartLastTop(12, 11), 0);
  EXPECT_EQ(ChartLastTop(0, 11), 0);
  EXPECT_EQ(ChartLastTop(30, 4), 25);
}

TEST(ChartCursor, AFolderLeftIsShownOnThePageAsLittleMovedAsCanBe) {
  struct Case {
    TChartCursor now;
    int rows, r;
    int top;
  } cases[] = {{{3, 0}, 30, 4, 0}, {{12, 0}, 30, 4, 8}, {{2, 10}, 30, 4, 2}, {{29, 0}, 30, 4, 25}, {{2, 0}, 3, 4, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(ShowChartRow(c.now, c.rows, c.r), (TChartCursor{c.now.row, c.top})) << c.now;
}
