#include "views/usage_list_view.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace {

class RowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(TUsageListView::kRowHeight);
    return s;
  }
};

}  // namespace

TUsageListView::TUsageListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setFrameShape(QFrame::NoFrame);
  setIconSize(QSize(16, 16));
  setItemDelegate(new RowDelegate(this));
  setSortingEnabled(false);  // the window sorts, with its own compare
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  QFont f = font();
  f.setPixelSize(13);
  setFont(f);
}
