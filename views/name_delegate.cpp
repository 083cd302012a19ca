#include "views/name_delegate.h"

#include <QApplication>
#include <QPainter>

#include "chart/marked_text.h"
#include "model/display_name.h"

void TNameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QList<int> marks = index.data(kNameEscapesRole).value<QList<int>>();
  if (marks.isEmpty()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  // Where the style puts the text, asked with the text in place; then the
  // item (background, selection, icon, focus) drawn without it.
  QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
  const QString text = opt.text;
  opt.text.clear();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  textRect.adjust(margin, 0, -margin, 0);
  const QFontMetrics fm(opt.font);
  // Cut at the end as the style cuts any other name, the marks with it.
  QString shown = text;
  QList<int> shownMarks = marks;
  if (MarkedTextWidth(fm, text, marks) > textRect.width()) {
    const QString ellipsis(QChar(0x2026));
    const int room = textRect.width() - fm.horizontalAdvance(ellipsis);
    // The longest start that fits: the width grows with the length.
    qsizetype keep = 0, over = text.size();
    while (over - keep > 1) {
      const qsizetype mid = (keep + over) / 2;
      (MarkedTextWidth(fm, text.left(mid), MarksWithin(marks, mid)) <= room ? keep : over) = mid;
    }
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;
    shown = text.left(keep) + ellipsis;
    shownMarks = MarksWithin(marks, keep);
  }
  const bool selected = opt.state & QStyle::State_Selected;
  const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                         : QPalette::Inactive;
  const QColor textColour = opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
  painter->save();
  painter->setClipRect(textRect);
  painter->setFont(opt.font);
  painter->setPen(textColour);
  const int baseline = textRect.top() + (textRect.height() - fm.height()) / 2 + fm.ascent();
  DrawMarkedText(*painter, QPointF(textRect.left(), baseline), shown, shownMarks,
                 selected ? MarkLookOnHighlight(textColour) : MarkLook());
  painter->restore();
}
