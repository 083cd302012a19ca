#pragma once
// Where a window of the program may stand and how large it may be, from plain
// numbers: sizes and positions read from the settings file are whatever the
// file holds (2^31 - 1, negatives, a screen that is gone), so the arithmetic
// here is done in 64 bits and every result is a usable int.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>

// A stored size made usable: each side at least its minimum and at most the
// available area's side; where the two cross (a screen smaller than the
// minimum), the available area wins so the whole window can be seen.
QSize LimitWindowSize(int64_t width, int64_t height, QSize minimum, QSize available);

// The most a remembered window side may be: more than any desktop of
// screens side by side shows (four 4K screens are 15,360 wide), so a size a
// larger screen once had is kept for when it is back, while a damaged number
// (2^31 - 1) is not stored again at every start.
constexpr int kLargestRememberedSide = 16384;

// A size read from the settings as it is remembered: raised to the least
// size and kept within kLargestRememberedSide; the screen limits only what
// is shown.
QSize RememberedSize(int64_t width, int64_t height, QSize minimum);

// The top-left corner that keeps a window of the given size (its frame
// included) on the area: a window reaching past the right or bottom edge is
// moved back by the overhang, then one past the left or top edge is moved to
// it, so a window larger than the area is aligned with its top-left corner.
QPoint KeepRectOnScreen(int64_t left, int64_t top, QSize size, const QRect& area);

// The folder tree's width beside the list in a splitter whose two parts
// share `total` pixels. A stored width of 0 or less is none: the fallback.
// Otherwise as stored, as far as the list keeps a usable width (a third of
// the total, and at least its own least width); never below the tree's own
// least width.
int LimitTreeWidth(int64_t stored, int fallback, int total, int listMinimum, int treeMinimum);

// The list's name column width read from the settings: as stored, never
// below `least` (the header's own text and sort arrow). 0 or less is none,
// and so is a width past the screen's (damage: 2^31 - 1 pushed the figures
// out of reach): the fallback then.
int LimitNameColumnWidth(int64_t stored, int fallback, int least, int screenWidth);
