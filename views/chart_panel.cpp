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
  layout->addWidget(m_chart, 1);
  layout->addWidget(m_scroll);
  m_chart->installEventFilter(this);
}

bool TChartPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_chart && event->type() == QEvent::Resize) emit chartResized();
  return QFrame::eventFilter(watched, event);
}
