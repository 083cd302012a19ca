// The usage list's rows and their order.
#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <gtest/gtest.h>

#include "qt_print.h"
#include "views/usage_list_model.h"

namespace {

TUsageRow makeRow(const std::string& name, bool folder, QStringList figures = {"0", "0", "0", "0", "1/1/2000"}) {
  TUsageRow r;
  r.caption = QString::fromUtf8(name);
  TWin32FindData fd;
  fd.dwFileAttributes = folder ? kFileAttributeDirectory : kFileAttributeNormal;
  r.entry = std::make_unique<TDirectoryItem>(fd, "/x/" + name);
  std::strncpy(r.entry->FindData.cFileName, name.c_str(), 259);
  r.subItems = figures;
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

TEST(UsageListCompare, FiguresByLengthThenTextAndDatesByValue) {
  struct Case {
    int column;
    QString a, b;
    int want;  // sign of compare(a, b), ascending
  };
  const Case cases[] = {
      {1, "999", "1,000", -1}, {1, "0", "1", -1},     {2, "12,345", "12,344", 1},
      {3, "5", "5", 0},        {4, "10", "9", 1},
  };
  for (const Case& c : cases) {
    QStringList fa = {"0", "0", "0", "0", "1/1/2000"}, fb = fa;
    fa[c.column - 1] = c.a;
    fb[c.column - 1] = c.b;
    TUsageRow a = makeRow("a", false, fa), b = makeRow("b", false, fb);
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    EXPECT_EQ(sign(UsageListCompare(a, b, c.column, true)), c.want) << c.a.toStdString() << " vs " << c.b.toStdString();
    EXPECT_EQ(sign(UsageListCompare(a, b, c.column, false)), -c.want);
  }
  TUsageRow older = makeRow("o", false), newer = makeRow("n", false);
  older.date = QDateTime(QDate(1999, 12, 31), QTime(23, 0));
  newer.date = QDateTime(QDate(2001, 1, 1), QTime(0, 0));
  EXPECT_LT(UsageListCompare(older, newer, 5, true), 0);
  EXPECT_GT(UsageListCompare(older, newer, 5, false), 0);
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
  m.appendRow(makeRow("f.txt", false, {"4,096", "12", "0", "1", "1/1/2000"}));
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
