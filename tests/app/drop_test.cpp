// Files dropped on the window from a file manager: real drop events on the
// main panel, opening the folder of the first item with the items selected.
#include <QMimeData>
#include <QUrl>

#include "form_fixture.h"
#include "support/drop_panel.h"

namespace {

class DropTest : public FormTest {
 protected:
  // Drops urls on the main panel as the window system delivers a drop.
  bool drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(30, 30);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->MainPanel, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->MainPanel, &dropped);
    return dropped.isAccepted();
  }
  QUrl url(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }
};

}  // namespace

TEST_F(DropTest, DroppedItemsOpenTheirFolderWithThemSelected) {
  cwdTree.file("cwd/other.txt", 2);
  TDiskUsageForm& f = open({cwdTree.path("cwd")});
  f.NumbersCmd->trigger();
  struct Case {
    const char* what;
    QList<QUrl> urls;
    std::string folder;
    Names selected;
  } cases[] = {
      {"one file", {url(t.path("a.txt"))}, t.root() + "/", {"a.txt"}},
      {"three files", {url(t.path("zero")), url(t.path("a.txt")), url(t.path("B.txt"))}, t.root() + "/",
       {"a.txt", "B.txt", "zero"}},
      {"a folder", {url(t.path("Alpha"))}, t.root() + "/", {"Alpha"}},
      {"mixed folders: the first one's items", {url(t.path("Alpha/x.bin")), url(cwdTree.path("cwd/other.txt"))},
       t.path("Alpha") + "/", {"x.bin"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(drop(c.urls));
    EXPECT_EQ(f.currentFolderPath(), c.folder);
    EXPECT_EQ(selectedNames(), c.selected);
  }
  // Web addresses are no files: nothing is accepted, nothing happens.
  EXPECT_FALSE(drop({QUrl("https://example.org/a.txt")}));
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  // A root: opened, nothing selected (through the fake engine, which sizes "/" at once).
  form.reset();
  TDiskUsageForm& g = open({t.root()}, {kFakeEngine});
  g.NumbersCmd->trigger();
  EXPECT_TRUE(drop({url("/")}));
  EXPECT_EQ(g.currentFolderPath(), "/");
  EXPECT_TRUE(selectedNames().empty());
}

TEST_F(DropTest, DropsAreStillAcceptedAfterLayoutChangesAndStayOnTop) {
  TDiskUsageForm& f = open({cwdTree.path("cwd")});
  for (QAction* a : {f.TotalsOnlyCmd, f.ListAndTotalsCmd, f.ListOnlyCmd, f.StayOnTopCmd, f.StayOnTopCmd}) {
    a->trigger();
    EXPECT_TRUE(f.MainPanel->acceptDrops()) << a->text().toStdString();
  }
  EXPECT_TRUE(drop({url(t.path("Ax"))}));
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
  f.MainPanel->setOnFileDrop(nullptr);
  EXPECT_FALSE(f.MainPanel->acceptDrops()) << "no event, no drops";
  EXPECT_FALSE(drop({url(t.path("Alpha/x.bin"))}));
  EXPECT_EQ(f.currentFolderPath(), t.root() + "/");
}

TEST(DropPanel, OnlyLocalPathsInDropOrder) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/b"), QUrl("https://x/y"), QUrl::fromLocalFile("/a b/c"), QUrl("smb://s/share")});
  EXPECT_EQ(TDropPanel::localPaths(&data), (std::vector<std::string>{"/b", "/a b/c"}));
  QMimeData none;
  none.setText("/not/urls");
  EXPECT_TRUE(TDropPanel::localPaths(&none).empty());
}
