// Each row's change since an earlier look at the folder or against a saved
// scan, as the window shows it; gone rows are summed but never acted on.
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <cstdio>
#include <fstream>

#include "form_fixture.h"
#include "model/snapshot_store.h"
#include "views/figure_format.h"
#include "views/totals_box.h"

namespace {

class ChangesTest : public FormTest {
 protected:
  // The row's figure as a number (the texts read back to the figures).
  int64_t figure(const std::string& name, int column) const { return QLocale().toLongLong(cell(name, column)); }
  // The look kept today, moved back to yesterday, as if taken then.
  void ageTodaysLook(TDiskUsageForm& f) {
    const TSnapshotStore store(TSnapshotStore::DefaultFolder());
    const QDate today = QDate::currentDate();
    ASSERT_TRUE(waitUntil([&] { return store.load(f.currentFolderPath(), today).has_value(); }));
    const std::optional<TSnapshot> look = store.load(f.currentFolderPath(), today);
    ASSERT_TRUE(store.save(f.currentFolderPath(), QDateTime(today.addDays(-1), QTime(14, 2)), look->rows));
    ASSERT_TRUE(QFile::remove(store.fileName(f.currentFolderPath(), today)));
  }
  void selectOnly(TDiskUsageForm& f, const std::string& name) {
    f.UsageList->clearSelection();
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      if (f.UsageModel->row(i).name() == name) {
        f.UsageList->selectionModel()->select(f.UsageModel->index(i, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.UsageList->selectionModel()->setCurrentIndex(f.UsageModel->index(i, 0), QItemSelectionModel::NoUpdate);
      }
  }
  QString changeLine(TDiskUsageForm& f) const { return static_cast<TTotalsGroup*>(f.TotalsGroup)->changeLine(); }
};

}  // namespace

TEST_F(ChangesTest, EachRowShowsItsChangeSinceTheNewestLookBeforeToday) {
  t.dir("grows");
  t.file("grows/a", 1000);
  t.file("shrinks", 50000);
  t.file("goes", 3000);
  t.file("old-name", 7000);
  t.dir("becomes-link");
  t.file("becomes-link/inner", 90000);
  TDiskUsageForm& f = open({t.root()});
  EXPECT_TRUE(f.UsageList->header()->isSectionHidden(kChangeColumn)) << "off at first";
  f.ShowChangesCmd->trigger();
  ASSERT_FALSE(f.UsageList->header()->isSectionHidden(kChangeColumn));
  EXPECT_EQ(f.UsageList->header()->visualIndex(kChangeColumn), 2) << "after Disk Bytes";
  EXPECT_EQ(changeLine(f), "Change: no earlier look at this folder kept yet");
  EXPECT_EQ(cell("shrinks", kChangeColumn), "");
  std::map<std::string, int64_t> before;
  for (const std::string& n : rowNames()) before[n] = figure(n, 1);
  ageTodaysLook(f);

  t.file("grows/b", 200000);
  ASSERT_EQ(::truncate(t.path("shrinks").c_str(), 100), 0);
  ASSERT_EQ(::unlink(t.path("goes").c_str()), 0);
  ASSERT_EQ(::rename(t.path("old-name").c_str(), t.path("new-name").c_str()), 0);
  ASSERT_EQ(std::system(("rm -r '" + t.path("becomes-link") + "'").c_str()), 0);
  t.symlink("grows", "becomes-link");
  t.file("arrived", 4000);
  f.RefreshCmd->trigger();

  struct Expect {
    const char* name;
    QString change;
  } rows[] = {{"grows", FormatChange(figure("grows", 1) - before["grows"])},
              {"shrinks", FormatChange(figure("shrinks", 1) - before["shrinks"])},
              {"becomes-link", FormatChange(figure("becomes-link", 1) - before["becomes-link"])},
              {"a.txt", "0"},
              {"arrived", "new"},
              {"new-name", "new"},
              {"goes", "gone"},
              {"old-name", "gone"}};
  for (const Expect& e : rows) EXPECT_EQ(cell(e.name, kChangeColumn), e.change) << e.name;
  EXPECT_TRUE(cell("grows", kChangeColumn).startsWith('+'));
  EXPECT_TRUE(cell("shrinks", kChangeColumn).startsWith('-'));
  EXPECT_EQ(cell("goes", 1), FormatFigureForTest(double(before["goes"]))) << "a gone row keeps its old figures";
  EXPECT_EQ(f.UsageModel->index(f.UsageModel->rowCount() - 1, 0).data(Qt::ForegroundRole).value<QColor>(), kGrey);
  // Nothing selected: the totals and the count are the folder's as it is now.
  f.UnselectAllCmdClick();
  int64_t files = 0, present = 0;
  for (const std::string& n : rowNames())
    if (cell(n, kChangeColumn) != "gone") files += figure(n, 4), ++present;
  EXPECT_EQ(f.FilesValLabel->text(), FormatFigureForTest(double(files)));
  EXPECT_EQ(f.statusPanelText(0), QString::number(present) + " items");

  // Gone rows stay last in every order; the Change column sorts like the others.
  for (int column : {0, 1, kChangeColumn})
    for (int click = 0; click < 2; ++click) {
      f.UsageListColumnClick(column);
      const Names names = rowNames();
      ASSERT_GE(names.size(), 2u);
      Names last(names.end() - 2, names.end());
      std::sort(last.begin(), last.end());
      EXPECT_EQ(last, (Names{"goes", "old-name"})) << column << " " << click;
    }
  f.SortAscending = false;
  f.SortByColumn(kChangeColumn);
  EXPECT_EQ(rowNames().front(), "grows") << "largest growth first";
  EXPECT_TRUE(f.ChangeSortCmd->isChecked());

  int64_t now = 0, then = 0;
  for (const std::string& n : rowNames()) now += cell(n, kChangeColumn) == "gone" ? 0 : figure(n, 1);
  for (const auto& [n, bytes] : before) then += bytes;
  const QString since = QLocale().toString(QDateTime(QDate::currentDate().addDays(-1), QTime(14, 2)), "ddd d MMM yyyy HH:mm");
  EXPECT_EQ(changeLine(f), "Change since " + since + ": " + FormatChange(now - then) + " disk bytes");

  // Off: the column, the gone rows and the line go; the sort falls back.
  f.ShowChangesCmd->trigger();
  EXPECT_TRUE(f.UsageList->header()->isSectionHidden(kChangeColumn));
  EXPECT_EQ(cell("goes", 0), "<no row>");
  EXPECT_EQ(changeLine(f), "");
  EXPECT_EQ(f.SortColumn, 1);
}

TEST_F(ChangesTest, GoneRowsAreSummedButNeverActedOn) {
  // An earlier look of yesterday, made up: "ghost" was there then.
  const std::string folder = t.root() + "/";
  scan::Baseline yesterday;
  yesterday.rows.push_back({"ghost", 123456, 123000, 0, 1, 1700000000, false});
  yesterday.rows.push_back({"Alpha", 1, 1, 0, 1, 1700000000, true});
  ASSERT_TRUE(TSnapshotStore(TSnapshotStore::DefaultFolder()).save(folder, QDateTime::currentDateTime().addDays(-1), yesterday));
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();  // Delete works on the list
  f.ShowChangesCmd->trigger();
  ASSERT_EQ(cell("ghost", kChangeColumn), "gone");
  // Someone makes a file of that name after the refresh: it is not the row.
  t.file("ghost", 10);
  selectOnly(f, "ghost");
  EXPECT_EQ(f.DiskBytesValLabel->text(), FormatFigureForTest(123456)) << "its figures are summed";
  EXPECT_EQ(f.statusPanelText(0), "1 selection");

  struct Action {
    const char* what;
    std::function<void()> act;
    QString message;
  } actions[] = {
      {"Delete", [&] { f.DeleteCmd->trigger(); }, "Warning: The rows selected are gone: there is nothing to delete."},
      {"right click", [&] { f.UsageListMouseDown(Qt::RightButton, QPoint(5, 5)); },
       "Warning: 'ghost' is gone: it was there at the earlier look, and there is nothing to act on now."},
      {"Enter", [&] { QTest::keyClick(f.UsageList, Qt::Key_Return); }, ""},
      {"double click", [&] { f.UsageListDblClick(); }, ""},
  };
  for (const Action& a : actions) {
    messages.clear();
    bool menuShown = false;
    f.ItemMenuChooser = [&](QMenu&) {
      menuShown = true;
      return nullptr;
    };
    a.act();
    EXPECT_FALSE(menuShown) << a.what;
    if (a.message.isEmpty())
      EXPECT_TRUE(messages.empty()) << a.what;
    else
      EXPECT_EQ(messages, (std::vector<QString>{a.message})) << a.what;
    EXPECT_TRUE(exists(t.path("ghost"))) << a.what;
    EXPECT_EQ(f.currentFolderPath(), folder) << a.what;
  }
  f.ItemMenuChooser = nullptr;
  // With a row that is there: only that row is offered for deletion.
  f.UsageList->selectionModel()->select(f.UsageModel->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const std::string there = f.UsageModel->row(0).name();
  messages.clear();
  f.DeleteCmd->trigger();  // answered No
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Confirm: Are you sure you want to remove '" + QString::fromStdString(there) + "'?");
}

TEST_F(ChangesTest, TheChoiceIsStoredAndNothingIsKeptWhileOff) {
  {
    TDiskUsageForm& f = open({t.root()});
    f.RefreshCmd->trigger();
    EXPECT_FALSE(QFile::exists(TSnapshotStore::DefaultFolder())) << "no look is kept while changes are not shown";
    f.ShowChangesCmd->trigger();
    f.SortByColumn(kChangeColumn);
    f.SaveSettingsNowCmd->trigger();
  }
  form.reset();
  TDiskUsageForm& f = open({t.root()});
  EXPECT_TRUE(f.ShowChangesCmd->isChecked());
  EXPECT_FALSE(f.UsageList->header()->isSectionHidden(kChangeColumn));
  EXPECT_EQ(f.SortColumn, kChangeColumn);
  EXPECT_EQ(cell("a.txt", kChangeColumn), "") << "the only look is today's";
}

TEST_F(ChangesTest, ASavedScanIsTheBaselineUntilAnotherIsChosen) {
  // A scan in the export format, of this folder as it was: a.txt as now,
  // "was-here" since gone, B.txt smaller.
  const std::string json = configHome.path("old.json");
  {
    std::ofstream out(json);
    out << "[1,2,{\"progname\":\"test\",\"progver\":\"1\",\"timestamp\":1764500000},\n"
        << "[{\"name\":\"" << t.root() << "\"},\n"
        << "{\"name\":\"a.txt\",\"asize\":100,\"dsize\":4096},\n"
        << "{\"name\":\"B.txt\",\"asize\":1,\"dsize\":4096},\n"
        << "{\"name\":\"was-here\",\"asize\":5,\"dsize\":4096}\n"
        << "]]\n";
  }
  const std::string garbage = configHome.path("garbage.json");
  std::ofstream(garbage) << "[1,2,{\"progname\":\"test\"},[{\"name\":\"" << t.root() << "\"}, {\"name\":";
  const std::string elsewhere = configHome.path("elsewhere.json");
  std::ofstream(elsewhere) << "[1,2,{},[{\"name\":\"/nowhere/at/all\"},{\"name\":\"a\",\"asize\":1}]]";

  TDiskUsageForm& f = open({t.root()});
  struct Case {
    std::string file;
    QString box;  // what the box says begins so
    QString line;
  } cases[] = {{garbage, "Error: ", "Change: the scan garbage.json cannot be read"},
               {elsewhere, "Error: ", "Change: the scan elsewhere.json does not contain this folder"},
               {json, "", "Change since the scan old.json of "}};
  for (const Case& c : cases) {
    messages.clear();
    f.ScanFileChooser = [&] { return QString::fromStdString(c.file); };
    f.CompareWithScanCmd->trigger();
    ASSERT_TRUE(waitUntil([&] { return !f.scanReadRunning(); }, 20000)) << c.file;
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.ShowChangesCmd->isChecked()) << c.file;
    EXPECT_TRUE(changeLine(f).startsWith(c.line)) << changeLine(f).toStdString();
    if (c.box.isEmpty())
      EXPECT_TRUE(messages.empty()) << c.file;
    else
      EXPECT_TRUE(messages.size() == 1 && messages[0].startsWith(c.box) && messages[0].contains(QString::fromStdString(c.file)))
          << c.file << " " << (messages.empty() ? "" : messages[0].toStdString());
  }
  EXPECT_EQ(cell("a.txt", kChangeColumn), "0");
  EXPECT_TRUE(cell("B.txt", kChangeColumn).startsWith('+'));
  EXPECT_EQ(cell("Ax", kChangeColumn), "new");
  EXPECT_EQ(cell("was-here", kChangeColumn), "gone");
  // A refresh keeps comparing with the scan, without reading it again.
  f.RefreshCmd->trigger();
  EXPECT_FALSE(f.scanReadRunning());
  EXPECT_EQ(cell("was-here", kChangeColumn), "gone");
  // Another folder is looked for in the same scan, quietly.
  messages.clear();
  f.OpenFolder(t.path("Alpha"));
  ASSERT_TRUE(waitUntil([&] { return !f.scanReadRunning(); }, 20000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(changeLine(f), "Change: the scan old.json does not contain this folder");
  EXPECT_EQ(cell("x.bin", kChangeColumn), "");
  // Back in the folder the scan holds, it is read while the folder is
  // computed, and compared as before.
  f.OpenFolder(t.root());
  ASSERT_TRUE(waitUntil([&] { return !f.scanReadRunning(); }, 20000));
  QCoreApplication::processEvents();
  EXPECT_EQ(cell("was-here", kChangeColumn), "gone");
  EXPECT_TRUE(cell("B.txt", kChangeColumn).startsWith('+'));
  EXPECT_TRUE(changeLine(f).startsWith("Change since the scan old.json of ")) << changeLine(f).toStdString();
}
