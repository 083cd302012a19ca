// Sizes and positions from a settings file, whatever numbers it holds, made
// into a window that fits on a screen.
#include <gtest/gtest.h>

#include <climits>

#include "model/window_placement.h"
#include "qt_print.h"

TEST(WindowPlacement, AStoredSizeIsLimitedToTheAvailableAreaAndRaisedToTheMinimum) {
  const QSize minimum(541, 120), available(1280, 994);
  struct Case {
    const char* what;
    int64_t width, height;
    QSize expected;
  } cases[] = {
      {"fits", 900, 600, {900, 600}},
      {"2^31 - 1 square", INT32_MAX, INT32_MAX, {1280, 994}},
      {"larger than the screen", 5000, 4000, {1280, 994}},
      {"exactly the screen", 1280, 994, {1280, 994}},
      {"one pixel more", 1281, 995, {1280, 994}},
      {"zero", 0, 0, {541, 120}},
      {"negative", -1, -5000, {541, 120}},
      {"most negative", INT32_MIN, INT32_MIN, {541, 120}},
      {"below the minimum", 100, 119, {541, 120}},
  };
  for (const Case& c : cases) EXPECT_EQ(LimitWindowSize(c.width, c.height, minimum, available), c.expected) << c.what;
  // A screen smaller than the minimum: the whole window stays visible.
  EXPECT_EQ(LimitWindowSize(900, 600, QSize(541, 120), QSize(480, 100)), QSize(480, 100));
  EXPECT_EQ(LimitWindowSize(900, 600, QSize(0, 0), QSize(0, 0)), QSize(0, 0));
}

TEST(WindowPlacement, ARememberedSizeKeepsWhatAScreenCouldShowAndDropsDamage) {
  const QSize minimum(541, 120);
  struct Case {
    int64_t width, height;
    QSize expected;
  } cases[] = {
      {9000, 5000, {9000, 5000}},  // two large screens' worth: kept for when they are back
      {INT32_MAX, INT32_MAX, {kLargestRememberedSide, kLargestRememberedSide}},
      {INT64_MAX, kLargestRememberedSide + 1, {kLargestRememberedSide, kLargestRememberedSide}},
      {INT32_MIN, -1, {541, 120}},
      {0, 119, {541, 120}},
  };
  for (const Case& c : cases) EXPECT_EQ(RememberedSize(c.width, c.height, minimum), c.expected) << c.width << "x" << c.height;
}

TEST(WindowPlacement, ANameColumnWidthPastTheScreenOrNoneTakesTheFirstStartsWidth) {
  struct Case {
    int64_t stored;
    int expected;
  } cases[] = {{300, 300},    {1920, 1920}, {1921, 280}, {INT32_MAX, 280}, {INT64_MAX, 280},
               {0, 280},      {-1, 280},    {INT32_MIN, 280}, {5, 60}};
  for (const Case& c : cases) EXPECT_EQ(LimitNameColumnWidth(c.stored, 280, 60, 1920), c.expected) << c.stored;
  // A header wider than the fallback: the header's width.
  EXPECT_EQ(LimitNameColumnWidth(0, 280, 300, 1920), 300);
}

TEST(WindowPlacement, AnyStoredPositionEndsOnTheArea) {
  const QRect area(0, 0, 1280, 994);
  const QSize size(700, 400);
  struct Case {
    const char* what;
    int64_t left, top;
    QRect area;
    QPoint expected;
  } cases[] = {
      {"inside", 10, 20, area, {10, 20}},
      {"at the far corner", 580, 594, area, {580, 594}},
      {"one past the far corner", 581, 595, area, {580, 594}},
      {"far right and below: would overflow in 32 bits", 0x7ffffc18, 0x7ffffd87, area, {580, 594}},
      {"2^31 - 1", INT32_MAX, INT32_MAX, area, {580, 594}},
      {"negative", -300, -1, area, {0, 0}},
      {"most negative", INT32_MIN, INT32_MIN, area, {0, 0}},
      {"past the right edge, above the top", 1780, -300, area, {580, 0}},
      // A second screen to the left of and above the primary one.
      {"an area with negative coordinates", -5000, -5000, QRect(-1920, -200, 1920, 1080), {-1920, -200}},
      {"inside an area with negative coordinates", -1000, 100, QRect(-1920, -200, 1920, 1080), {-1000, 100}},
      {"past an area that ends near 2^31", INT32_MAX, 10, QRect(INT32_MAX - 2000, 0, 1000, 1000),
       {INT32_MAX - 1700, 10}},
  };
  for (const Case& c : cases) EXPECT_EQ(KeepRectOnScreen(c.left, c.top, size, c.area), c.expected) << c.what;
  // A window larger than the area: aligned with its top-left corner.
  EXPECT_EQ(KeepRectOnScreen(500, 500, QSize(2000, 2000), area), QPoint(0, 0));
  EXPECT_EQ(KeepRectOnScreen(INT32_MAX, INT32_MIN, QSize(2000, 2000), area), QPoint(0, 0));
}

TEST(WindowPlacement, ATreeWidthLeavesTheListAThirdAndItsLeastWidth) {
  struct Case {
    const char* what;
    int64_t stored;
    int total, listMinimum;
    int expected;
  } cases[] = {
      {"fits", 300, 994, 68, 300},
      {"exactly two thirds", 662, 994, 68, 662},
      {"one more", 663, 994, 68, 662},
      {"2^31 - 1", INT32_MAX, 994, 68, 662},
      {"past 32 bits", int64_t(1) << 40, 994, 68, 662},
      {"zero: the fallback", 0, 994, 68, 250},
      {"negative: the fallback", -1, 994, 68, 250},
      {"most negative: the fallback", INT32_MIN, 994, 68, 250},
      {"a fallback too wide for a narrow window", 0, 300, 68, 200},
      {"the list's least width is more than a third", 300, 150, 68, 82},
      {"below the tree's least width", 3, 994, 68, 40},
      {"no room at all: the tree's least width", 300, 60, 68, 40},
      {"a splitter of no width", INT32_MAX, 0, 0, 40},
  };
  for (const Case& c : cases) EXPECT_EQ(LimitTreeWidth(c.stored, 250, c.total, c.listMinimum, 40), c.expected) << c.what;
}
