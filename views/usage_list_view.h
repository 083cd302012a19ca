#pragma once
// The usage list's view: a flat multi-column list, whole rows selected, many
// at once, rows tall enough for a 21-pixel icon with the 16-pixel icon centred.
#include <QTreeView>

class TUsageListView : public QTreeView {
  Q_OBJECT
 public:
  explicit TUsageListView(QWidget* parent = nullptr);
  static constexpr int kRowHeight = 21;
};
