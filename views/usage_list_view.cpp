#include "views/usage_list_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyleOptionHeader>

#include "views/name_delegate.h"

namespace {

// Qt's header hands the style "SortDown" for ascending order, a meaning some
// platforms once drew; the Fusion style draws SortDown as a down arrow, so an
// ascending list showed the down arrow. Here ascending hands "SortUp", which
// every style we run under draws as the up arrow: the arrow points the way
// the values grow.
class TUsageListHeader : public QHeaderView {
 public:
  explicit TUsageListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

 protected:
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (option->sortIndicator == QStyleOptionHeader::None) return;
    option->sortIndicator =
        sortIndicatorOrder() == Qt::AscendingOrder ? QStyleOptionHeader::SortUp : QStyleOptionHeader::SortDown;
  }
};

}  // namespace

TUsageListView::TUsageListView(QWidget* parent) : QTableView(parent) {
  setHorizontalHeader(new TUsageListHeader(this));
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the list for the next control, as in any list of rows. Moving
  // between cells instead also made hiding the focused list (the chart shown
  // in its place, totals only) step to the next row and select it alone,
  // dropping the rows the user had selected.
  setTabKeyNavigation(false);
  setFrameShape(QFrame::NoFrame);
  setIconSize(QSize(16, 16));
  setSortingEnabled(false);  // the window sorts, with its own compare
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);  // the scroll value is the top row
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setHighlightSections(false);
  setItemDelegateForColumn(0, new TNameDelegate(this));  // escapes in a name stand apart
  QFont f = font();
  f.setPointSizeF(9.75);  // 13 pixels at 96 dpi, more on a finer screen
  setFont(f);
}

QHeaderView* TUsageListView::header() const { return horizontalHeader(); }

int TUsageListView::textMargins() const {
  // The item delegate draws a cell's text this far in from either edge and
  // elides what does not fit between.
  return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
}

void TUsageListView::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::LocaleChange) emit textMetricsChanged();
}

void TUsageListView::beginArrivals() {
  // The scroll bars too: each batch marks them dirty, and a Fusion scroll bar
  // takes longer to paint than the totals.
  for (QWidget* w : {viewport(), static_cast<QWidget*>(verticalScrollBar()), static_cast<QWidget*>(horizontalScrollBar())})
    w->setUpdatesEnabled(false);
  m_scrollBarPainted.invalidate();
}

void TUsageListView::endArrivals() {
  for (QWidget* w : {viewport(), static_cast<QWidget*>(verticalScrollBar()), static_cast<QWidget*>(horizontalScrollBar())})
    w->setUpdatesEnabled(true);
}

void TUsageListView::repaintArrivedRows(int firstNew) {
  // Every earlier batch that reached the page was painted when it arrived, so
  // rows below the page leave the page as it is; only the scroll range grew.
  const int top = verticalScrollBar()->value();
  const int rowsOnPage = (viewport()->height() + kRowHeight - 1) / kRowHeight;
  if (firstNew >= top + rowsOnPage) {
    // The scroll bar follows a few times a second: painting it costs more
    // than a whole batch of rows (0.5 ms with the Fusion style).
    if (!m_scrollBarPainted.isValid() || m_scrollBarPainted.elapsed() >= 100) {
      updateGeometries();  // not executeDelayedItemsLayout(): it marks the whole page dirty
      const bool arriving = !verticalScrollBar()->updatesEnabled();
      verticalScrollBar()->setUpdatesEnabled(true);
      verticalScrollBar()->repaint();
      if (arriving) verticalScrollBar()->setUpdatesEnabled(false);
      m_scrollBarPainted.start();
    }
    return;
  }
  const bool arriving = !viewport()->updatesEnabled();
  viewport()->setUpdatesEnabled(true);
  viewport()->repaint();
  if (arriving) viewport()->setUpdatesEnabled(false);
}
