#pragma once
// Draws names whose text holds escapes (kNameEscapesRole: (start, length)
// pairs of the display text) with the escapes set apart from the name's own
// characters, in a colour of their own on a tint (chart/marked_text.h); every
// other item as the style draws it. The usage list's name column and the
// folder tree use it.
#include <QStyledItemDelegate>

class TNameDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
