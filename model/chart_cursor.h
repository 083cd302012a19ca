#pragma once
// The chart's current row and the page that shows it, as the keys move them:
// the arithmetic of the chart's keyboard, without the chart.

enum class TChartMove { Up, Down, PageUp, PageDown, Home, End };

struct TChartCursor {
  int row = -1;  // the current row; -1 for none
  int top = 0;   // the first row of the page (the scroll position)
  bool operator==(const TChartCursor&) const = default;
};

// The cursor after one key, for `rows` rows charted and pages of
// rowsPerPage + 1 rows (R of ChartRowsPerPage). A page key moves the row and
// the page by a whole page, so the row keeps its place on the screen; every
// move ends with the row on the page. A cursor without a row, or with one
// past the rows, starts on the page's first row: Up and Down put it there.
TChartCursor MoveChartCursor(TChartCursor now, TChartMove move, int rows, int rowsPerPage);

// The cursor with its page moved, as little as it must, to show its row.
TChartCursor ShowChartRow(TChartCursor cursor, int rows, int rowsPerPage);

// The last first row a page can have: the scroll bar's maximum.
int ChartLastTop(int rows, int rowsPerPage);
