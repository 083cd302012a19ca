#include "chart/marked_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

TTextMarkLook MarkLook() { return {QColor(0xa3, 0x19, 0x5b), QColor(0xf8, 0xe2, 0xec)}; }

TTextMarkLook MarkLookOnHighlight(const QColor& highlightedText) {
  QColor tint = highlightedText;
  tint.setAlpha(70);
  return {highlightedText, tint};
}

namespace {

// Calls run(text, marked) for the plain and marked runs in order.
template <typename Run>
void forEachRun(const QString& text, const QList<int>& marks, Run run) {
  qsizetype at = 0;
  for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
    const qsizetype start = std::clamp<qsizetype>(marks[i], at, text.size());
    const qsizetype end = std::clamp<qsizetype>(start + marks[i + 1], start, text.size());
    if (start > at) run(QStringView(text).mid(at, start - at), false);
    if (end > start) run(QStringView(text).mid(start, end - start), true);
    at = end;
  }
  if (at < text.size()) run(QStringView(text).mid(at), false);
}

}  // namespace

int MarkedTextWidth(const QFontMetrics& fm, const QString& text, const QList<int>& marks) {
  if (marks.isEmpty()) return fm.horizontalAdvance(text);
  int width = 0;
  forEachRun(text, marks, [&](QStringView run, bool) { width += fm.horizontalAdvance(run.toString()); });
  return width;
}

qreal DrawMarkedText(QPainter& painter, const QPointF& baseline, const QString& text, const QList<int>& marks,
                     const TTextMarkLook& look) {
  const QFontMetrics fm = painter.fontMetrics();
  if (marks.isEmpty()) {
    painter.drawText(baseline, text);
    return baseline.x() + fm.horizontalAdvance(text);
  }
  const QPen pen = painter.pen();
  qreal x = baseline.x();
  forEachRun(text, marks, [&](QStringView view, bool marked) {
    const QString run = view.toString();
    const int width = fm.horizontalAdvance(run);
    if (marked) {
      painter.fillRect(QRectF(x, baseline.y() - fm.ascent(), width, fm.ascent() + fm.descent()), look.tint);
      painter.setPen(look.mark);
    }
    painter.drawText(QPointF(x, baseline.y()), run);
    if (marked) painter.setPen(pen);
    x += width;
  });
  return x;
}

QString MarkedTextHtml(const QString& text, const QList<int>& marks) {
  const TTextMarkLook look = MarkLook();
  QString html;
  forEachRun(text, marks, [&](QStringView run, bool marked) {
    if (marked)
      html += QStringLiteral("<span style='color:%1; background-color:%2'>").arg(look.mark.name(), look.tint.name()) +
              run.toString().toHtmlEscaped() + QStringLiteral("</span>");
    else
      html += run.toString().toHtmlEscaped();
  });
  return html;
}

QList<int> MarksWithin(const QList<int>& marks, qsizetype keep) {
  QList<int> out;
  for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
    if (marks[i] >= keep) break;
    out << marks[i] << static_cast<int>(std::min<qsizetype>(marks[i + 1], keep - marks[i]));
  }
  return out;
}
