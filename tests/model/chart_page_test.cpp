// The chart view's arithmetic: rows per page, labels, the hit test's bands and
// the icons' places.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/chart_page.h"
#include "model/display_name.h"
#include "platform/name_text.h"

TEST(ChartPage, RowsPerPageFromTheChartHeight) {
  struct Case {
    int height, rows;
  } cases[] = {{478, 11}, {75, 1}, {34, 1}, {35, 1}, {0, 1}, {-20, 1}, {114, 1}, {115, 2}, {517, 12}, {514, 11}};
  for (const Case& c : cases) EXPECT_EQ(ChartRowsPerPage(c.height), c.rows) << c.height;
}

TEST(ChartPage, LabelsAreCutAfterThirtyCharactersAndMakeRoomForTheIcon) {
  const QString spaces(8, QLatin1Char(' '));
  const QString thirty(30, QLatin1Char('a')), thirtyOne = QString(27, QLatin1Char('b')) + "cdef";
  EXPECT_EQ(ChartLabel(thirty), thirty + spaces);
  EXPECT_EQ(ChartLabel(thirtyOne), QString(27, QLatin1Char('b')) + "..." + spaces);
  EXPECT_EQ(ChartLabel(""), spaces);
  // A character outside the basic plane straddling the cut is not split.
  const QString wide = QString(26, QLatin1Char('w')) + QString::fromUcs4(U"\U0001F600") + "tail";
  const QString cut = ChartLabel(wide);
  EXPECT_EQ(cut, QString(26, QLatin1Char('w')) + "..." + spaces);
  EXPECT_FALSE(cut.isEmpty() || cut.at(25).isHighSurrogate());
}

TEST(ChartPage, ALabelFromTheNamesBytesIsTheLabelOfItsText) {
  const std::string names[] = {
      "",
      "a",
      std::string(30, 'a'),
      std::string(31, 'b'),
      std::string(26, 'w') + "\xF0\x9F\x98\x80" + "tail",  // a pair straddling the cut
      std::string(27, 'w') + "\xF0\x9F\x98\x80",            // a pair ending at 29
      std::string(29, 'w') + "\xF0\x9F\x98\x80",            // a pair at 30..31: cut
      "\xC3\xA9t\xC3\xA9",                                  // two bytes a character
      std::string(40, '\xE2') ,                                // forty invalid bytes
      "bad\xff\xfe name",
      "cut\xE2\x82",                                          // a sequence cut short at the end
      std::string("nul\0inside", 10),
      std::string(200, 'x') + "\xE2\x82\xAC",
  };
  for (const std::string& n : names) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ChartLabelOfName(n), ChartLabelMarked(n).text);
    if (platform::isShownAsItIs(n)) {
      EXPECT_EQ(ChartLabelOfName(n), ChartLabel(QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size()))));
    } else {
      EXPECT_TRUE(ChartLabelOfName(n).startsWith(ChartLabel(DisplayName(n)).left(20))) << "as the name shows, escapes and all";
    }
  }
}

