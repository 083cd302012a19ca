// Start-up as the user types it: relative start paths, captions that show a
// folder's name as it is.
#include <QComboBox>
#include <QToolButton>
#include <QWindow>
#include <unistd.h>

#include "form_fixture.h"

namespace {

// The caption the window system shows (Qt's "[*]" mark already applied).
QString shownCaption(const TDiskUsageForm& f) { return f.windowHandle()->title(); }

}  // namespace

TEST_F(FormTest, RelativeStartPathsOpenTheFolderTheyName) {
  t.dir("--help");
  struct Case {
    std::string cwd;
    std::string arg;
    std::string folder;
  } cases[] = {
      {t.path("Alpha"), ".", t.path("Alpha")},
      {t.path("Alpha"), "./", t.path("Alpha")},
      {t.path("Alpha/y"), "..", t.path("Alpha")},
      {t.path("Alpha/y"), "../../Alpha/./y/", t.path("Alpha/y")},
      {"/", t.root().substr(1), t.root()},  // "cd /; tallorin tmp" gave "//tmp"
      {t.root(), "Alpha//y", t.path("Alpha/y")},
      // Named like an option: "./--help", or "--help" as the window gets it after "--".
      {t.root(), "./--help", t.path("--help")},
      {t.root(), "--help", t.path("--help")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg + " in " + c.cwd);
    ASSERT_EQ(chdir(c.cwd.c_str()), 0);
    TDiskUsageForm& f = open({c.arg});
    EXPECT_EQ(f.currentFolderPath(), c.folder + "/");
    EXPECT_EQ(shownCaption(f), QString::fromStdString("Tallorin - " + c.folder));
    EXPECT_EQ(f.treePath(), c.folder);
    EXPECT_EQ(f.CurrentDirBox->currentText(), QString::fromStdString(c.folder));
    form.reset();
  }
  // Up from a folder reached by ".." goes to its parent, not into it again.
  ASSERT_EQ(chdir(t.path("Alpha/y").c_str()), 0);
  TDiskUsageForm& f = open({".."});
  f.ParentDirBtnClick();
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
}

TEST_F(FormTest, AStartFileGivenRelativelyIsSelectedInItsFolder) {
  ASSERT_EQ(chdir(t.path("Alpha/y").c_str()), 0);
  TDiskUsageForm& f = open({"../../a.txt"});
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  EXPECT_EQ(selectedNames(), (Names{"a.txt"}));
}

TEST_F(FormTest, TheCaptionShowsTheFolderAsItIsNamed) {
  // "[*]" is the window system's mark for unsaved changes and "%1" a place
  // for an argument: in a folder's name both are plain characters.
  for (const char* name : {"x[*]y%1", "[*]", "a[*][*]b", "%1%2", "<b>bold&amp;"}) {
    SCOPED_TRACE(name);
    t.dir(name);
    TDiskUsageForm& f = open({t.path(name)});
    EXPECT_EQ(shownCaption(f), QString::fromStdString("Tallorin - " + t.path(name)));
    form.reset();
  }
}
