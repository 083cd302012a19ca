#pragma once
// The texts the window shows for figures, counts, space and dates, in the
// locale in force. Figures use the pattern "#,##0": whole numbers with the
// locale's group separator, which may be more than one byte long.
#include <QDateTime>
#include <QFontMetrics>
#include <QHash>
#include <QLocale>
#include <QString>
#include <cstdint>

QString FormatFigure(double value, const QLocale& locale = QLocale());
// A change of bytes as the list's Change column writes it: "+1,234", "-56",
// "0", with the locale's separators and signs.
QString FormatChange(int64_t change, const QLocale& locale = QLocale());
// The same in short, as the chart's hints write it: "+1.2 GB", "-512 bytes".
QString ShortChangeText(int64_t change, const QLocale& locale = QLocale());
// "1 item", otherwise "#,##0 items".
QString ItemCountText(int rows, const QLocale& locale = QLocale());
// In place of the item count, for a folder nothing of which could be looked at.
QString FolderUnreadText();
// The item panel after a refresh stopped because the window is closing.
QString RefreshStoppedText();
// The free-space panel: "12G of 100G bytes free (12%)". Figures are in units
// of sizeFactor bytes; a total of 0 or less leaves out the total and share.
QString FreeSpaceText(int32_t diskFree, int32_t diskTotal, int32_t sizeFactor, const QLocale& locale = QLocale());
// "Unknown cluster size", "512 bytes per cluster", "4K bytes per cluster".
QString ClusterText(int32_t clusterSize, const QLocale& locale = QLocale());

// A row's date: the locale's short date (four-digit years), a blank and its
// long time without a zone name; the time is left out at exactly midnight.
// shown, when given, receives the date-time the text stands for (what
// ReadDateText gives back for it), without parsing the text again.
QString DateText(uint64_t fileTimeUtc, const QLocale& locale = QLocale(), QDateTime* shown = nullptr);
// The order of dates as their texts show them: seconds since 1970 UTC cut to
// the precision of the text (whole seconds, or whole minutes where the locale's
// time has no seconds). Cheap: no time-zone conversion, so a sort can key
// 100,000 rows at once. Chronological, also across a daylight-saving change
// where two local texts repeat an hour.
int64_t DateSortKey(uint64_t fileTimeUtc, const QLocale& locale = QLocale());
// The same for many dates: the locale's formats looked up once.
class DateSortKeys {
 public:
  explicit DateSortKeys(const QLocale& locale = QLocale());
  int64_t operator()(uint64_t fileTimeUtc) const;

 private:
  bool m_seconds;
};
// The widest texts DateText gives in a locale: two-digit months, days and
// hours, before and after noon. A column that holds these holds every date.
QStringList WidestDateTexts(const QLocale& locale = QLocale());
// Reads a DateText back with the same locale conversion; invalid if it cannot.
QDateTime ReadDateText(const QString& text, const QLocale& locale = QLocale());

// The width of a figure text followed by "XXX" in a font. Figures of one
// length have their separators in the same places, so with a font whose
// digits all have one advance (most do) the width depends on the length alone
// and is measured once per length; other fonts are measured every time.
class FigureWidths {
 public:
  explicit FigureWidths(const QFont& font);
  int width(const QString& figure);
  bool tabular() const { return m_tabular; }

 private:
  QFontMetrics m_metrics;
  bool m_tabular;
  QHash<qsizetype, int> m_byLength;
};
