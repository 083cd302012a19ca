// The item menu of a right click in the list: the three error boxes, which
// item it is for, and each of its commands on real files.
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QTimer>
#include <QTreeView>
#include <sys/stat.h>

#include <fstream>

#include "form_fixture.h"
#include "platform/desktop_open.h"
#include "views/item_menu.h"
#include "views/item_properties.h"
#include "views/folder_tree_model.h"

namespace {

class ItemMenuTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    platform::setOpenObserver([this](const std::string& p) { opened.push_back(p); });
    platform::setTextObserver([this](const QString&, const QString&, const QString& initial) -> std::optional<QString> {
      askedFor = initial;
      return answer;
    });
  }
  void TearDown() override {
    platform::setOpenObserver(nullptr);
    platform::setTextObserver(nullptr);
    FormTest::TearDown();
  }
  void select(const Names& names) {
    form->UsageList->clearSelection();
    for (int i = 0; i < form->UsageModel->rowCount(); ++i)
      for (const std::string& n : names)
        if (form->UsageModel->row(i).name() == n)
          form->UsageList->selectionModel()->select(form->UsageModel->index(i, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // Right-clicks with the chooser picking the action `pick` names; returns
  // whether a menu was shown.
  bool rightClick(const std::function<QAction*(TItemMenu&)>& pick) {
    bool shown = false;
    form->ItemMenuChooser = [&](QMenu& m) {
      shown = true;
      return pick(static_cast<TItemMenu&>(m));
    };
    form->UsageListMouseDown(Qt::RightButton, QPoint(5, 5));
    form->ItemMenuChooser = nullptr;
    return shown;
  }
  std::vector<std::string> opened;
  std::optional<QString> answer;
  QString askedFor;
};

}  // namespace

TEST_F(ItemMenuTest, ThePlaceholderRowAndAFolderThatIsGoneGiveTheirErrorBoxes) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  f.UsageList->clearSelection();
  EXPECT_FALSE(rightClick([](TItemMenu&) { return nullptr; })) << "nothing selected: no menu";
  EXPECT_TRUE(messages.empty());
  f.UsageListMouseDown(Qt::LeftButton, QPoint(5, 5));
  EXPECT_TRUE(messages.empty()) << "only the right button";

  f.TreeView->setCurrentIndex(f.TreeModel->topIndex());  // the placeholder row
  select({"<Selected item not sizeable>"});
  EXPECT_FALSE(rightClick([](TItemMenu&) { return nullptr; }));
  EXPECT_EQ(messages, (std::vector<QString>{"Error: OLE error [3] code 80070002"}));

  messages.clear();
  f.SelectFolderPath(t.path("Alpha/y"));
  select({"z"});
  ASSERT_EQ(std::system(("rm -r '" + t.path("Alpha") + "'").c_str()), 0);
  EXPECT_FALSE(rightClick([](TItemMenu&) { return nullptr; }));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front(), "Error: OLE error [1] code 80070002");

  // The folder shown replaced by a file: it is there, but no folder to open.
  messages.clear();
  f.SelectFolderPath(t.path("beta"));
  t.file("Ax2", 1);
  f.SelectFolderPath(t.root());
  select({"Ax2"});
  ASSERT_EQ(std::system(("rm -r '" + t.root() + "' && touch '" + t.root() + "'").c_str()), 0);
  EXPECT_FALSE(rightClick([](TItemMenu&) { return nullptr; }));
  EXPECT_EQ(messages, (std::vector<QString>{"Error: OLE error [2] code 8007010B"}));
  ::unlink(t.root().c_str());
  ::mkdir(t.root().c_str(), 0700);  // for the fixture to remove
}

