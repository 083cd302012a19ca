#pragma once
// The arithmetic of the chart view, without the chart: rows per page, the
// labels, the unit, which row's label lies under a point and where a row's
// icon goes. The category axis numbers come from the chart after its layout.
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "model/display_name.h"

// The chart's category axis as the hit test and the icons need it.
struct TChartAxis {
  double min = 0, max = 0;  // the page: index min at the top
  int startPos = 0, endPos = 0;  // first and last pixel rows of the axis
  int labelsRight = 0;           // where the right-aligned labels end
  int textHeight = 0;            // the height of "X"
};

// R: rows that fit below the first one, (height - 35) / 40 truncated, at least
// 1. A page shows R + 1 rows.
int ChartRowsPerPage(int chartHeight);

// A row's label: names longer than 30 characters are cut to 27 and "...",
// then 8 spaces make room for the icon. A character here is a UTF-16 unit,
// but a cut never splits a surrogate pair.
QString ChartLabel(const QString& name);
// The same label straight from a name's bytes, as the name shows
// (DisplayName); one that shows as it is, in one allocation: a rebuild of
// 100,000 rows spent half its time making each label twice.
QString ChartLabelOfName(std::string_view rawName);
// ...with where the escapes stand in it (TDisplayName); a cut never splits
// an escape: it comes before one that would not fit whole.
TDisplayName ChartLabelMarked(std::string_view rawName);

// The chart's own copy of the rows' names, in point order, as raw bytes one
// after another: a copy of 100,000 names is one buffer and an index, and a
// label is made from it only when its point is shown.
class TChartNames {
 public:
  void reserve(size_t names, size_t bytes);
  void add(std::string_view name);
  size_t size() const { return m_ends.size(); }
  std::string_view at(size_t index) const;  // throws std::out_of_range
  QString label(size_t index) const { return ChartLabelOfName(at(index)); }
  QList<int> labelMarks(size_t index) const;  // of label(index)

 private:
  std::string m_bytes;
  std::vector<size_t> m_ends;  // where each name ends in m_bytes
};

// The unit of the bars: KB, or MB from the first row of 10,485,760 disk bytes
// or more on.
inline constexpr double kChartMegabyteFrom = 10485760;
struct TChartUnit {
  double divisor;
  const char* suffix;  // of the value labels' pattern "#,##0KB" or "#,##0MB"
};
inline constexpr TChartUnit kChartKilobytes{1024, "KB"};
inline constexpr TChartUnit kChartMegabytes{1048576, "MB"};

// The pixel pitch of one row: the axis length over the page's span, or the
// text height when the span is not above `minSpan` (0.5 for the hit test, 0
// for the icons).
double ChartRowPitch(const TChartAxis& axis, double minSpan);

// The row whose name label lies under (x, y), or -1: only the labels are
// sensitive, and of each row's band only the middle 60 per cent, so that a
// pointer near the boundary of two rows hits neither.
int ChartRowAt(const TChartAxis& axis, double x, double y, int rowCount);

// Rounds halves to even, as the chart rounds its range.
int RoundHalfEven(double value);

// The top of row i's icon of iconHeight pixels on the page that starts at
// row `first`.
int ChartIconTop(const TChartAxis& axis, int i, int first, int iconHeight);
