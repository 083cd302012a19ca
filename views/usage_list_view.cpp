#include "views/usage_list_view.h"

#include <QHeaderView>

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