TEST_F(ItemMenuTest, TheMenuIsForTheFirstSelectedRowAndItsCommandsAct) {
  t.symlink(t.path("Alpha/x.bin"), "link");
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  select({"B.txt", "a.txt"});  // a.txt comes first in the list

  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.CopyPathAct; }));
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(t.path("a.txt")));
  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.OpenAct; }));
  EXPECT_EQ(opened, (std::vector<std::string>{t.path("a.txt")}));
  EXPECT_TRUE(rightClick([](TItemMenu& m) {
    EXPECT_EQ(m.OpenContainingAct, nullptr) << "only a link has it";
    return m.CutAct;
  }));
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(data->urls()[0].toLocalFile(), QString::fromStdString(t.path("a.txt")));
  EXPECT_TRUE(data->data("x-special/gnome-copied-files").startsWith("cut\nfile://"));

  // Rename: the question offers the old name; an existing name is refused.
  answer = QString("renamed.txt");
  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.RenameAct; }));
  EXPECT_EQ(askedFor, "a.txt");
  EXPECT_TRUE(exists(t.path("renamed.txt")));
  EXPECT_FALSE(exists(t.path("a.txt")));
  ASSERT_TRUE(waitUntil([&] { return cell("renamed.txt", 2) == "100"; })) << "the list follows";
  select({"renamed.txt"});
  answer = QString("B.txt");
  rightClick([](TItemMenu& m) { return m.RenameAct; });
  EXPECT_TRUE(exists(t.path("renamed.txt"))) << "never over another item";
  ASSERT_FALSE(messages.empty());
  EXPECT_TRUE(messages.back().startsWith("Error: Cannot rename 'renamed.txt': an item named \"B.txt\" already exists"))
      << messages.back().toStdString();

  // A link: its containing folder is the target's; the trash takes the link alone.
  select({"link"});
  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.OpenContainingAct; }));
  EXPECT_EQ(f.currentFolderPath(), t.path("Alpha") + "/");
  f.SelectFolderPath(t.root());
  select({"link"});
  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.TrashAct; }));
  EXPECT_FALSE(exists(t.path("link")));
  EXPECT_TRUE(exists(t.path("Alpha/x.bin")));
  EXPECT_TRUE(exists(configHome.path("data/Trash/files/link")));

  // Open on a folder, or on a link to one, enters it as a double-click does.
  t.symlink(t.path("Alpha/y"), "to-y");
  for (const char* row : {"Alpha", "to-y"}) {
    SCOPED_TRACE(row);
    f.SelectFolderPath(t.root());
    ASSERT_TRUE(waitUntil([&] { return cell(row, 0) == row; }));
    select({row});
    opened.clear();
    EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.OpenAct; }));
    EXPECT_EQ(f.currentFolderPath(), std::string(row) == "Alpha" ? t.path("Alpha") + "/" : t.path("Alpha/y") + "/");
    EXPECT_TRUE(opened.empty()) << "nothing handed to the desktop";
  }
}

TEST_F(ItemMenuTest, OpenWithOffersTheApplicationsOfTheTypeAndRunsTheChosenOne) {
  // An application of our own for plain text, in the user's data folder.
  const std::string apps = configHome.path("data/applications");
  ASSERT_EQ(std::system(("mkdir -p '" + apps + "'").c_str()), 0);
  const std::string script = configHome.path("mark.sh");
  std::ofstream(script) << "#!/bin/sh\ntouch \"$1.opened\"\n";
  ::chmod(script.c_str(), 0755);
  std::ofstream(apps + "/marker.desktop") << "[Desktop Entry]\nType=Application\nName=Marker\n"
                                             "Exec=\"" + script + "\" %f\nMimeType=text/plain;\n";
  std::ofstream(apps + "/hidden.desktop") << "[Desktop Entry]\nType=Application\nName=Hidden\nExec=true %f\n"
                                             "MimeType=text/plain;\nNoDisplay=true\n";
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  select({"a.txt"});
  QStringList offered;
  EXPECT_TRUE(rightClick([&](TItemMenu& m) -> QAction* {
    for (QAction* a : m.OpenWithActs) offered << a->text();
    for (QAction* a : m.OpenWithActs)
      if (a->text() == "Marker") return a;
    return nullptr;
  }));
  EXPECT_TRUE(offered.contains("Marker"));
  EXPECT_FALSE(offered.contains("Hidden"));
  EXPECT_TRUE(waitUntil([&] { return exists(t.path("a.txt.opened")); })) << "the application ran on the file";
}

