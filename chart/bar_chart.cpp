#include "chart/bar_chart.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "chart/marked_text.h"

namespace {

const QColor kSilver(192, 192, 192);
const QColor kNavy(0, 0, 128);
const QColor kLegendYellow(255, 255, 185);
constexpr int kLabelGap = 8;      // between the labels' right edge and the axis
constexpr int kLegendTop = 5;     // pixels below the top margin
constexpr int kLegendMargin = 10;  // pixels between the legend and the plot

// 1, 2 or 5 times a power of ten: the smallest such step that divides the
// range into at most `intervals` parts.
double niceStep(double range, int intervals) {
  if (!(range > 0)) return 1;
  const double raw = range / std::max(1, intervals);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * magnitude >= raw) return std::max(1.0, m * magnitude);
  return std::max(1.0, 10 * magnitude);
}

}  // namespace

TBarChart::TBarChart(QWidget* parent) : QWidget(parent) {
  setFont(chartFont());
  setMouseTracking(true);
  setAutoFillBackground(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont TBarChart::chartFont() {
  static const QFont font = [] {
    QFont f;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
      f = QFont(QStringLiteral("Tahoma"));
    else
      f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSize(8);
    return f;
  }();
  return font;
}

int TBarChart::addSeries(const QString& title, const QColor& colour) {
  m_series.push_back({title, colour, {}, {}});
  update();
  return seriesCount() - 1;
}

void TBarChart::reservePoints(int series, int count) {
  m_series.at(series).values.reserve(count);
  m_series.at(series).labels.reserve(count);
}

void TBarChart::addPoint(int series, double value, const QString& label) {
  Series& s = m_series.at(series);
  s.values.push_back(value);
  s.labels.push_back(label);
  m_valueMax = std::max(m_valueMax, value);
}

void TBarChart::setValues(int series, std::vector<double> values) {
  Series& s = m_series.at(series);
  for (double v : values) m_valueMax = std::max(m_valueMax, v);
  s.values = std::move(values);
}

void TBarChart::setLabelSource(LabelSource source) { m_labelSource = std::move(source); }

void TBarChart::setLabelMarkSource(LabelMarkSource source) { m_labelMarkSource = std::move(source); }

void TBarChart::clearPoints() {
  for (Series& s : m_series) {
    std::vector<double>().swap(s.values);
    std::vector<QString>().swap(s.labels);
  }
  m_labelSource = nullptr;
  m_labelMarkSource = nullptr;
  m_valueMax = 0;
  update();
}

QString TBarChart::pointLabel(int series, int index) const {
  const Series& s = m_series.at(series);
  if (m_labelSource) {
    (void)s.values.at(index);  // the same range check as a stored label's
    return m_labelSource(index);
  }
  return s.labels.at(index);
}

bool TBarChart::hasLabel(int i) const {
  if (m_series.empty() || i < 0) return false;
  const Series& s = m_series[0];
  return i < static_cast<int>(m_labelSource ? s.values.size() : s.labels.size());
}

QString TBarChart::label(int i) const { return m_labelSource ? m_labelSource(i) : m_series[0].labels[i]; }

QList<int> TBarChart::labelMarks(int i) const { return m_labelMarkSource ? m_labelMarkSource(i) : QList<int>(); }

void TBarChart::setCategoryRange(double min, double max) {
  m_min = min;
  m_max = max;
  update();
}

void TBarChart::setCategoryMin(double min) { setCategoryRange(min, m_max); }
void TBarChart::setCategoryMax(double max) { setCategoryRange(m_min, max); }

void TBarChart::setPointsPerPage(int points) {
  m_pointsPerPage = std::max(1, points);
  update();
}

void TBarChart::setValueLabelSuffix(const QString& suffix) {
  m_valueSuffix = suffix;
  update();
}

void TBarChart::setMarginsPercent(int left, int top, int right, int bottom) {
  m_margins[0] = left;
  m_margins[1] = top;
  m_margins[2] = right;
  m_margins[3] = bottom;
  update();
}

void TBarChart::setPointerShape(Qt::CursorShape shape) {
  if (shape == m_pointer) return;
  m_pointer = shape;
  setCursor(shape);
}

void TBarChart::setHintText(const QString& text, const QList<int>& marks) {
  m_hint = text;
  m_hintMarks = marks;
}

void TBarChart::setHintsEnabled(bool on) {
  m_hintsOn = on;
  if (!on) QToolTip::hideText();
}

QString TBarChart::valueText(double value) const {
  return QLocale().toString(static_cast<qlonglong>(std::llround(value))) + m_valueSuffix;
}

int TBarChart::firstIndex() const { return std::max(0, static_cast<int>(std::ceil(m_min - 1e-9))); }

int TBarChart::lastIndex() const {
  int count = 0;
  for (const Series& s : m_series) count = std::max(count, static_cast<int>(s.values.size()));
  return std::min(count - 1, static_cast<int>(std::floor(m_max + 1e-9)));
}

TBarChart::Layout TBarChart::layout() const {
  Layout l;
  const QFontMetrics fm(font());
  const int w = width(), h = height();
  l.frame = QRect(w * m_margins[0] / 100, h * m_margins[1] / 100, 0, 0);
  l.frame.setRight(w - 1 - w * m_margins[2] / 100);
  l.frame.setBottom(h - 1 - h * m_margins[3] / 100);

  // Legend: one entry per series in reverse order, each a colour key taking
  // 15 % of the entry and the title, centred at the top.
  int legendWidth = 8;
  for (const Series& s : m_series) legendWidth += static_cast<int>(std::ceil((fm.horizontalAdvance(s.title) + 8) / 0.85));
  const int legendHeight = fm.height() + 6;
  l.legend = QRect(l.frame.left() + (l.frame.width() - legendWidth) / 2, l.frame.top() + kLegendTop, legendWidth,
                   legendHeight);

  // Category labels: as wide as the widest label on the page.
  int labelWidth = 0;
  for (int i = firstIndex(); i <= lastIndex(); ++i)
    if (hasLabel(i)) labelWidth = std::max(labelWidth, MarkedTextWidth(fm, label(i), labelMarks(i)));
  l.axis.labelsRight = l.frame.left() + labelWidth;
  const int plotLeft = l.axis.labelsRight + kLabelGap;

  // Value labels stand at 315 degrees below the plot: their height is the
  // widest label's diagonal.
  const double provisionalStep = niceStep(m_valueMax, std::max(2, (l.frame.right() - plotLeft) / 80));
  const double provisionalTop = std::max(1.0, std::ceil(m_valueMax / provisionalStep) * provisionalStep);
  const int valueLabelWidth = fm.horizontalAdvance(valueText(provisionalTop));
  const int bottomRoom = static_cast<int>(std::ceil((valueLabelWidth + fm.height()) * 0.7071)) + 4;

  // A chart too low for everything gives up the value labels first, then
  // the legend, so the bars keep a plot to stand in.
  int plotTop = l.legend.bottom() + 1 + kLegendMargin;
  int plotBottom = l.frame.bottom() - bottomRoom;
  if (plotBottom - plotTop < 10) {
    l.valueLabels = false;
    plotBottom = l.frame.bottom();
  }
  if (plotBottom - plotTop < 10) {
    l.legendShown = false;
    plotTop = l.frame.top();
  }
  // The last value label stands at the plot's right end and reaches right
  // by its width times cos 45 degrees: the plot ends where it fits whole (a
  // right margin of 8 % of 600 pixels left 48 for the 67 of "1,200,000,000KB").
  const auto rightmost = [&](double top) {
    return width() - 1 - (static_cast<int>(std::ceil(fm.horizontalAdvance(valueText(top)) * 0.7071)) + 5);
  };
  const int plotRight = l.valueLabels ? std::min(l.frame.right(), rightmost(provisionalTop)) : l.frame.right();
  l.plot = QRect(QPoint(plotLeft, plotTop), QPoint(std::max(plotLeft + 1, plotRight), std::max(plotTop + 1, plotBottom)));

  l.valueStep = niceStep(m_valueMax, std::max(2, l.plot.width() / 80));
  l.valueTop = std::max(l.valueStep, std::ceil(m_valueMax / l.valueStep) * l.valueStep);
  // The axis may end on a longer figure than the one the room was measured for.
  if (l.valueLabels && l.plot.right() > rightmost(l.valueTop))
    l.plot.setRight(std::max(plotLeft + 1, rightmost(l.valueTop)));

  // The category axis runs from 5 to 95 per cent of the plot's height.
  l.axis.min = m_min;
  l.axis.max = m_max;
  l.axis.startPos = l.plot.top() + static_cast<int>(std::lround(l.plot.height() * 0.05));
  l.axis.endPos = l.plot.top() + static_cast<int>(std::lround(l.plot.height() * 0.95));
  l.axis.textHeight = fm.boundingRect(QLatin1Char('X')).height();
  return l;
}

TBarChart::CategoryAxis TBarChart::categoryAxis() const { return layout().axis; }

void TBarChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const Layout l = layout();
  const QFontMetrics fm(font());

  // Back wall, grid and axis lines.
  p.fillRect(l.plot, palette().color(QPalette::Base));
  p.setPen(QPen(kSilver, 1));
  for (double v = l.valueStep; v < l.valueTop + l.valueStep / 2; v += l.valueStep) {
    const int x = l.plot.left() + static_cast<int>(std::lround(v / l.valueTop * l.plot.width()));
    p.drawLine(x, l.plot.top(), x, l.plot.bottom());
  }
  p.drawRect(l.plot.adjusted(0, 0, -1, -1));
  p.drawLine(l.plot.left(), l.plot.top(), l.plot.left(), l.plot.bottom());
  p.drawLine(l.plot.left(), l.plot.bottom(), l.plot.right(), l.plot.bottom());

  // Bars and labels of the page: index min at the top.
  const double span = m_max - m_min;
  const double pitch = span > 0 ? (l.axis.endPos - l.axis.startPos) / span : 0;
  const double slot = double(l.axis.endPos - l.axis.startPos) / (m_pointsPerPage + 1);
  const int seriesN = std::max(1, seriesCount());
  const double barThickness = slot * 0.8 / seriesN;
  for (int i = firstIndex(); i <= lastIndex(); ++i) {
    const double y = l.axis.startPos + (i - m_min) * pitch;
    for (int s = 0; s < seriesCount(); ++s) {
      if (i >= static_cast<int>(m_series[s].values.size())) continue;
      const double top = y - slot * 0.4 + s * barThickness;
      const double length = m_series[s].values[i] / l.valueTop * l.plot.width();
      p.fillRect(QRectF(l.plot.left() + 1, top, std::max(0.0, length), barThickness), m_series[s].colour);
    }
    if (hasLabel(i)) {
      const QString text = label(i);
      const QList<int> marks = labelMarks(i);
      p.setPen(Qt::black);
      const int textWidth = MarkedTextWidth(fm, text, marks);
      DrawMarkedText(p, QPointF(l.axis.labelsRight - textWidth, y + (fm.ascent() - fm.descent()) / 2.0), text, marks,
                     MarkLook());
    }
  }

  // Value labels, turned to 315 degrees (down and to the right of their mark).
  p.setPen(kNavy);
  for (double v = 0; l.valueLabels && v < l.valueTop + l.valueStep / 2; v += l.valueStep) {
    const int x = l.plot.left() + static_cast<int>(std::lround(v / l.valueTop * l.plot.width()));
    p.save();
    p.translate(x + 2, l.plot.bottom() + 3);
    p.rotate(45);
    p.drawText(0, fm.ascent(), valueText(v));
    p.restore();
  }

  // Legend, last series first.
  if (l.legendShown) {
    p.fillRect(l.legend, kLegendYellow);
    p.setPen(Qt::black);
    p.drawRect(l.legend.adjusted(0, 0, -1, -1));
  }
  int x = l.legend.left() + 4;
  for (int s = seriesCount() - 1; l.legendShown && s >= 0; --s) {
    const int entryWidth = static_cast<int>(std::ceil((fm.horizontalAdvance(m_series[s].title) + 8) / 0.85));
    const int keyWidth = entryWidth * 15 / 100;
    const QRect key(x, l.legend.top() + 4, keyWidth, l.legend.height() - 8);
    p.fillRect(key, m_series[s].colour);
    p.drawText(QPoint(key.right() + 5, l.legend.top() + 3 + fm.ascent()), m_series[s].title);
    x += entryWidth;
  }

  emit afterDraw(p, l.axis);
}

void TBarChart::mouseMoveEvent(QMouseEvent* event) {
  emit pointerMoved(event->position().toPoint());
  QWidget::mouseMoveEvent(event);
}

void TBarChart::mousePressEvent(QMouseEvent* event) {
  m_pressed = event->button() == Qt::LeftButton;
  QWidget::mousePressEvent(event);
}

void TBarChart::mouseReleaseEvent(QMouseEvent* event) {
  // A click is a press and release of the left button; the second press of a
  // double-click arrives as a double-click event, which sets no press, so a
  // double-click acts through its first click only.
  if (m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked(event->position().toPoint());
  m_pressed = false;
  QWidget::mouseReleaseEvent(event);
}

bool TBarChart::event(QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    m_pressed = false;
    return true;
  }
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (m_hintsOn && !m_hint.isEmpty())
      // The hint is plain text (a name); a tool tip would read "<s>x" as markup.
      // Escaped in a paragraph that keeps its spaces.
      QToolTip::showText(help->globalPos(),
                         QStringLiteral("<p style='white-space:pre-wrap'>") + MarkedTextHtml(m_hint, m_hintMarks) +
                             QStringLiteral("</p>"),
                         this);
    else
      QToolTip::hideText();
    return true;
  }
  return QWidget::event(event);
}
