// The texts of figures, counts, free space, cluster size and dates.
#include <QTimeZone>
#include <gtest/gtest.h>

#include "model/tstring.h"
#include "qt_print.h"
#include "views/figure_format.h"

namespace {
const QLocale kUS(QLocale::English, QLocale::UnitedStates);
}

TEST(FigureTexts, FiguresCountsAndClusters) {
  EXPECT_EQ(FormatFigure(0, kUS), "0");
  EXPECT_EQ(FormatFigure(999, kUS), "999");
  EXPECT_EQ(FormatFigure(1000, kUS), "1,000");
  EXPECT_EQ(FormatFigure(80563863552.0, kUS), "80,563,863,552");
  EXPECT_EQ(FormatFigure(2.5, kUS), "3");  // whole numbers, rounded
  EXPECT_EQ(ItemCountText(0, kUS), "0 items");
  EXPECT_EQ(ItemCountText(1, kUS), "1 item");
  EXPECT_EQ(ItemCountText(1234, kUS), "1,234 items");
  struct Case {
    int32_t c;
    const char* text;
  };
  for (const Case& c : {Case{0, "Unknown cluster size"}, Case{512, "512 bytes per cluster"},
                        Case{1023, "1,023 bytes per cluster"}, Case{1024, "1K bytes per cluster"},
                        Case{4096, "4K bytes per cluster"}, Case{2097152, "2,048K bytes per cluster"}})
    EXPECT_EQ(ClusterText(c.c, kUS), c.text) << c.c;
}

TEST(FigureTexts, FreeSpaceUnitsStartAt8192OfTheNextSmallerUnit) {
  struct Case {
    int32_t free, total, factor;
    const char* text;
  };
  const Case cases[] = {
      {4000000, 100000000, 1024, "3,906M of 97,656M bytes free (4%)"},
      {10000000, 100000000, 1024, "9G of 95G bytes free (10%)"},
      {8192, 100000, 1, "8,192 of 100,000 bytes free (8%)"},
      {8193, 100000, 1, "8K of 97K bytes free (8%)"},
      {8192, 100000, 1024, "8,192K of 100,000K bytes free (8%)"},  // 8 MiB exactly: still K
      {8193, 100000, 1024, "8M of 97M bytes free (8%)"},
      {0, 100, 1, "0 of 100 bytes free (0%)"},
      {2147483647, 2147483647, 4096, "8,191G of 8,191G bytes free (100%)"},
      {12, 0, 1, "12 bytes free"},  // no total known: no share either
  };
  for (const Case& c : cases) EXPECT_EQ(FreeSpaceText(c.free, c.total, c.factor, kUS), c.text) << c.text;
}

TEST(FigureTexts, DatesReadBackToWhatTheyShow) {
  const QDateTime noon(QDate(1999, 12, 31), QTime(13, 14, 15));
  const QDateTime midnight(QDate(2001, 1, 2), QTime(0, 0, 0));
  for (const QDateTime& local : {noon, midnight}) {
    const uint64_t ft = uint64_t(local.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL + 1234567;
    QDateTime shown;
    const QString text = DateText(ft, kUS, &shown);
    EXPECT_EQ(shown, local);
    EXPECT_EQ(ReadDateText(text, kUS), local) << text.toStdString();
  }
  const uint64_t ftNoon = uint64_t(noon.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL;
  EXPECT_EQ(DateText(ftNoon, kUS), "12/31/1999 1:14:15 PM");
  const uint64_t ftMid = uint64_t(midnight.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL;
  EXPECT_EQ(DateText(ftMid, kUS), "1/2/2001") << "no time at exactly midnight";
  EXPECT_LT(ReadDateText("12/31/1999 1:14:15 PM", kUS), ReadDateText("1/2/2001", kUS)) << "four-digit years";
}

TEST(TString, ReadsFiguresBackSkippingTheGroupSeparator) {
  const QLocale french(QLocale::French, QLocale::France);
  const QLocale german(QLocale::German, QLocale::Germany);
  struct Case {
    QLocale locale;
    double value;
  };
  for (const Case& c : {Case{kUS, 0}, Case{kUS, 7}, Case{kUS, 1234567890123.0}, Case{french, 1234567},
                        Case{german, 98765432}}) {
    const QString text = FormatFigure(c.value, c.locale);
    EXPECT_EQ(TString::DigitsToFloat(text, c.locale), static_cast<long double>(c.value)) << text.toStdString();
  }
  // A separator of more than one character is skipped whole.
  ASSERT_GE(french.groupSeparator().size(), 1);
  EXPECT_EQ(TString::DigitsToInt(FormatFigure(2147483647, french), french), 2147483647);
  EXPECT_EQ(TString::DigitsToInt(QString(), kUS), 0);
  EXPECT_EQ(TString::DigitsToInt("1,234", kUS), 1234);
  EXPECT_EQ(TString::DigitsToFloat("12,345,678,901,234", kUS), 12345678901234.0L);
}
