#include "model/chart_page.h"

#include <QStringDecoder>
#include <cmath>

#include "platform/name_text.h"

int ChartRowsPerPage(int chartHeight) {
  const int r = (chartHeight - 35) / 40;  // C++ division truncates toward zero
  return r < 1 ? 1 : r;
}

QString ChartLabel(const QString& name) {
  // One allocation a label: a rebuild makes one for every row.
  qsizetype keep = name.size();
  const bool cut = keep > 30;
  if (cut) {
    keep = 27;
    if (name.at(keep - 1).isHighSurrogate()) --keep;
  }
  QString label;
  label.reserve(keep + (cut ? 3 : 0) + 8);
  label.append(QStringView(name).left(keep));
  if (cut) label.append(QLatin1String("..."));
  label.append(QLatin1String("        "));
  return label;
}

QString ChartLabelOfName(std::string_view rawName) {
  if (!platform::isShownAsItIs(rawName)) return ChartLabelMarked(rawName).text;
  // Valid UTF-8 here, and a UTF-8 byte never becomes more than one UTF-16
  // unit; room for "..." and the spaces besides.
  QString label(static_cast<qsizetype>(rawName.size()) + 11, Qt::Uninitialized);
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QChar* const begin = label.data();
  QChar* end = decoder.appendToBuffer(begin, QByteArrayView(rawName.data(), static_cast<qsizetype>(rawName.size())));
  if (end - begin > 30) {
    end = begin + 27;
    if (end[-1].isHighSurrogate()) --end;
    for (int i = 0; i < 3; ++i) *end++ = QLatin1Char('.');
  }
  for (int i = 0; i < 8; ++i) *end++ = QLatin1Char(' ');
  label.truncate(end - begin);
  return label;
}

TDisplayName ChartLabelMarked(std::string_view rawName) {
  TDisplayName shown = DisplayNameMarked(rawName);
  qsizetype keep = shown.text.size();
  const bool cut = keep > 30;
  if (cut) {
    keep = 27;
    for (qsizetype i = 0; i + 1 < shown.escapes.size(); i += 2)
      if (shown.escapes[i] < keep && shown.escapes[i] + shown.escapes[i + 1] > keep) keep = shown.escapes[i];
    if (keep > 0 && shown.text.at(keep - 1).isHighSurrogate()) --keep;
    // Every escape now lies wholly before the cut or after it.
    qsizetype marks = 0;
    while (marks + 1 < shown.escapes.size() && shown.escapes[marks] < keep) marks += 2;
    shown.escapes.resize(marks);
  }
  TDisplayName label{shown.text.left(keep), shown.escapes};
  if (cut) label.text += QLatin1String("...");
  label.text += QLatin1String("        ");
  return label;
}

void TChartNames::reserve(size_t names, size_t bytes) {
  m_ends.reserve(names);
  m_bytes.reserve(bytes);
}

void TChartNames::add(std::string_view name) {
  m_bytes.append(name);
  m_ends.push_back(m_bytes.size());
}

QList<int> TChartNames::labelMarks(size_t index) const {
  const std::string_view name = at(index);
  return platform::isShownAsItIs(name) ? QList<int>() : ChartLabelMarked(name).escapes;
}

std::string_view TChartNames::at(size_t index) const {
  const size_t end = m_ends.at(index), begin = index == 0 ? 0 : m_ends[index - 1];
  return std::string_view(m_bytes).substr(begin, end - begin);
}

int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

double ChartRowPitch(const TChartAxis& axis, double minSpan) {
  const double span = axis.max - axis.min;
  if (span > minSpan) return (axis.endPos - axis.startPos + 1) / span;
  return axis.textHeight;
}

int ChartRowAt(const TChartAxis& axis, double x, double y, int rowCount) {
  const double c = ChartRowPitch(axis, 0.5);
  if (!(c > 0)) return -1;
  if (x >= axis.labelsRight || x <= 3) return -1;
  if (y < axis.startPos - c / 2 || y > axis.endPos + c / 2) return -1;
  const double d = (y - (axis.startPos - c / 2)) / c;
  const double fraction = d - std::floor(d);
  if (!(fraction > 0.2 && fraction < 0.8)) return -1;
  const int k = static_cast<int>(std::floor(d + axis.min));
  return k < rowCount ? k : -1;
}

int ChartIconTop(const TChartAxis& axis, int i, int first, int iconHeight) {
  const double c = ChartRowPitch(axis, 0);
  return RoundHalfEven((i - first) * c) + axis.startPos + (axis.textHeight - iconHeight) / 2;
}
