#include "model/chart_cursor.h"

#include <algorithm>

int ChartLastTop(int rows, int rowsPerPage) { return rows > rowsPerPage + 1 ? rows - rowsPerPage - 1 : 0; }

TChartCursor MoveChartCursor(TChartCursor now, TChartMove move, int rows, int rowsPerPage) {
  if (rows <= 0) return {};
  const int r = std::max(1, rowsPerPage);
  const int lastTop = ChartLastTop(rows, r);
  const int page = r + 1;
  TChartCursor to{now.row, std::clamp(now.top, 0, lastTop)};
  const bool placed = now.row >= 0 && now.row < rows;
  if (!placed) to.row = std::min(to.top, rows - 1);
  switch (move) {
    case TChartMove::Up:
      if (placed) to.row = std::max(0, to.row - 1);
      break;
    case TChartMove::Down:
      if (placed) to.row = std::min(rows - 1, to.row + 1);
      break;
    case TChartMove::PageUp:
      to.row = std::max(0, to.row - page);
      to.top = std::max(0, to.top - page);
      break;
    case TChartMove::PageDown:
      to.row = std::min(rows - 1, to.row + page);
      to.top = std::min(lastTop, to.top + page);
      break;
    case TChartMove::Home:
      to = {0, 0};
      break;
    case TChartMove::End:
      to = {rows - 1, lastTop};
      break;
  }
  return ShowChartRow(to, rows, r);
}

TChartCursor ShowChartRow(TChartCursor cursor, int rows, int rowsPerPage) {
  const int r = std::max(1, rowsPerPage);
  if (cursor.row < cursor.top) cursor.top = cursor.row;
  if (cursor.row > cursor.top + r) cursor.top = cursor.row - r;
  cursor.top = std::clamp(cursor.top, 0, ChartLastTop(rows, r));
  return cursor;
}
