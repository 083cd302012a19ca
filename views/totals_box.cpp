#include "views/totals_box.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <algorithm>

#include "views/figure_format.h"
#include "views/gauge.h"

namespace {

// The design: boxes in three columns of two, each with a value label whose
// right edge lies 3 pixels inside the box.
struct Design {
  const char* caption;
  int column;
  int valueWidth;
  bool gauge;
};
constexpr Design kDesign[TTotalsGroup::kBoxes] = {
    {"Files", 0, 65, false},          {"Directories", 0, 65, false},  {"Bytes in files", 1, 114, false},
    {"Disk bytes used", 1, 115, false}, {"Target drive", 2, 21, true}, {"Efficiency", 2, 28, true},
};
constexpr int kColumnWidth[3] = {143, 218, 108};
constexpr int kBoxHeight = 18;
constexpr int kGroupWidth = 541;
constexpr int kCaptionLeft = 4, kTop = 2, kValueRight = 3;
constexpr int kCaptionGap = 6;  // the least room between a caption and its value

// The longest text each value label is expected to hold, in the locale in force.
QStringList longestValues(int box, const QLocale& locale) {
  switch (box) {
    case TTotalsGroup::Files:
    case TTotalsGroup::Directories: return {FormatFigure(2147483647.0, locale)};
    case TTotalsGroup::FileBytes:
    case TTotalsGroup::DiskBytes: return {FormatFigure(999999999999999.0, locale)};
    case TTotalsGroup::MapDrive: {
      QStringList letters;
      for (char c = 'A'; c <= 'Z'; ++c) letters << QString(QLatin1Char(c)) + QLatin1Char(':');
      return letters;
    }
    default: return {QStringLiteral("100%")};
  }
}

}  // namespace

TTotalsGroup::TTotalsGroup(QWidget* parent) : QWidget(parent) {
  for (int i = 0; i < kBoxes; ++i) {
    TTotalsBox& b = m_boxes[i];
    b.panel = new QFrame(this);
    b.panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (kDesign[i].gauge) b.gauge = new TGauge(b.panel);
    b.caption = new QLabel(QString::fromLatin1(kDesign[i].caption), b.panel);
    b.caption->setAttribute(Qt::WA_TranslucentBackground);
    b.value = new QLabel(b.panel);
    b.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    b.value->setAttribute(Qt::WA_TranslucentBackground);
  }
  m_changeLine = new QLabel(this);
  m_changeLine->setObjectName(QStringLiteral("ChangeLine"));
  m_changeLine->setTextFormat(Qt::PlainText);  // names the baseline's file: data
  m_changeLine->hide();
  layOut();
}

void TTotalsGroup::setChangeLine(const QString& text) {
  if (text == m_changeLine->toolTip() && m_changeLine->isHidden() == text.isEmpty()) return;
  m_changeLine->setText(text);
  m_changeLine->setToolTip(text);  // the whole line where the group cuts it
  m_changeLine->setVisible(!text.isEmpty());
  layOut();
}

QString TTotalsGroup::changeLine() const { return m_changeLine->isHidden() ? QString() : m_changeLine->toolTip(); }

void TTotalsGroup::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::LocaleChange) layOut();
  QWidget::changeEvent(event);
}

void TTotalsGroup::fitValues() {
  const QFontMetrics fm(font());
  for (const TTotalsBox& b : m_boxes)
    if (fm.horizontalAdvance(b.value->text()) > b.value->width()) {
      layOut();
      return;
    }
}

void TTotalsGroup::layOut() {
  const QFontMetrics fm(font());
  const QLocale locale = this->locale();
  const int textHeight = fm.height();
  const int boxHeight = std::max(kBoxHeight, textHeight + 2 * kTop + 1);
  // Each label as wide as its longest text; each column as wide as its
  // widest caption and value need.
  std::array<int, kBoxes> valueWidth{};
  std::array<int, 3> columnWidth{kColumnWidth[0], kColumnWidth[1], kColumnWidth[2]};
  for (int i = 0; i < kBoxes; ++i) {
    int w = std::max(kDesign[i].valueWidth, fm.horizontalAdvance(m_boxes[i].value->text()));
    for (const QString& t : longestValues(i, locale)) w = std::max(w, fm.horizontalAdvance(t));
    valueWidth[i] = w;
    const int need = kCaptionLeft + fm.horizontalAdvance(m_boxes[i].caption->text()) + kCaptionGap + w + kValueRight;
    columnWidth[kDesign[i].column] = std::max(columnWidth[kDesign[i].column], need);
  }
  int left = 1;
  std::array<int, 3> columnLeft{};
  for (int c = 0; c < 3; ++c) {
    columnLeft[c] = left;
    left += columnWidth[c] + 2;
  }
  for (int i = 0; i < kBoxes; ++i) {
    TTotalsBox& b = m_boxes[i];
    const int column = kDesign[i].column;
    const int w = columnWidth[column];
    const int top = (i % 2 == 0) ? 3 : 3 + boxHeight + 2;
    b.panel->setGeometry(columnLeft[column], top, w, boxHeight);
    if (b.gauge) b.gauge->setGeometry(1, 1, w - 2, boxHeight - 2);
    b.caption->setGeometry(kCaptionLeft, kTop, fm.horizontalAdvance(b.caption->text()) + 1, textHeight);
    const int valueLeft = w - kValueRight - valueWidth[i];
    b.value->setGeometry(valueLeft, kTop, valueWidth[i], textHeight);
  }
  // The design's group is 541 pixels wide, 67 more than its boxes.
  const int width = std::max(kGroupWidth, left - 2);
  int height = 3 + 2 * boxHeight + 2 + 2;
  // The change line, when shown, is one line more, as wide as the boxes; a
  // longer text is cut at its end (its tool tip holds it whole).
  if (!m_changeLine->isHidden()) {
    m_changeLine->setGeometry(columnLeft[0] + kCaptionLeft, height, left - 2 - columnLeft[0] - kCaptionLeft, textHeight);
    m_changeLine->setText(fm.elidedText(m_changeLine->toolTip(), Qt::ElideRight, m_changeLine->width()));
    height += textHeight + 2;
  }
  const QSize size(width, height);
  if (size != this->size()) {
    resize(size);
    emit sizeChanged();
  }
}