TEST_F(ItemMenuTest, PropertiesShowTheItemsFacts) {
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  select({"Alpha"});
  QString seenSize, seenType;
  QTimer::singleShot(0, [&] {
    auto* dialog = f.findChild<TItemProperties*>("ItemProperties");
    if (!dialog) return;
    seenSize = dialog->findChild<QLabel*>("Size")->text();
    seenType = dialog->findChild<QLabel*>("Type")->text();
    dialog->reject();
  });
  EXPECT_TRUE(rightClick([](TItemMenu& m) { return m.PropertiesAct; }));
  EXPECT_EQ(seenType, "Folder");
  EXPECT_EQ(seenSize, "5,010 bytes") << "a folder's size is what its row counts";
}

namespace {

// The bytes a file URL names: its path percent-decoded.
std::string bytesOfUrl(const QByteArray& url) {
  if (!url.startsWith("file://")) return {};
  return QByteArray::fromPercentEncoding(url.mid(7)).toStdString();
}

// What a shell makes of a text pasted as one argument.
std::string bytesOfShellWord(const QString& text) {
  QProcess sh;
  sh.start("bash", {"-c", "printf %s " + text});
  if (!sh.waitForFinished(5000)) return "<bash did not end>";
  return sh.readAllStandardOutput().toStdString();
}

}  // namespace

TEST_F(ItemMenuTest, TheClipboardNamesAnItemByItsOwnBytes) {
  const std::string raw = "raw\xFF name's.txt";  // not UTF-8
  // A terminal would run the line after the newline, act on the escape
  // sequence and show the rest of the line turned around.
  const std::string newline = "new\nline", escape = "esc\x1B[31mred", override = "evil\xE2\x80\xAEtxt.exe";
  for (const std::string& n : {raw, newline, escape, override}) t.file(n, 3);
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  struct Case {
    std::string name;
    QString plainText;  // what Copy Path gives; empty: checked through a shell
  } cases[] = {{"a.txt", QString::fromStdString(t.path("a.txt"))}, {raw, QString()}, {newline, QString()},
               {escape, QString()}, {override, QString()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool cut : {false, true}) {
      select({c.name});
      ASSERT_TRUE(rightClick([cut](TItemMenu& m) { return cut ? m.CutAct : m.CopyAct; }));
      const QMimeData* data = QApplication::clipboard()->mimeData();
      ASSERT_NE(data, nullptr);
      ASSERT_EQ(data->urls().size(), 1);
      EXPECT_EQ(bytesOfUrl(data->urls()[0].toEncoded()), t.path(c.name));
      EXPECT_EQ(bytesOfUrl(data->data("text/uri-list").trimmed()), t.path(c.name));
      const QList<QByteArray> gnome = data->data("x-special/gnome-copied-files").split('\n');
      ASSERT_EQ(gnome.size(), 2);
      EXPECT_EQ(gnome[0], cut ? "cut" : "copy");
      EXPECT_EQ(bytesOfUrl(gnome[1]), t.path(c.name)) << gnome[1].toStdString();
      EXPECT_EQ(bytesOfShellWord(data->text()), t.path(c.name)) << data->text().toStdString();
    }
    ASSERT_TRUE(rightClick([](TItemMenu& m) { return m.CopyPathAct; }));
    const QString text = QApplication::clipboard()->text();
    if (!c.plainText.isEmpty()) {
      EXPECT_EQ(text, c.plainText) << "a UTF-8 path is given as it is";
    }
    EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << text.toStdString();
    for (const QChar ch : text)
      EXPECT_FALSE(ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format)
          << "a character a terminal acts on: " << int(ch.unicode());
    EXPECT_EQ(bytesOfShellWord(text), t.path(c.name)) << text.toStdString();
  }
}

