#include "model/window_placement.h"

#include <algorithm>

QSize LimitWindowSize(int64_t width, int64_t height, QSize minimum, QSize available) {
  const auto limit = [](int64_t v, int low, int high) {
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(v, low), std::max(high, 0)));
  };
  return QSize(limit(width, minimum.width(), available.width()), limit(height, minimum.height(), available.height()));
}

QSize RememberedSize(int64_t width, int64_t height, QSize minimum) {
  const auto limit = [](int64_t v, int low) {
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(v, low), kLargestRememberedSide));
  };
  return QSize(limit(width, minimum.width()), limit(height, minimum.height()));
}

QPoint KeepRectOnScreen(int64_t left, int64_t top, QSize size, const QRect& area) {
  // QRect's right() and bottom() are the last pixels inside: one past them is
  // where the area ends.
  const int64_t right = int64_t(area.left()) + area.width(), bottom = int64_t(area.top()) + area.height();
  if (top + size.height() > bottom) top = bottom - size.height();
  if (left + size.width() > right) left = right - size.width();
  top = std::max<int64_t>(top, area.top());
  left = std::max<int64_t>(left, area.left());
  // Now within [area's edge, its far edge]: both fit an int.
  return QPoint(static_cast<int>(left), static_cast<int>(top));
}

int LimitNameColumnWidth(int64_t stored, int fallback, int least, int screenWidth) {
  const int64_t wanted = stored > 0 && stored <= screenWidth ? stored : fallback;
  return static_cast<int>(std::max<int64_t>(wanted, least));
}

int LimitTreeWidth(int64_t stored, int fallback, int total, int listMinimum, int treeMinimum) {
  const int64_t wanted = stored > 0 ? stored : fallback;
  const int64_t listKeeps = std::max<int64_t>((int64_t(total) + 2) / 3, listMinimum);
  const int64_t width = std::min<int64_t>(wanted, int64_t(total) - listKeeps);
  // Between the tree's least width and what was wanted: both fit an int.
  return static_cast<int>(std::max<int64_t>(width, treeMinimum));
}
