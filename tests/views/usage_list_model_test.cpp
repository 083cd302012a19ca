// The usage list's rows and their order.
#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <set>

#include "awkward_names.h"
#include "chart/marked_text.h"
#include "qt_print.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

const QLocale kUS(QLocale::English, QLocale::UnitedStates);
constexpr uint64_t kEpoch = 11644473600ull;

uint64_t fileTime(const QDateTime& utc) { return (uint64_t(utc.toSecsSinceEpoch()) + kEpoch) * 10000000ull; }

TUsageRow makeRow(const std::string& name, bool folder, std::array<double, 4> figures = {},
                  uint64_t time = fileTime(QDateTime(QDate(2000, 1, 1), QTime(12, 0), Qt::UTC))) {
  TUsageRow r;
  r.entry = std::make_unique<TDirectoryItem>("/x/" + name, folder ? kFileAttributeDirectory : 0u);
  r.figures = figures;
  r.fileTime = time;
  return r;
}

std::vector<std::string> namesAfterSort(std::vector<std::pair<std::string, bool>> rows, int column, bool ascending) {
  TUsageListModel m;
  for (auto& [n, folder] : rows) m.appendRow(makeRow(n, folder));
  m.sortRows(column, ascending);
  std::vector<std::string> out;
  for (int i = 0; i < m.rowCount(); ++i) out.push_back(m.row(i).name());
  return out;
}

}  // namespace

TEST(UsageListCompare, NamesFoldOnlyAToZWithFoldersFirst) {
  using V = std::vector<std::string>;
  const std::vector<std::pair<std::string, bool>> rows = {{"B.txt", false}, {"b", true}, {"a.txt", false}, {"A", true}};
  EXPECT_EQ(namesAfterSort(rows, 0, true), (V{"A", "b", "a.txt", "B.txt"}));
  EXPECT_EQ(namesAfterSort(rows, 0, false), (V{"B.txt", "a.txt", "b", "A"})) << "descending puts files first";
  EXPECT_EQ(namesAfterSort({{"_x", false}, {"Ax", false}, {"ax", false}}, 0, true)[2], "_x");
  EXPECT_LT(CompareFoldAZ(std::string_view("ab"), std::string_view("abc")), 0) << "a prefix is smaller";
  EXPECT_EQ(CompareFoldAZ(std::string_view("ABC"), std::string_view("abc")), 0);
  EXPECT_NE(CompareFoldAZ(std::string_view("\xc3\xa9"), std::string_view("\xc3\x89")), 0) << "only a-z fold";
}

TEST(UsageListCompare, FiguresInTheOrderOfTheirTextsAndDatesByValue) {
  // The order the texts gave (shorter text first, then by text) is the order
  // of the values; the pairs include texts of different lengths and of one.
  struct Case {
    int column;
    double a, b;
    int want;  // sign of compare(a, b), ascending
  };
  const Case cases[] = {
      {1, 999, 1000, -1}, {1, 0, 1, -1}, {2, 12345, 12344, 1}, {3, 5, 5, 0}, {4, 10, 9, 1}, {1, 1e15, 999999999999999, 1},
  };
  for (const Case& c : cases) {
    std::array<double, 4> fa{}, fb{};
    fa[c.column - 1] = c.a;
    fb[c.column - 1] = c.b;
    TUsageRow a = makeRow("a", false, fa), b = makeRow("b", false, fb);
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    EXPECT_EQ(sign(UsageListCompare(a, b, c.column, true)), c.want) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(UsageListCompare(a, b, c.column, false)), -c.want);
    const QString ta = a.text(c.column, kUS), tb = b.text(c.column, kUS);
    const int byText = ta.size() != tb.size() ? (ta.size() < tb.size() ? -1 : 1) : sign(CompareFoldAZ(ta, tb));
    EXPECT_EQ(byText, c.want) << ta.toStdString() << " vs " << tb.toStdString();
  }
  TUsageRow older = makeRow("o", false, {}, fileTime(QDateTime(QDate(1999, 12, 31), QTime(23, 0), Qt::UTC)));
  TUsageRow newer = makeRow("n", false, {}, fileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)));
  EXPECT_LT(UsageListCompare(older, newer, 5, true), 0);
  EXPECT_GT(UsageListCompare(older, newer, 5, false), 0);
  // Within one shown second the texts are equal, and so is the order.
  TUsageRow early = makeRow("e", false, {}, fileTime(QDateTime(QDate(2001, 1, 1), QTime(10, 0, 5), Qt::UTC)));
  TUsageRow late = makeRow("l", false, {}, early.fileTime + 9999999);
  EXPECT_EQ(UsageListCompare(early, late, 5, true), 0);
  EXPECT_LT(UsageListCompare(early, makeRow("m", false, {}, early.fileTime + 10000000), 5, true), 0);
}

TEST(UsageListModel, SortingAManyRowsKeepsEveryRowOnceAndIsStable) {
  TUsageListModel m;
  for (int i = 0; i < 500; ++i)
    m.appendRow(makeRow("n" + std::to_string(i % 37), i % 5 == 0, {double(i % 11), double(i), 0, 1}));
  for (int column = 0; column < kUsageColumns; ++column) {
    for (bool ascending : {true, false}) {
      m.sortRows(column, ascending);
      std::set<std::string> seen;
      for (int i = 0; i < m.rowCount(); ++i) seen.insert(m.row(i).name() + "/" + std::to_string(int(m.row(i).figures[1])));
      EXPECT_EQ(seen.size(), 500u) << column;
      for (int i = 1; i < m.rowCount(); ++i)
        ASSERT_LE(UsageListCompare(m.row(i - 1), m.row(i), column, ascending), 0) << column << " at " << i;
    }
  }
  // Stable: equal disk bytes keep the order of the previous sort (by file bytes).
  m.sortRows(2, true);
  m.sortRows(1, true);
  for (int i = 1; i < m.rowCount(); ++i)
    if (m.row(i - 1).figures[0] == m.row(i).figures[0]) ASSERT_LT(m.row(i - 1).figures[1], m.row(i).figures[1]);
}

