#include "views/chart_panel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QScrollBar>

#include "chart/bar_chart.h"

TChartPanel::TChartPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  m_chart = new TBarChart(this);
  m_chart->setObjectName(QStringLiteral("UsageChart"));
  m_scroll = new QScrollBar(Qt::Vertical, this);
  m_scroll->setObjectName(QStringLiteral("ChartScroll"));
  m_scroll->setFixedWidth(16);
  m_scroll->setRange(0, 0);
  m_scroll->setPageStep(0);
  m_scroll->setSingleStep(1);
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_scroll->hide();
  connect(m_scroll, &QAbstractSlider::actionTriggered, this, [this](int action) {
    // The position has moved by the page step (0) already; the value follows
    // once this returns.
    if (action == QAbstractSlider::SliderPageStepAdd)
      m_scroll->setSliderPosition(m_scroll->sliderPosition() + m_largeStep);
    else if (action == QAbstractSlider::SliderPageStepSub)
      m_scroll->setSliderPosition(m_scroll->sliderPosition() - m_largeStep);
  });
  layout->addWidget(m_chart, 1);
  layout->addWidget(m_scroll);
  m_chart->installEventFilter(this);
}

bool TChartPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_chart && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) emit chartResized();
  return QFrame::eventFilter(watched, event);
}

void TChartPanel::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  m_chart->update();
}

void TChartPanel::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  m_chart->update();
}
