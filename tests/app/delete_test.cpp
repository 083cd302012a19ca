// The Delete command in the window: its questions, nothing removed without a
// yes, the items in the trash, and the list following through the watch.
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "form_fixture.h"
#include "scoped_mount.h"

namespace {

class DeleteTest : public FormTest {
 protected:
  void select(TDiskUsageForm& f, const Names& names) {
    f.UsageList->clearSelection();
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      for (const std::string& n : names)
        if (f.UsageModel->row(i).name() == n)
          f.UsageList->selectionModel()->select(f.UsageModel->index(i, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::string trashed(const std::string& name) const { return configHome.path("data/Trash/files/" + name); }
};

}  // namespace

TEST_F(DeleteTest, TheQuestionNamesTheItemsAndNoKeepsEverything) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  ASSERT_TRUE(f.DeleteCmd->isEnabled());
  struct Case {
    Names rows;
    QString question;
  } cases[] = {{{"Alpha"}, "Confirm: Are you sure you want to remove 'Alpha'?"},
               {{"a.txt", "Ax", "zero"},
                "Confirm: Are you sure you want to remove the 3 selected files/folders?\na.txt\nAx\nzero"}};
  for (const Case& c : cases) {
    select(f, c.rows);
    messages.clear();
    f.DeleteCmd->trigger();  // the observer answers No, as closing the box does
    EXPECT_EQ(messages, (std::vector<QString>{c.question}));
    for (const std::string& n : c.rows) EXPECT_TRUE(exists(t.path(n))) << n;
    EXPECT_EQ(selectedNames().size(), c.rows.size()) << "the selection stays as it was";
  }
  f.UsageList->clearSelection();
  messages.clear();
  QTest::mouseClick(f.DeleteBtn, Qt::LeftButton);
  EXPECT_EQ(messages, (std::vector<QString>{"Warning: No files or folders selected"}));
}

TEST_F(DeleteTest, YesMovesTheItemsToTheTrashAndTheListFollows) {
  t.symlink(t.path("B.txt"), "link");
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
    messages.push_back(caption + ": " + text);
    return true;  // Yes
  });
  select(f, {"Alpha", "a.txt", "link"});
  f.DeleteCmdClick();
  EXPECT_EQ(messages,
            (std::vector<QString>{"Confirm: Are you sure you want to remove the 3 selected files/folders?\nAlpha\na.txt\nlink"}));
  for (const char* n : {"Alpha", "a.txt", "link"}) {
    EXPECT_FALSE(exists(t.path(n))) << n;
    EXPECT_TRUE(exists(trashed(n))) << n;
    EXPECT_TRUE(exists(configHome.path(std::string("data/Trash/info/") + n + ".trashinfo"))) << n;
  }
  EXPECT_TRUE(exists(t.path("B.txt"))) << "the link's target stays";
  EXPECT_TRUE(exists(trashed("Alpha/y/z"))) << "a folder goes whole";
  EXPECT_TRUE(waitUntil([&] { return cell("Alpha", 1) == "<no row>" && cell("link", 1) == "<no row>"; }))
      << "the rows go through the folder watch";
}

TEST_F(DeleteTest, TheChartViewHasNoDelete) {
  TDiskUsageForm& f = open({t.root()});
  f.ChartCmd->trigger();
  select(f, {"a.txt"});
  EXPECT_FALSE(f.DeleteCmd->isEnabled());
  EXPECT_FALSE(f.DeleteBtn->isEnabled());
  QTest::keyClick(&f, Qt::Key_Delete);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(exists(t.path("a.txt")));
  f.NumbersCmd->trigger();
  EXPECT_TRUE(f.DeleteCmd->isEnabled());
  EXPECT_TRUE(f.DeleteBtn->isEnabled());
}

namespace {

int countEntries(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return 0;
  int n = 1;
  if (S_ISDIR(st.st_mode))
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
          n += countEntries(path + "/" + e->d_name);
      ::closedir(d);
    }
  return n;
}

}  // namespace

