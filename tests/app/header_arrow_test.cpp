// The sort arrow as the header paints it: the up arrow while ascending, the
// down arrow while descending, whichever meaning the style gives its own
// indicator flags.
#include <QHeaderView>
#include <QStyleOptionHeader>

#include "form_fixture.h"

namespace {

enum class Arrow { None, Up, Down };

// Reads the arrow off the header's pixels: the sort column painted with its
// arrow against the same column painted while another column has it. Of the
// pixels that differ, a triangle pointing up has its widest line at the
// bottom, one pointing down at the top.
Arrow paintedArrow(TDiskUsageForm& f, int column, bool ascending) {
  QHeaderView* h = f.UsageList->header();
  f.SortAscending = ascending;
  f.SortByColumn(column);
  const QImage with = h->grab().toImage();
  f.SortByColumn(column == 0 ? 5 : 0);
  const QImage without = h->grab().toImage();
  // In device pixels: on a finer screen the picture is larger than the header.
  const qreal dpr = with.devicePixelRatio();
  const QRect section(qRound(h->sectionViewportPosition(column) * dpr), 0, qRound(h->sectionSize(column) * dpr) - 1,
                      with.height());
  int top = -1, bottom = -1;
  std::map<int, int> inkPerLine;
  for (int y = section.top(); y <= section.bottom(); ++y)
    for (int x = section.left(); x <= section.right(); ++x)
      if (with.pixel(x, y) != without.pixel(x, y)) {
        ++inkPerLine[y];
        if (top < 0) top = y;
        bottom = y;
      }
  if (top < 0 || bottom - top < 2) return Arrow::None;
  return inkPerLine[top] < inkPerLine[bottom] ? Arrow::Up : Arrow::Down;
}

}  // namespace

TEST_F(FormTest, TheHeaderShowsTheUpArrowWhileAscendingAndTheDownArrowWhileDescending) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmdClick();
  // Every section on the page, the date's arrow included: the list takes the
  // tree's width too (the window is as wide as the test screen's 800 pixels).
  f.TreeViewCmd->trigger();
  QHeaderView* h = f.UsageList->header();
  h->resizeSection(0, 120);
  ASSERT_LE(h->sectionViewportPosition(5) + h->sectionSize(5), h->viewport()->width());
  // Left-aligned captions: the arrow's room on the right holds nothing else.
  for (int column : {0, 5}) {
    EXPECT_EQ(paintedArrow(f, column, true), Arrow::Up) << "column " << column << " ascending";
    EXPECT_EQ(paintedArrow(f, column, false), Arrow::Down) << "column " << column << " descending";
  }
  // The state behind the picture stays Qt's own: ascending is ascending.
  f.SortAscending = true;
  f.SortByColumn(5);
  EXPECT_EQ(f.UsageList->header()->sortIndicatorOrder(), Qt::AscendingOrder);
}
