#include "views/gauge.h"

#include <QPainter>
#include <algorithm>

TGauge::TGauge(QWidget* parent) : QWidget(parent), m_back(kSkyBlue), m_fore(palette().color(QPalette::Button)) {}

void TGauge::setProgress(int progress) {
  progress = std::clamp(progress, 0, 100);
  if (progress == m_progress) return;
  m_progress = progress;
  update();
}

void TGauge::setBackColor(const QColor& c) {
  m_back = c;
  update();
}

void TGauge::setForeColor(const QColor& c) {
  m_fore = c;
  update();
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), m_back);
  p.fillRect(QRect(0, 0, width() * m_progress / 100, height()), m_fore);
}