TEST_F(DeleteTest, DeletingForGoodShowsItsProgressToTheEndAndCancelSaysWhatIsLeft) {
  // No trash for this volume: a plain file where the home trash would go.
  configHome.dir("data");
  std::ofstream(configHome.path("data/Trash")) << "not a folder";
  auto build = [&] {
    ASSERT_EQ(std::system(("rm -rf '" + t.path("big") + "'").c_str()), 0);
    t.dir("big");
    for (int d = 0; d < 20; ++d) {
      t.dir("big/d" + std::to_string(d));
      for (int f = 0; f < 100; ++f) t.file("big/d" + std::to_string(d) + "/f" + std::to_string(f), 10);
    }
    t.symlink(t.path("Alpha"), "big/link");  // removed as a link
  };
  const int total = 1 + 20 + 2000 + 1;
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
    messages.push_back(caption + ": " + text);
    return true;  // Yes
  });
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancelled" : "to the end");
    build();
    ASSERT_TRUE(waitUntil([&] { return cell("big", 4) == FormatFigureForTest(2001); }));
    select(f, {"big"});
    messages.clear();
    QStringList labels;
    QString title;
    bool hiddenWhileWorking = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* w = f.findChild<QProgressDialog*>("DeleteProgress");
      if (!w || !w->isVisible()) {
        hiddenWhileWorking |= labels.size() > 0 && exists(t.path("big"));
        return;
      }
      title = w->windowTitle();
      if (labels.isEmpty() || labels.back() != w->labelText()) labels << w->labelText();
      if (cancel && w->labelText().startsWith("Deleting for good:")) {
        QPushButton* button = w->findChild<QPushButton*>();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), "Cancel");
        button->click();
      }
    });
    watch.start(0);
    f.DeleteCmdClick();
    watch.stop();
    EXPECT_EQ(f.findChild<QProgressDialog*>("DeleteProgress"), nullptr) << "gone once the work is over";
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(title, "Delete Files and Folders");
    EXPECT_FALSE(labels.filter("trash", Qt::CaseInsensitive).size()) << labels.join(" | ").toStdString();
    EXPECT_FALSE(hiddenWhileWorking) << "the window stays while entries are left";
    EXPECT_TRUE(exists(t.path("Alpha/x.bin"))) << "the link's target stays";
    if (!cancel) {
      EXPECT_FALSE(exists(t.path("big")));
      EXPECT_EQ(messages.size(), 2u) << "the two questions, nothing more";
      continue;
    }
    // Stopped after the first entry: the box says what went and what is left.
    EXPECT_TRUE(labels.contains("Deleting for good: 1 of 2,022 files and folders\n(10 of 20,000 bytes)") ||
                labels.contains("Deleting for good: 1 of 2,022 files and folders\n(0 of 20,000 bytes)"))
        << labels.join(" | ").toStdString();
    const int left = countEntries(t.path("big"));
    EXPECT_EQ(left, total - 1) << "the Cancel at the first report stops before the next entry";
    // What went was inside a sub-folder, out of the folder watch's sight: the
    // row is computed again all the same.
    EXPECT_EQ(cell("big", 4), FormatFigureForTest(2000)) << "2,001 files before, one of them gone";
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].startsWith("Warning: Deleting for good was stopped.\n\nDeleted: 1 of 2,022 files and folders ("))
        << messages[2].toStdString();
    EXPECT_TRUE(messages[2].contains(QString("\nLeft: %1 files and folders").arg(FormatFigureForTest(left))))
        << messages[2].toStdString();
    EXPECT_TRUE(messages[2].endsWith(", in:\n'big'")) << messages[2].toStdString();
  }
}

TEST_F(DeleteTest, DeletingForGoodLeavesOtherVolumesAndTheBoxSaysWhy) {
  configHome.dir("data");
  std::ofstream(configHome.path("data/Trash")) << "not a folder";  // no trash on this volume
  t.dir("withmnt");
  t.file("withmnt/a.txt", 10);
  t.dir("withmnt/m");
  testsupport::ScopedMount other = testsupport::ScopedMount::tmpfs(t.path("withmnt/m"));
  if (!other.mounted()) GTEST_SKIP() << other.why();
  std::ofstream(t.path("withmnt/m/precious.txt")) << "precious";
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  ASSERT_TRUE(waitUntil([&] { return cell("withmnt", 0) == "withmnt"; }));
  const QString filesBefore = cell("withmnt", 4);
  platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
    messages.push_back(caption + ": " + text);
    return true;  // Yes
  });
  select(f, {"withmnt"});
  f.DeleteCmdClick();
  EXPECT_EQ(testsupport::readFile(t.path("withmnt/m/precious.txt")), "precious") << "nothing on the other volume is touched";
  EXPECT_FALSE(exists(t.path("withmnt/a.txt")));
  EXPECT_TRUE(exists(t.path("withmnt/m")));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2],
            "Warning: Deleted: 1 file or folder (10 bytes).\n\n"
            "Not deleted: mount points of other volumes, which deleting for good never enters. They stay, "
            "and so do the folders that hold them:\n'withmnt/m'");
  EXPECT_NE(cell("withmnt", 4), filesBefore) << "the row is computed again, though the folder watch saw nothing";
}