TEST_F(ItemMenuTest, ATerminalApplicationRunsInATerminalAndEveryFailureIsShown) {
  // A terminal emulator of our own ($TERMINAL) that runs what follows -e.
  const std::string bin = configHome.path("bin");
  ASSERT_EQ(std::system(("mkdir -p '" + bin + "' '" + configHome.path("data/applications") + "'").c_str()), 0);
  const std::string terminal = bin + "/myterm";
  std::ofstream(terminal) << "#!/bin/sh\n[ \"$1\" = -e ] || exit 1\nshift\n/usr/bin/touch \"" << configHome.path("in-terminal")
                          << "\"\nexec \"$@\"\n";
  const std::string script = configHome.path("mark.sh");
  std::ofstream(script) << "#!/bin/sh\n/usr/bin/touch \"$1.opened\"\n";
  ::chmod(terminal.c_str(), 0755);
  ::chmod(script.c_str(), 0755);
  const std::string apps = configHome.path("data/applications");
  std::ofstream(apps + "/tui.desktop") << "[Desktop Entry]\nType=Application\nName=Tui\nExec=" << script
                                       << " %f\nTerminal=true\nMimeType=text/plain;\n";
  std::ofstream(apps + "/gone.desktop") << "[Desktop Entry]\nType=Application\nName=Gone\n"
                                           "Exec=/nonexistent/program %f\nMimeType=text/plain;\n";
  std::ofstream(apps + "/unknown.desktop") << "[Desktop Entry]\nType=Application\nName=Unknown\n"
                                              "Exec=no-such-program-here %f\nMimeType=text/plain;\n";
  struct Restore {
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    std::optional<std::string> terminal = getenv("TERMINAL") ? std::optional<std::string>(getenv("TERMINAL")) : std::nullopt;
    ~Restore() {
      setenv("PATH", path.c_str(), 1);
      if (terminal)
        setenv("TERMINAL", terminal->c_str(), 1);
      else
        unsetenv("TERMINAL");
    }
  } restore;
  setenv("PATH", bin.c_str(), 1);  // no terminal emulator but ours
  TDiskUsageForm& f = open({t.root()});
  f.NumbersCmd->trigger();
  auto choose = [&](const QString& app, QStringList* offered = nullptr) {
    select({"a.txt"});
    return rightClick([&](TItemMenu& m) -> QAction* {
      QAction* chosen = nullptr;
      for (QAction* a : m.OpenWithActs) {
        if (offered) *offered << a->text();
        if (a->text() == app) chosen = a;
      }
      return chosen;
    });
  };

  // With no terminal emulator the terminal application is not offered.
  unsetenv("TERMINAL");
  QStringList offered;
  choose("", &offered);
  EXPECT_FALSE(offered.contains("Tui")) << offered.join(",").toStdString();
  EXPECT_TRUE(offered.contains("Gone"));

  // With one it runs inside it.
  setenv("TERMINAL", terminal.c_str(), 1);
  offered.clear();
  choose("Tui", &offered);
  EXPECT_TRUE(offered.contains("Tui"));
  EXPECT_TRUE(waitUntil([&] { return exists(t.path("a.txt.opened")); })) << "the application ran on the file";
  EXPECT_TRUE(exists(configHome.path("in-terminal"))) << "inside the terminal";

  // Failures name the application, the item and the reason.
  messages.clear();
  choose("Gone");
  choose("Unknown");
  EXPECT_EQ(messages, (std::vector<QString>{
                          "Error: Cannot start Gone for 'a.txt': \"/nonexistent/program\": No such file or directory.",
                          "Error: Cannot start Unknown for 'a.txt': \"no-such-program-here\" cannot be found."}));
}
