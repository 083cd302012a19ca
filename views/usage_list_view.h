#pragma once
// The usage list's view: a flat multi-column list, whole rows selected, many
// at once, rows tall enough for a 21-pixel icon with the 16-pixel icon centred.
// A table view rather than a tree view: appending a row costs the table O(1),
// while a tree view lays out every row again at the next paint, which made the
// refresh of a 100,000-file folder quadratic (its forced repaints).
#include <QTableView>

class QHeaderView;

class TUsageListView : public QTableView {
  Q_OBJECT
 public:
  explicit TUsageListView(QWidget* parent = nullptr);
  QHeaderView* header() const;
  static constexpr int kRowHeight = 21;
};
