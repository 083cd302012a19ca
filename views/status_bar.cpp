#include "views/status_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QToolTip>

#include "views/figure_format.h"
#include "views/gauge.h"

namespace {

// The longest texts each panel expects, in the locale in force: counts up to
// 99,999 rows, volumes up to 9,999G, every cluster text. Longer texts widen
// their panel when they come.
std::array<QStringList, 4> longestTexts(const QLocale& locale) {
  return {QStringList{ItemCountText(99999, locale), QStringLiteral("99999 selections")},
          QStringList{locale.toString(9999) + QStringLiteral("G of ") + locale.toString(9999) +
                      QStringLiteral("G bytes free (100%)")},
          QStringList{ClusterText(0, locale), ClusterText(1023, locale), ClusterText(65536, locale)},
          QStringList{}};
}

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  setMouseTracking(true);
  fitPanels();
}

int TStatusBar::neededWidth(const QString& text) const {
  // 2-pixel edges on both sides, the text drawn 2 pixels in and, in panel 1,
  // the share ending 3 pixels before the edge.
  return fontMetrics().horizontalAdvance(text) + 4 + 2 + 3;
}

void TStatusBar::fitPanels() {
  const std::array<QStringList, 4> samples = longestTexts(locale());
  for (int i = 0; i < 4; ++i) {
    int w = std::max(kPanelWidths[i], neededWidth(m_texts[i]));
    for (const QString& t : samples[i]) w = std::max(w, neededWidth(t));
    m_widths[i] = w;
  }
  // The text is drawn 1 pixel below the panel's top, which lies 2 pixels
  // below the bar's; the panel ends 1 pixel above the bar's foot.
  setFixedHeight(std::max(kHeight, fontMetrics().height() + 6));
  update();
}

void TStatusBar::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange || e->type() == QEvent::LocaleChange) fitPanels();
  QStatusBar::changeEvent(e);
}

void TStatusBar::setPanelText(int panel, const QString& text) {
  m_texts.at(panel) = text;
  if (neededWidth(text) > m_widths.at(panel)) {
    m_widths[panel] = neededWidth(text);  // the panels to its right move over
    update();
    return;
  }
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
  for (int i = 0; i < panel; ++i) left += m_widths[i];
  return QRect(left + 2, 2, m_widths[panel] - 4, height() - 3);
}

bool TStatusBar::InClusterPanel(QPoint p) const {
  const int left = 2 + m_widths[0] + m_widths[1];
  const int right = left + m_widths[2] - 2;
  return left < p.x() && p.x() < right && 2 < p.y() && p.y() < height() - 1;
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
  m_tipOn = InClusterPanel(p);
  setToolTip(m_tipOn ? QStringLiteral("Double click to change") : QString());
}

void TStatusBar::StatusBarDblClick() {
  if (!m_texts[2].isEmpty() && InClusterPanel(m_pointer)) emit clusterPanelDoubleClicked();
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
    // A lowered edge around each panel, one pixel wide at any device pixel
    // ratio: filled, as a line drawn with the default pen is one device
    // pixel thin and at a ratio of 2 fell inside the panel.
    const QRect edge = r.adjusted(-1, -1, 1, 1);
    const QColor dark = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
    painter.fillRect(QRect(edge.left(), edge.top(), edge.width(), 1), dark);
    painter.fillRect(QRect(edge.left(), edge.top(), 1, edge.height()), dark);
    painter.fillRect(QRect(edge.left(), edge.bottom(), edge.width(), 1), light);
    painter.fillRect(QRect(edge.right(), edge.top(), 1, edge.height()), light);
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
  // The image has the device pixels of the place it is drawn to (two per
  // pixel on a screen at a ratio of 2): an image of the panel's size was
  // enlarged there, and its text looked blurred beside the others.
  // The engine's device: a widget painted into another device (a grab, a
  // print) reports its own screen's ratio, the engine the target's.
  const QPaintDevice* target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
  const qreal ratio = target->devicePixelRatio();
  QImage image((QSizeF(r.size()) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
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
      ip.drawText(r.width() - 3 - ip.fontMetrics().horizontalAdvance(share), baseline, share);
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
