// The Delete command in the window: its questions, nothing removed without a
// yes, the items in the trash, and the list following through the watch.
#include <QElapsedTimer>
#include <QToolButton>
#include <sys/stat.h>

#include "form_fixture.h"

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

TEST_F(DeleteTest, TheQuestionNamesOneItemOrCountsSeveralAndNoKeepsEverything) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  ASSERT_TRUE(f.DeleteCmd->isEnabled());
  struct Case {
    Names rows;
    QString question;
  } cases[] = {{{"Alpha"}, "Confirm: Are you sure you want to remove 'Alpha'?"},
               {{"a.txt", "Ax", "zero"}, "Confirm: Are you sure you want to remove the 3 selected files/folders?"}};
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
  EXPECT_EQ(messages, (std::vector<QString>{"Confirm: Are you sure you want to remove the 3 selected files/folders?"}));
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
