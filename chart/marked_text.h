#pragma once
// Text of which some runs are marked, drawn so that they stand apart from the
// rest: in a colour of their own on a tint. The chart's labels and the item
// views' names use it for the escapes in a name.
#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>

class QFontMetrics;
class QPainter;

struct TTextMarkLook {
  QColor mark;  // the marked runs' text
  QColor tint;  // behind them
};
// The look on a plain background, and on a selection's highlight (whose
// text colour is given).
TTextMarkLook MarkLook();
TTextMarkLook MarkLookOnHighlight(const QColor& highlightedText);

// The width the text takes when drawn by DrawMarkedText.
int MarkedTextWidth(const QFontMetrics& fm, const QString& text, const QList<int>& marks);

// Draws text with its left end at baseline in the painter's pen, the marked
// runs ((start, length) pairs in UTF-16 units, in order) in look; returns
// where the text ends.
qreal DrawMarkedText(QPainter& painter, const QPointF& baseline, const QString& text, const QList<int>& marks,
                     const TTextMarkLook& look);

// The text as rich text (for a tool tip): markup characters as references,
// the marked runs in the look's colours.
QString MarkedTextHtml(const QString& text, const QList<int>& marks);

// The marks of a text cut to its first `keep` units: runs beyond it dropped,
// one it cuts shortened.
QList<int> MarksWithin(const QList<int>& marks, qsizetype keep);
