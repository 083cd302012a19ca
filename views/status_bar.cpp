#include "views/status_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "views/gauge.h"

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setFixedHeight(kHeight);
  setSizeGripEnabled(false);
  setMouseTracking(true);
}

void TStatusBar::setPanelText(int panel, const QString& text) {
  m_texts.at(panel) = text;
  update(panelRect(panel));
}

void TStatusBar::clearPanels() {
  for (QString& t : m_texts) t.clear();
  update();
}

QRect TStatusBar::panelRect(int panel) const {
  // Panels sit side by side from the left, each drawn inside a 2-pixel edge:
  // panel 2's drawing area thus spans x = 292 to 403.
  int left = 0;
  for (int i = 0; i < panel; ++i) left += kPanelWidths[i];
  return QRect(left + 2, 2, kPanelWidths[panel] - 4, height() - 3);
}

bool TStatusBar::InClusterPanel(QPoint p, int barHeight) {
  const int left = 2 + kPanelWidths[0] + kPanelWidths[1];
  const int right = left + kPanelWidths[2] - 2;
  return left < p.x() && p.x() < right && 2 < p.y() && p.y() < barHeight - 1;
}

int TStatusBar::SharePercent(const QString& text) {
  const qsizetype p = text.indexOf(QLatin1Char('('));  // 0-based here
  const qsizetype q = text.indexOf(QLatin1Char('%'));
  if (p < 0 || q < p + 2) return -1;
  bool ok = false;
  const int a = text.mid(p + 1, q - p - 1).toInt(&ok);
  return ok ? a : -1;
}

void TStatusBar::StatusBarMouseMove(QPoint p) {
  m_pointer = p;
  if (m_texts[2].isEmpty()) return;  // the switch keeps its state
  m_tipOn = InClusterPanel(p, height());
  setToolTip(m_tipOn ? QStringLiteral("Double click to change") : QString());
}

void TStatusBar::StatusBarDblClick() {
  if (!m_texts[2].isEmpty() && InClusterPanel(m_pointer, height())) emit clusterPanelDoubleClicked();
}

void TStatusBar::mouseMoveEvent(QMouseEvent* e) {
  StatusBarMouseMove(e->position().toPoint());
  QStatusBar::mouseMoveEvent(e);
}

void TStatusBar::mouseDoubleClickEvent(QMouseEvent* e) {
  StatusBarMouseMove(e->position().toPoint());
  StatusBarDblClick();
}

bool TStatusBar::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && !m_tipOn) {
    QToolTip::hideText();
    e->ignore();
    return true;
  }
  return QStatusBar::event(e);
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Button));
  for (int i = 0; i < 4; ++i) {
    const QRect r = panelRect(i);
    // A lowered edge around each panel.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(r.left() - 1, r.top() - 1, r.right() + 1, r.top() - 1);
    painter.drawLine(r.left() - 1, r.top() - 1, r.left() - 1, r.bottom() + 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.left() - 1, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
    painter.drawLine(r.right() + 1, r.top() - 1, r.right() + 1, r.bottom() + 1);
    if (i == 1 || i == 2) {
      StatusBarDrawPanel(painter, i, r);
    } else {
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(r.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_texts[i]);
    }
  }
}

void TStatusBar::StatusBarDrawPanel(QPainter& painter, int panel, const QRect& r) {
  const QString& text = m_texts[panel];
  if (panel == 1 && text.isEmpty()) return;
  // The text goes on a white image that is ANDed onto the panel: white
  // leaves the bar or background as painted, the text shows dark over both.
  QImage image(r.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter ip(&image);
  ip.setFont(font());
  ip.setPen(palette().color(QPalette::WindowText));
  const int baseline = 1 + ip.fontMetrics().ascent();
  if (panel == 1) {
    const int a = SharePercent(text);
    if (a >= 0) {
      const QString share = QString::number(a) + QLatin1Char('%');
      ip.drawText(2, baseline, text.left(text.indexOf(QLatin1Char('(')) - 1));
      ip.drawText(image.width() - 3 - ip.fontMetrics().horizontalAdvance(share), baseline, share);
    } else {
      ip.drawText(2, baseline, text);
    }
    const int barLeft = r.right() + 1 - r.width() * std::max(a, 0) / 100;
    painter.fillRect(QRect(QPoint(barLeft, r.top()), QPoint(r.right(), r.bottom())), kSkyBlue);
  } else {
    ip.drawText(2, baseline, text);
    const bool custom = m_customCluster && m_customCluster();
    painter.fillRect(r, custom ? kSkyBlue : palette().color(QPalette::Button));
  }
  ip.end();
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
  painter.drawImage(r.topLeft(), image);
  painter.restore();
}