TEST(ChartPage, ALabelIsCutBeforeAnEscapeThatWouldNotFitWhole) {
  const QString spaces(8, QLatin1Char(' '));
  struct Case {
    std::string name;
    QString label;
    QList<int> marks;
  } cases[] = {
      {"new\nline", "new\\nline" + spaces, {3, 2}},
      {std::string(23, 'a') + "\xFF" + "tail", QString(23, 'a') + "\\xFF..." + spaces, {23, 4}},
      {std::string(25, 'a') + "\xFF" + "tail", QString(25, 'a') + "..." + spaces, {}},
      {std::string(26, 'a') + "\xE2\x80\xAE" + "tail", QString(26, 'a') + "..." + spaces, {}},
      {"\xE2\x80\xAE" + std::string(40, 'z'), "\\u202E" + QString(21, 'z') + "..." + spaces, {0, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label.toStdString());
    const TDisplayName label = ChartLabelMarked(c.name);
    EXPECT_EQ(label.text, c.label);
    EXPECT_EQ(label.escapes, c.marks);
    TChartNames kept;
    kept.add(c.name);
    EXPECT_EQ(kept.label(0), c.label);
    EXPECT_EQ(kept.labelMarks(0), c.marks);
  }
}

TEST(DisplayName, TheEscapesStandWhereTheTextHasThem) {
  struct Case {
    std::string raw;
    QString text;
    QList<int> escapes;  // in UTF-16 units
  } cases[] = {
      {"plain", "plain", {}},
      {"\xF0\x9F\x98\x80\n", QString::fromUcs4(U"\U0001F600") + "\\n", {2, 2}},
      {"\xC3\xA9\xFF\xC3\xA9", QString::fromUtf8("\xC3\xA9") + "\\xFF" + QString::fromUtf8("\xC3\xA9"), {1, 4}},
      {"a\\nb\t", "a\\\\nb\\t", {1, 2, 5, 2}},
      {"back\\slash", "back\\slash", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    const TDisplayName shown = DisplayNameMarked(c.raw);
    EXPECT_EQ(shown.text, c.text);
    EXPECT_EQ(shown.escapes, c.escapes);
    EXPECT_EQ(DisplayName(c.raw), c.text);
  }
}

TEST(ChartPage, TheChartsNamesAreKeptByteForByteInOrder) {
  const std::vector<std::string> names = {
      "first", "", "bad\xff\xfe name", std::string(255, 'z'), "\xC3\xA9t\xC3\xA9", "new\nline", "", "last"};
  TChartNames kept;
  kept.reserve(2, 4);  // a short guess only costs time
  for (const std::string& n : names) kept.add(n);
  ASSERT_EQ(kept.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kept.at(i), names[i]);
    EXPECT_EQ(kept.label(i), ChartLabelOfName(names[i]));
  }
  EXPECT_THROW(kept.at(names.size()), std::out_of_range);
  EXPECT_THROW(TChartNames().at(0), std::out_of_range);
}

TEST(ChartPage, TheHitTestTakesTheMiddleOfEachLabelBand) {
  // Rows 0..2 on the page; the axis from pixel 100 to 179: a pitch of 40.
  const TChartAxis axis{0, 2, 100, 179, 200, 9};
  ASSERT_DOUBLE_EQ(ChartRowPitch(axis, 0.5), 40);
  struct Case {
    double x, y;
    int row;
  } cases[] = {
      {50, 100, 0},  {50, 89, 0},   {50, 111, 0},  {50, 88, -1},   // 88 is 0.2 of a pitch into the band: dead
      {50, 112, -1}, {50, 121, -1}, {50, 130, 1},  {50, 180, 2},   // between two rows nothing is hit
      {50, 79, -1},  {50, 205, -1},                                 // above and below the axis
      {200, 100, -1}, {199, 100, 0}, {3, 100, -1}, {4, 100, 0},    // only the labels are sensitive
  };
  for (const Case& c : cases) EXPECT_EQ(ChartRowAt(axis, c.x, c.y, 3), c.row) << c.x << "," << c.y;
  EXPECT_EQ(ChartRowAt(axis, 50, 180, 2), -1) << "a point past the last row";
  // A page scrolled to row 5.
  const TChartAxis scrolled{5, 7, 100, 179, 200, 9};
  EXPECT_EQ(ChartRowAt(scrolled, 50, 140, 10), 6);
  // A page of one row: the pitch is the text height.
  const TChartAxis single{0, 0.5, 100, 179, 200, 9};
  EXPECT_DOUBLE_EQ(ChartRowPitch(single, 0.5), 9);
  EXPECT_EQ(ChartRowAt(single, 50, 100, 1), 0);
}

TEST(ChartPage, IconsSitOnTheirRowsAndHalvesRoundToEven) {
  const TChartAxis axis{0, 2, 100, 179, 200, 9};
  EXPECT_EQ(ChartIconTop(axis, 0, 0, 16), 100 + (9 - 16) / 2);
  EXPECT_EQ(ChartIconTop(axis, 2, 0, 16), 80 + 100 - 3);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
}
