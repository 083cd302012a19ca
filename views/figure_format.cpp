#include "views/figure_format.h"

#include <cmath>

namespace {

// The locale's date and time patterns, looked up once per locale: asking the
// system locale for them costs more than the formatting itself.
struct DateFormats {
  QString date, time;
  bool timeHasSeconds;
};
QString shortDateFormat(const QLocale& locale);
QString longTimeFormat(const QLocale& locale);

const DateFormats& formatsFor(const QLocale& locale) {
  static QHash<QString, DateFormats> cache;
  const QString key = locale.bcp47Name() + QLatin1Char('/') + QString::number(int(locale.language())) +
                      QLatin1Char('/') + QString::number(int(locale.territory()));
  auto it = cache.find(key);
  if (it == cache.end()) {
    const QString time = longTimeFormat(locale);
    it = cache.insert(key, {shortDateFormat(locale), time, time.contains(QLatin1Char('s'))});
  }
  return *it;
}

QString shortDateFormat(const QLocale& locale) {
  QString f = locale.dateFormat(QLocale::ShortFormat);
  // Two-digit years read back ambiguously (1999 would sort after 2001).
  if (!f.contains(QLatin1String("yyyy"))) f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return f;
}

QString longTimeFormat(const QLocale& locale) {
  QString f = locale.timeFormat(QLocale::LongFormat);
  f.remove(QLatin1Char('t'));  // the zone name: local time is meant
  return f.trimmed();
}

}  // namespace

QString FormatFigure(double value, const QLocale& locale) {
  return locale.toString(static_cast<qlonglong>(std::llround(value)));
}

QString FormatChange(int64_t change, const QLocale& locale) {
  const QString digits = locale.toString(static_cast<qlonglong>(change));
  return change > 0 ? locale.positiveSign() + digits : digits;
}

QString ShortChangeText(int64_t change, const QLocale& locale) {
  // The magnitude as an unsigned number: the least int64_t has no positive twin.
  const uint64_t size = change < 0 ? 0 - static_cast<uint64_t>(change) : static_cast<uint64_t>(change);
  const QString sign = change > 0 ? locale.positiveSign() : change < 0 ? locale.negativeSign() : QString();
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  if (size < 1024) return sign + locale.toString(static_cast<qulonglong>(size)) + (size == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
  double value = static_cast<double>(size);
  int unit = -1;
  while (value >= 1024 && unit < 5) {
    value /= 1024;
    ++unit;
  }
  return sign + locale.toString(value, 'f', value < 10 ? 1 : 0) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString ItemCountText(int rows, const QLocale& locale) {
  if (rows == 1) return QStringLiteral("1 item");
  return locale.toString(rows) + QStringLiteral(" items");
}

QString FolderUnreadText() { return QStringLiteral("Folder could not be read"); }

QString RefreshStoppedText() { return QStringLiteral("Stopped: the window is closing"); }

QString FreeSpaceText(int32_t diskFree, int32_t diskTotal, int32_t sizeFactor, const QLocale& locale) {
  const int64_t free = int64_t(diskFree) * sizeFactor;
  const int64_t total = int64_t(diskTotal) * sizeFactor;
  QString unit;
  int64_t divisor = 1;
  if (free > 8589934592LL) {
    unit = QStringLiteral("G");
    divisor = 1073741824LL;
  } else if (free > 8388608LL) {
    unit = QStringLiteral("M");
    divisor = 1048576LL;
  } else if (free > 8192LL) {
    unit = QStringLiteral("K");
    divisor = 1024LL;
  }
  QString text = locale.toString(static_cast<qlonglong>(free / divisor)) + unit;
  if (diskTotal <= 0) return text + QStringLiteral(" bytes free");  // no total to set it against
  text += QStringLiteral(" of ") + locale.toString(static_cast<qlonglong>(total / divisor)) + unit +
          QStringLiteral(" bytes free (") + QString::number(int64_t(diskFree) * 100 / diskTotal) +
          QStringLiteral("%)");
  return text;
}

QString ClusterText(int32_t c, const QLocale& locale) {
  if (c == 0) return QStringLiteral("Unknown cluster size");
  if (c < 1024) return locale.toString(c) + QStringLiteral(" bytes per cluster");
  return locale.toString(c / 1024) + QStringLiteral("K bytes per cluster");
}

QString DateText(uint64_t fileTime, const QLocale& locale, QDateTime* shown) {
  constexpr int64_t kEpochDiff = 11644473600LL;
  const DateFormats& f = formatsFor(locale);
  const int64_t secs = int64_t(fileTime / 10000000) - kEpochDiff;
  const QDateTime local = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC).toLocalTime();
  QString text = locale.toString(local.date(), f.date);
  const QTime t = local.time();
  const bool withTime = t.hour() != 0 || t.minute() != 0 || t.second() != 0;
  if (withTime) text += QLatin1Char(' ') + locale.toString(t, f.time);
  if (shown) *shown = (!withTime || f.timeHasSeconds) ? local : ReadDateText(text, locale);
  return text;
}

FigureWidths::FigureWidths(const QFont& font) : m_metrics(font) {
  const int zero = m_metrics.horizontalAdvance(QLatin1Char('0'));
  m_tabular = true;
  for (char c = '1'; c <= '9'; ++c)
    if (m_metrics.horizontalAdvance(QLatin1Char(c)) != zero) m_tabular = false;
}

int FigureWidths::width(const QString& figure) {
  if (!m_tabular) return m_metrics.horizontalAdvance(figure + QStringLiteral("XXX"));
  auto it = m_byLength.find(figure.size());
  if (it == m_byLength.end())
    it = m_byLength.insert(figure.size(), m_metrics.horizontalAdvance(figure + QStringLiteral("XXX")));
  return *it;
}

DateSortKeys::DateSortKeys(const QLocale& locale) : m_seconds(formatsFor(locale).timeHasSeconds) {}

int64_t DateSortKeys::operator()(uint64_t fileTime) const {
  constexpr int64_t kEpochDiff = 11644473600LL;
  const int64_t secs = int64_t(fileTime / 10000000) - kEpochDiff;
  if (m_seconds) return secs;
  return secs - ((secs % 60) + 60) % 60;
}

int64_t DateSortKey(uint64_t fileTime, const QLocale& locale) { return DateSortKeys(locale)(fileTime); }

QDateTime ReadDateText(const QString& text, const QLocale& locale) {
  const DateFormats& f = formatsFor(locale);
  const QString& dateFormat = f.date;
  QDateTime dt = locale.toDateTime(text, dateFormat + QLatin1Char(' ') + f.time);
  if (!dt.isValid()) {
    const QDate d = locale.toDate(text, dateFormat);
    if (d.isValid()) dt = QDateTime(d, QTime(0, 0));
  }
  return dt;
}

QStringList WidestDateTexts(const QLocale& locale) {
  QStringList texts;
  for (const QTime& t : {QTime(10, 58, 58), QTime(22, 58, 58)}) {
    const QDateTime local(QDate(2026, 12, 28), t);
    const uint64_t fileTime = uint64_t(local.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL;
    texts << DateText(fileTime, locale);
  }
  return texts;
}