TEST(UsageListModel, SortingKeepsTheSelectionOnItsRows) {
  TUsageListModel m;
  QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
  for (const char* n : {"d", "b", "c", "a"}) m.appendRow(makeRow(n, false));
  QItemSelectionModel sel(&m);
  sel.select(m.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);  // "b"
  sel.select(m.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);  // "a"
  m.sortRows(0, true);
  std::vector<std::string> selected;
  for (int i = 0; i < m.rowCount(); ++i)
    if (sel.isRowSelected(i, {})) selected.push_back(m.row(i).name());
  EXPECT_EQ(selected, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(m.row(0).name(), "a");
  m.clearRows();
  EXPECT_EQ(m.rowCount(), 0);
  EXPECT_FALSE(sel.hasSelection());
}

TEST(UsageListModel, WhatTheListShows) {
  TUsageListModel m;
  m.appendRow(makeRow("f.txt", false, {4096, 12, 0, 1}, fileTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0)))));
  TUsageRow placeholder;
  placeholder.caption = "<Selected item not sizeable>";
  m.appendRow(std::move(placeholder));
  EXPECT_EQ(m.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Disk Bytes");
  EXPECT_EQ(m.index(0, 1).data().toString(), "4,096");
  EXPECT_EQ(m.index(0, 5).data().toString(), "1/1/2000");
  EXPECT_EQ(m.index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
  EXPECT_EQ(m.index(0, 5).data(Qt::TextAlignmentRole).toInt() & Qt::AlignLeft, Qt::AlignLeft);
  EXPECT_EQ(m.index(0, 1).data(Qt::ForegroundRole).value<QColor>(), kGrey) << "figures in grey";
  EXPECT_NE(m.index(0, 0).data(Qt::ForegroundRole).value<QColor>(), kGrey) << "names in window text";
  EXPECT_FALSE(m.index(1, 0).data(Qt::DecorationRole).isValid()) << "no icon without an entry";
  EXPECT_EQ(m.index(1, 1).data().toString(), "");
  m.setGreyText(true);
  EXPECT_EQ(m.index(1, 0).data(Qt::ForegroundRole).value<QColor>(), kGrey);
}

TEST(UsageListModel, NoTwoNamesShowAlikeAndEachShowsOnOneLine) {
  TUsageListModel m;
  QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Warning);
  const std::vector<std::string> names = testsupport::awkwardNames();
  for (const std::string& n : names) m.appendRow(makeRow(n, false));
  std::set<QString> shown;
  for (int i = 0; i < m.rowCount(); ++i) {
    const QString text = m.index(i, 0).data().toString();
    SCOPED_TRACE(text.toStdString());
    EXPECT_EQ(m.row(i).name(), names[static_cast<size_t>(i)]) << "the row keeps the bytes";
    const std::string& raw = names[static_cast<size_t>(i)];
    const bool ownReplacement = raw == "n\xEF\xBF\xBDx";  // a name that holds U+FFFD itself
    for (const QChar c : text) {
      EXPECT_FALSE(c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) << int(c.unicode());
      if (!ownReplacement) {
        EXPECT_NE(c, QChar::ReplacementCharacter) << "no byte lost to decoding";
      }
    }
    // Every escape is told to the view, which shows it apart.
    const QList<int> escapes = m.index(i, 0).data(kNameEscapesRole).value<QList<int>>();
    const bool plain = raw == "nx" || raw == "n?x" || raw == "n x" || ownReplacement;
    EXPECT_EQ(escapes.isEmpty(), plain);
    for (qsizetype k = 0; k + 1 < escapes.size(); k += 2) EXPECT_EQ(text.at(escapes[k]), QLatin1Char('\\'));
    EXPECT_TRUE(shown.insert(text).second) << "shown alike by another name";
    // The tool tip, the whole path, names it as the row does.
    const QString tip = m.index(i, 0).data(Qt::ToolTipRole).toString();
    QTextDocument doc;
    doc.setHtml(tip);
    EXPECT_EQ(doc.toPlainText(), "/x/" + text);
  }
}

TEST(NameDelegate, EscapesArePaintedApartFromTheNamesOwnCharacters) {
  // The same text twice: the escape of a newline, and a backslash and an n
  // that are the name's own. Only the escape has the mark's colour.
  TUsageListModel m;
  m.appendRow(makeRow("a\nb", false));
  m.appendRow(makeRow("a\\nb", false));
  ASSERT_EQ(m.index(0, 0).data().toString(), "a\\nb");
  ASSERT_EQ(m.index(1, 0).data().toString(), "a\\\\nb");
  TUsageListView view;
  view.setModel(&m);
  view.resize(400, 100);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  const QImage shot = view.viewport()->grab().toImage();
  auto markedPixels = [&](int row) {
    const QRect r = view.visualRect(m.index(row, 0));
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (shot.pixelColor(x, y) == MarkLook().tint) ++n;
    return n;
  };
  EXPECT_GT(markedPixels(0), 0) << "the escape of the newline";
  EXPECT_GT(markedPixels(1), 0) << "the doubled backslash";
  TUsageListModel plainModel;
  plainModel.appendRow(makeRow("plain\\sname", false));
  view.setModel(&plainModel);
  const QImage plain = view.viewport()->grab().toImage();
  int n = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x)
      if (plain.pixelColor(x, y) == MarkLook().tint) ++n;
  EXPECT_EQ(n, 0) << "a name without escapes is drawn as any other";
}
