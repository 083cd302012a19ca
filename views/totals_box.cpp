#include "views/totals_box.h"

#include <QFrame>
#include <QLabel>

#include "views/gauge.h"

TTotalsBox MakeTotalsBox(QWidget* group, const QRect& box, const QString& caption, const QRect& value,
                         bool withGauge) {
  TTotalsBox made;
  made.panel = new QFrame(group);
  made.panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  made.panel->setGeometry(box);
  if (withGauge) {
    made.gauge = new TGauge(made.panel);
    made.gauge->setGeometry(1, 1, box.width() - 2, box.height() - 2);
  }
  auto* cap = new QLabel(caption, made.panel);
  cap->move(4, 2);
  cap->setAttribute(Qt::WA_TranslucentBackground);
  made.value = new QLabel(made.panel);
  made.value->setGeometry(value);
  made.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  made.value->setAttribute(Qt::WA_TranslucentBackground);
  return made;
}
