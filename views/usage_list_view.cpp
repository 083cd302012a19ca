#include "views/usage_list_view.h"

#include <QHeaderView>
#include <QScrollBar>

TUsageListView::TUsageListView(QWidget* parent) : QTableView(parent) {
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
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
  QFont f = font();
  f.setPixelSize(13);
  setFont(f);
}

QHeaderView* TUsageListView::header() const { return horizontalHeader(); }

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
