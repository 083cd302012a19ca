#pragma once
// One box of the totals panel: a lowered frame with its caption on the left,
// a right-aligned value label and, for the gauges, a bar drawn behind both.
// Every widget is a child of the frame, which is a child of the group.
#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QWidget;
class TGauge;

struct TTotalsBox {
  QFrame* panel = nullptr;
  QLabel* value = nullptr;
  TGauge* gauge = nullptr;  // null unless asked for
};

TTotalsBox MakeTotalsBox(QWidget* group, const QRect& box, const QString& caption, const QRect& value,
                         bool withGauge = false);
