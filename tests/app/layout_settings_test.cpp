// Layout modes, the View toggles and the settings that bring them back after
// a restart, each test with its own settings file.
#include <QHeaderView>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <sys/stat.h>

#include "form_fixture.h"

using testsupport::readFile;
using testsupport::writeFile;
#include "platform/registry_store.h"
#include "support/app_registry.h"
#include "views/chart_panel.h"
#include "views/status_bar.h"

namespace {

class SettingsTest : public FormTest {
 protected:
  std::string storeFile() const { return platform::RegistryKey::defaultFilePath(); }
  // Writes values into the window's settings key before the window opens.
  void store(const std::vector<std::pair<std::string, platform::RegistryKey::Value>>& values) {
    platform::RegistryKey key(TDiskUsageForm::kSettingsKey);
    for (const auto& [name, value] : values) {
      if (std::holds_alternative<int32_t>(value))
        key.writeInteger(name, std::get<int32_t>(value));
      else
        key.writeString(name, std::get<std::string>(value));
    }
    ASSERT_TRUE(key.save());
  }
  std::optional<int32_t> stored(const std::string& name) const {
    return platform::RegistryKey(TDiskUsageForm::kSettingsKey).readInteger(name);
  }
  void clearStore() { ::unlink(storeFile().c_str()); }
  // The boxes shown so far, one a line.
  std::string said() const {
    std::string out;
    for (const QString& m : messages) out += m.toStdString() + "\n";
    return out;
  }
  QRect screen() const { return QGuiApplication::primaryScreen()->geometry(); }
  // Centred on the primary screen, then kept on it as every layout command does.
  QPoint centred(QSize size) const {
    return QPoint(std::max(0, (screen().width() - size.width()) / 2), std::max(0, (screen().height() - size.height()) / 2));
  }
  // The first start's 1000 x 633, as far as the screen shows it with the
  // frame, centred frame and all (the test screen is 800 pixels wide).
  void expectFirstStartPlace(const TDiskUsageForm& f) const {
    const QSize frame = f.frameGeometry().size() - f.WindowSize();
    EXPECT_EQ(f.WindowSize(), QSize(1000, 633).boundedTo(screen().size() - frame));
    EXPECT_EQ(f.pos(), centred(f.frameGeometry().size())) << "centred";
  }
};

using Placement = std::vector<std::pair<std::string, platform::RegistryKey::Value>>;

// Whether every line of before stands, byte for byte, in after, in the same order.
bool keepsEveryLine(const std::string& before, const std::string& after) {
  size_t at = 0;
  for (size_t pos = 0; pos < before.size();) {
    size_t end = before.find('\n', pos);
    end = end == std::string::npos ? before.size() : end + 1;
    const std::string line = before.substr(pos, end - pos);
    while (at < after.size() && after.compare(at, line.size(), line) != 0) {
      const size_t next = after.find('\n', at);
      if (next == std::string::npos) return false;
      at = next + 1;
    }
    if (at >= after.size()) return false;
    at += line.size();
    pos = end;
  }
  return true;
}

Placement placement(int w, int h, int left, int top, int state, int fullW = 900, int fullH = 600) {
  return {{"Width", w},          {"Height", h},           {"Left", left},          {"Top", top},
          {"FullWidth", fullW}, {"FullHeight", fullH}, {"WindowState", state}};
}

}  // namespace

TEST_F(SettingsTest, AFirstRunOpensCentredSortedByNameWithTheInitialToggles) {
  TDiskUsageForm& f = open({t.root()});
  expectFirstStartPlace(f);
  EXPECT_EQ(f.SortColumn, 0);
  EXPECT_TRUE(f.SortAscending);
  for (QAction* a : {f.ToolBarCmd, f.StatusBarCmd, f.TreeViewCmd, f.HintsCmd}) EXPECT_TRUE(a->isChecked()) << a->text().toStdString();
  EXPECT_FALSE(f.StayOnTopCmd->isChecked());
  EXPECT_TRUE(f.ListAndTotalsCmd->isChecked());
  EXPECT_TRUE(f.ListAndTotalsBtn->isChecked());
  EXPECT_TRUE(f.ChartCmd->isChecked());
  EXPECT_FALSE(f.SaveSettingsOnExitCmd->isChecked());
  EXPECT_EQ(f.TreeView->width(), 250);
  EXPECT_EQ(f.ToolBar->height(), 30);
}

TEST_F(SettingsTest, ThePlacementGroupIsUsedWholeOrNotAtAll) {
  struct Case {
    const char* what;
    Placement values;
    bool used;
    Qt::WindowStates state;
  } cases[] = {
      {"all seven", placement(700, 500, 10, 20, 0), true, Qt::WindowNoState},
      {"no Top", {{"Width", 700}, {"Height", 500}, {"Left", 10}, {"FullWidth", 1}, {"FullHeight", 1}, {"WindowState", 0}},
       false, Qt::WindowNoState},
      {"a string where a number belongs",
       {{"Width", std::string("700")}, {"Height", 500}, {"Left", 10}, {"Top", 20}, {"FullWidth", 1}, {"FullHeight", 1},
        {"WindowState", 0}},
       false, Qt::WindowNoState},
      {"state 3", placement(700, 500, 10, 20, 3), true, Qt::WindowNoState},
      {"state 4", placement(700, 500, 10, 20, 4), true, Qt::WindowNoState},
      {"state 255", placement(700, 500, 10, 20, 255), true, Qt::WindowNoState},
      {"state 258: its low byte says maximised", placement(700, 500, 10, 20, 258), true, Qt::WindowMaximized},
      {"a width below the minimum is raised", placement(100, 500, 10, 20, 0), true, Qt::WindowNoState},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clearStore();
    store(c.values);
    TDiskUsageForm& f = open({t.root()});
    if (c.state == Qt::WindowMaximized) {
      EXPECT_TRUE(f.windowState() & Qt::WindowMaximized);
    } else if (c.used) {
      EXPECT_EQ(f.pos(), QPoint(10, 20));
      EXPECT_EQ(f.WindowSize().width(), std::string(c.what).find("below") == std::string::npos ? 700 : f.MinFormWidth());
      EXPECT_EQ(f.WindowSize().height(), 500);
      EXPECT_FALSE(f.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized));
    } else {
      expectFirstStartPlace(f);
    }
    form.reset();
  }
}

TEST_F(SettingsTest, AWindowOffTheScreenIsPulledBackOntoIt) {
  store(placement(700, 400, screen().width() + 500, -300, 0));
  TDiskUsageForm& f = open({t.root()});
  EXPECT_EQ(f.pos(), QPoint(screen().width() - f.frameGeometry().width(), 0)) << "the frame as well";
}

TEST_F(SettingsTest, TheViewAndSortValuesAndTheirDefaults) {
  struct Case {
    Placement values;
    int sortColumn;
    bool ascending;
    QAction* TDiskUsageForm::*mode;
    bool chart;
  } cases[] = {
      {{{"Hints", 1}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},  // key present: the table's defaults
      {{{"View", 0}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},
      {{{"View", 4}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},
      {{{"View", 2}, {"ChartVisible", 1}}, 1, false, &TDiskUsageForm::ListOnlyCmd, true},
      {{{"SortColumn", 5}, {"SortOrder", 1}}, 5, true, &TDiskUsageForm::ListAndTotalsCmd, false},
      {{{"SortColumn", 9}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},   // outside 0..5
      {{{"SortColumn", -1}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},
      {{{"SortColumn", std::string("2")}}, 1, false, &TDiskUsageForm::ListAndTotalsCmd, false},
  };
  for (const Case& c : cases) {
    clearStore();
    store(c.values);
    TDiskUsageForm& f = open({t.root()});
    EXPECT_EQ(f.SortColumn, c.sortColumn);
    EXPECT_EQ(f.SortAscending, c.ascending);
    EXPECT_TRUE(f.SortColumnCmds[c.sortColumn]->isChecked());
    EXPECT_TRUE((f.*c.mode)->isChecked());
    EXPECT_EQ(f.ChartPanel->isVisible(), c.chart);
    EXPECT_EQ(f.UsageList->isVisible(), !c.chart);
    form.reset();
  }
}

TEST_F(SettingsTest, TogglesAndWidthsComeBackAfterARestart) {
  TDiskUsageForm& f = open({t.root()});
  f.ToolBarCmd->trigger();
  f.TreeViewCmd->trigger();
  f.HintsCmd->trigger();
  f.NumbersCmd->trigger();
  f.UsageListColumnClick(2);  // file bytes, ascending
  f.UsageListColumnClick(2);  // descending
  f.UsageList->header()->resizeSection(0, 333);
  f.SaveSettingsNowCmd->trigger();
  form.reset();

  TDiskUsageForm& g = open({t.root()});
  EXPECT_FALSE(g.ToolBarCmd->isChecked());
  EXPECT_FALSE(g.ToolBar->isVisible());
  EXPECT_FALSE(g.TreeViewCmd->isChecked());
  EXPECT_FALSE(g.TreeView->isVisible());
  EXPECT_TRUE(g.Splitter->isVisible()) << "only the tree hides";
  EXPECT_FALSE(g.HintsCmd->isChecked());
  EXPECT_TRUE(g.StatusBarCmd->isChecked());
  EXPECT_TRUE(g.NumbersCmd->isChecked());
  EXPECT_TRUE(g.UsageList->isVisible());
  EXPECT_EQ(g.SortColumn, 2);
  EXPECT_FALSE(g.SortAscending);
  EXPECT_EQ(g.UsageList->header()->sectionSize(0), 333);
  EXPECT_EQ(stored("ToolBar"), 0);
  EXPECT_EQ(stored("Hints"), 0);
}

TEST_F(SettingsTest, SaveOnExitIsStoredOnlyByAFullSave) {
  store({{"SaveOnExit", 1}});
  TDiskUsageForm& f = open({t.root()});
  EXPECT_TRUE(f.SaveSettingsOnExitCmd->isChecked());
  f.SaveSettingsOnExitCmd->trigger();  // off, then exit: nothing is stored
  EXPECT_FALSE(f.SaveSettingsOnExitCmd->isChecked());
  f.TreeViewCmd->trigger();
  f.ExitCmdClick();
  form.reset();
  EXPECT_EQ(stored("SaveOnExit"), 1);
  EXPECT_EQ(stored("TreeView"), std::nullopt);

  TDiskUsageForm& g = open({t.root()});
  EXPECT_TRUE(g.SaveSettingsOnExitCmd->isChecked()) << "checked again at the next start";
  g.TreeViewCmd->trigger();  // checked on exit: stored
  g.ExitCmdClick();
  form.reset();
  EXPECT_EQ(stored("TreeView"), 0);

  TDiskUsageForm& h = open({t.root()});
  h.SaveSettingsOnExitCmd->trigger();
  h.SaveSettingsNowCmd->trigger();  // off, and saved now: it stays off
  form.reset();
  EXPECT_EQ(stored("SaveOnExit"), 0);
}

TEST_F(SettingsTest, EveryResizeStoresThePlacementWhateverTheSaveOptions) {
  TDiskUsageForm& f = open({t.root()});
  f.resize(900, 500);
  QCoreApplication::processEvents();
  EXPECT_EQ(stored("Width"), f.WindowSize().width());
  EXPECT_EQ(stored("Height"), 500);
  EXPECT_EQ(stored("WindowState"), 0);
  EXPECT_EQ(stored("Hints"), std::nullopt) << "the rest only on a full save";
}

TEST_F(SettingsTest, TheLayoutModesAndTheirSizes) {
  TDiskUsageForm& f = open({t.root()});
  f.resize(760, 560);  // within the screen, which limits the size to come back to
  QCoreApplication::processEvents();
  const QSize full = f.WindowSize();
  const int menu = f.menuBar()->sizeHint().height();
  EXPECT_EQ(f.MinFormHeight(), menu + 45 + TStatusBar::kHeight + 30);
  EXPECT_EQ(f.MinFormWidth(), 541);

  f.TotalsOnlyCmd->trigger();
  EXPECT_TRUE(f.TotalsOnlyCmd->isChecked());
  EXPECT_FALSE(f.DetailsPanel->isVisible());
  EXPECT_TRUE(f.StatPanel->isVisible());
  EXPECT_FALSE(f.ToolBar->isVisible());
  EXPECT_FALSE(f.ToolBarCmd->isEnabled());
  EXPECT_TRUE(f.ToolBarCmd->isChecked()) << "its mark stays";
  EXPECT_EQ(f.WindowSize(), QSize(541, menu + 45 + TStatusBar::kHeight));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "not resizable in totals only";
  EXPECT_EQ(f.FullWidth, full.width());
  EXPECT_EQ(f.FullHeight, full.height());

  // The status bar in totals only: the window follows by the bar's height.
  f.StatusBarCmd->trigger();
  EXPECT_EQ(f.WindowSize().height(), menu + 45);
  f.StatusBarCmd->trigger();
  EXPECT_EQ(f.WindowSize().height(), menu + 45 + TStatusBar::kHeight);

  f.ListOnlyCmd->trigger();
  EXPECT_EQ(f.WindowSize(), full) << "back to its former size";
  EXPECT_TRUE(f.DetailsPanel->isVisible());
  EXPECT_FALSE(f.StatPanel->isVisible());
  EXPECT_TRUE(f.ToolBar->isVisible());
  EXPECT_TRUE(f.ListOnlyBtn->isChecked());
  EXPECT_FALSE(f.ListAndTotalsBtn->isChecked());
  EXPECT_EQ(f.minimumWidth(), 0) << "in detail only the window may be as narrow as the desktop allows";

  QTest::mouseClick(f.ListAndTotalsBtn, Qt::LeftButton);
  EXPECT_TRUE(f.ListAndTotalsCmd->isChecked());
  EXPECT_TRUE(f.StatPanel->isVisible());
  EXPECT_EQ(f.minimumWidth(), 541);
  EXPECT_EQ(f.WindowSize(), full) << "choosing the active mode again changes no size";
}

TEST_F(SettingsTest, AWindowClosedInTotalsOnlyReopensThereAndReturnsToItsFullSize) {
  TDiskUsageForm& f = open({t.root()});
  f.resize(740, 590);
  QCoreApplication::processEvents();
  f.TotalsOnlyCmd->trigger();
  f.SaveSettingsOnExitCmd->trigger();
  f.ExitCmdClick();
  form.reset();
  EXPECT_EQ(stored("View"), 3);

  TDiskUsageForm& g = open({t.root()});
  EXPECT_TRUE(g.TotalsOnlyCmd->isChecked());
  EXPECT_FALSE(g.DetailsPanel->isVisible());
  EXPECT_EQ(g.WindowSize().width(), 541);
  g.ListAndTotalsCmd->trigger();
  EXPECT_EQ(g.WindowSize(), QSize(740, 590));
}

TEST_F(SettingsTest, HintsOffSuppressesEveryToolTip) {
  TDiskUsageForm& f = open({t.root()});
  int shown = 0;
  struct Counter : QObject {
    int* n;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::ToolTip) ++*n;
      return false;
    }
  } counter;
  counter.n = &shown;
  for (QWidget* w : std::vector<QWidget*>{f.RefreshBtn, f.MapDrivePanel, f.UsageChart, f.StatusBar}) {
    w->installEventFilter(&counter);
    QHelpEvent on(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &on);
  }
  EXPECT_EQ(shown, 4) << "with hints on, each control gets its tool tip event";
  f.HintsCmd->trigger();
  EXPECT_FALSE(f.HintsCmd->isChecked());
  shown = 0;
  for (QWidget* w : std::vector<QWidget*>{f.RefreshBtn, f.MapDrivePanel, f.UsageChart, f.StatusBar}) {
    QHelpEvent off(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &off);
  }
  EXPECT_EQ(shown, 0) << "no control sees a tool tip event";
}

TEST_F(SettingsTest, StayOnTopNeitherMovesNorResizesTheWindow) {
  TDiskUsageForm& f = open({t.root()});
  const QRect before = f.geometry();
  f.StayOnTopCmd->trigger();
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.geometry(), before);
  f.StayOnTopCmd->trigger();
  EXPECT_FALSE(f.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(f.geometry(), before);
}

TEST_F(SettingsTest, ADamagedSettingsFileReadsAsMissingValuesNeverACrash) {
  // A valid file with every kind of value, then many mutations of it.
  store({{"Width", 800}, {"Height", 500}, {"Left", 1}, {"Top", 2}, {"FullWidth", 3}, {"FullHeight", 4},
         {"WindowState", 0}, {"Hints", 0}, {"View", 2}, {"SortColumn", 4}, {"Note", std::string("a \"quoted\" text")}});
  std::string valid;
  {
    std::ifstream in(storeFile(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    valid = s.str();
  }
  ASSERT_FALSE(valid.empty());
  std::mt19937 random(7);
  auto write = [&](const std::string& text) { std::ofstream(storeFile(), std::ios::binary | std::ios::trunc) << text; };
  for (int round = 0; round < 400; ++round) {
    std::string text = valid;
    switch (round % 5) {
      case 0: text.resize(random() % text.size()); break;                                   // truncated
      case 1: for (int i = 0; i < 8; ++i) text[random() % text.size()] = char(random()); break;  // bytes changed
      case 2: text.insert(random() % text.size(), std::string(1 + random() % 40, char(random()))); break;
      case 3: text += text.substr(text.find('[')); break;                                  // the key twice
      case 4: {                                                                             // a value of another type
        const auto at = text.find("dword:");
        if (at != std::string::npos) text.replace(at, 14, "\"not a number\"");
        break;
      }
    }
    write(text);
    TAppRegistry reg;
    if (reg.OpenKey(TDiskUsageForm::kSettingsKey, false)) {
      (void)reg.ReadIntegerDefault("Width", 0);
      (void)reg.ReadBoolDefault("Hints", true);
    }
    reg.CloseKey();
  }
  // And the window on a few of them: it opens, with sane values.
  for (int round = 0; round < 6; ++round) {
    std::string text = valid;
    for (int i = 0; i < 12; ++i) text[random() % text.size()] = char(random());
    write(text);
    TDiskUsageForm& f = open({t.root()});
    EXPECT_GE(f.SortColumn, 0);
    EXPECT_LE(f.SortColumn, 5);
    EXPECT_GE(f.WindowSize().width(), f.MinFormWidth());
    form.reset();
  }
}

TEST(AppRegistry, ReadsFallBackAndWritesAreTyped) {
  TempTree dir;
  const std::string file = dir.path("store.reg");
  TAppRegistry reg(file);
  EXPECT_FALSE(reg.OpenKey("\\SOFTWARE\\Test", false)) << "a missing key does not open without create";
  EXPECT_EQ(reg.ReadIntegerDefault("X", 7), 7);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Test", true));
  reg.WriteInteger("X", -5);
  reg.WriteBool("B", true);
  EXPECT_TRUE(reg.CloseKey());
  TAppRegistry again(file);
  ASSERT_TRUE(again.OpenKey("\\SOFTWARE\\Test", false));
  EXPECT_EQ(again.ReadIntegerDefault("X", 0), -5);
  EXPECT_TRUE(again.ReadBoolDefault("B", false));
  EXPECT_FALSE(again.ReadBoolDefault("missing", false));
  EXPECT_EQ(again.ReadInteger("missing"), std::nullopt);
  again.CloseKey();
  // A store that cannot be written: the close says so and nothing changes.
  TAppRegistry blocked(dir.path("no-such-folder/and/below/store.reg"));
  ::chmod(dir.root().c_str(), 0500);
  if (!testsupport::runningAsRoot()) {
    ASSERT_TRUE(blocked.OpenKey("\\SOFTWARE\\Test", true));
    blocked.WriteInteger("X", 1);
    EXPECT_FALSE(blocked.CloseKey());
  }
  ::chmod(dir.root().c_str(), 0700);
}

TEST_F(SettingsTest, AStoreThatCannotBeWrittenWarnsOnceForThePlacementAndEveryFullSave) {
  // A file where the settings' folder should be: no file can be made there.
  writeFile(configHome.root() + "/tallorin", "");
  TDiskUsageForm& f = open({t.root()});
  for (int w : {900, 910, 920}) {
    f.resize(w, 600);
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(std::count(messages.begin(), messages.end(), QString("Warning: Unable to save view settings.")), 1)
      << "one warning a run, not one per resize step";
  messages.clear();
  f.SaveSettingsNowCmd->trigger();
  f.SaveSettingsNowCmd->trigger();
  EXPECT_EQ(messages, (std::vector<QString>{"Error: Unable to save view settings.", "Error: Unable to save view settings."}));
  ::unlink((configHome.root() + "/tallorin").c_str());
}

TEST_F(SettingsTest, AStoredNameColumnWidthShowsItsHeaderWholeAndLeavesTheOtherColumnsOnTheScreen) {
  // A damaged or hand-edited width: "Name" and its sort arrow stay readable.
  // 0 or less, or a width past the screen's (which pushed the figures out of
  // reach), is none: the first start's width.
  const int first = TDiskUsageForm::kListNameWidth;
  struct Case {
    const char* what;
    int32_t stored;
    int expected;  // -1: the header's own width
  } cases[] = {{"most negative", INT32_MIN, first}, {"zero", 0, first},  {"5 pixels", 5, -1},
               {"2^31 - 1", INT32_MAX, first},     {"100000", 100000, first}, {"a user's", 333, 333}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clearStore();
    store({{"LVNameWidth", c.stored}, {"ChartVisible", 0}});
    TDiskUsageForm& f = open({t.root()});
    QHeaderView* h = f.UsageList->header();
    const QFontMetrics m(h->font());
    EXPECT_GE(h->sectionSize(0), m.horizontalAdvance(QStringLiteral("Name"))) << "the header text";
    EXPECT_GE(h->sectionSize(0), h->sectionSizeHint(0));
    EXPECT_EQ(h->sectionSize(0), c.expected < 0 ? h->sectionSizeHint(0) : c.expected);
    form.reset();
  }
}

// Settings files as a user leaves them after editing them by hand, and as
// they come out damaged: what the window reads, what it tells, and what a
// resize (the placement), a full save and the engine's save make of the file.
TEST_F(SettingsTest, HandEditedAndDamagedSettingsFiles) {
  const std::string settings =
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n"
      "\"ToolBar\" = dword:0\n"
      "\"Hints\"=dword:00000000\n"
      "\"Note\"=\"mine\"\n"
      "\"Blob\"=hex:01,02\n";
  const std::string engine =
      "\n; the engine's options\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Engine]\n"
      "\"FileSpecOn\"=dword:00000000\n"
      "\"FileSpec\"=\"*.txt\"\n"
      "\"ClusterD\"=dword:00002000\n"
      "\"DriveD\"=\"/srv\"\n"
      "\"DriveQ\"=\"not a folder\"\n";
  enum class After { Kept, SetAside, Untouched };
  struct Case {
    const char* what;
    std::string text;  // "<pipe>": a pipe where the file should be
    bool read;         // the hand-written values are in force
    const char* told;  // what the one box says, or nothing
    After after;
  } cases[] = {
      {"mark, comment, version 5 header", "\xEF\xBB\xBF; by hand\nWindows Registry Editor Version 5.00\n\n" + settings + engine,
       true, nullptr, After::Kept},
      {"blank lines, REGEDIT4, CRLF",
       "\r\n\r\nREGEDIT4\r\n" + std::regex_replace(settings + engine, std::regex("\n"), "\r\n"), true, nullptr, After::Kept},
      {"a broken section line", "REGEDIT4\n\n" + settings + "[oops\n\"Hints\"=dword:00000001\n" + engine, true, nullptr,
       After::Kept},
      {"no header", settings + engine, false, "is not one Tallorin can read", After::SetAside},
      {"UTF-16", std::string("\xFF\xFER\0E\0G\0", 8), false, "is not one Tallorin can read", After::SetAside},
      {"a pipe", "<pipe>", false, "cannot be read", After::Untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clearStore();
    ::unlink((storeFile() + ".damaged").c_str());
    ::mkdir((configHome.root() + "/tallorin").c_str(), 0700);
    if (c.text == "<pipe>") {
      ASSERT_EQ(::mkfifo(storeFile().c_str(), 0644), 0);
    } else {
      writeFile(storeFile(), c.text);
      ASSERT_EQ(::chmod(storeFile().c_str(), 0644), 0);
    }
    messages.clear();
    TDiskUsageForm& f = open({t.root()});
    EXPECT_EQ(f.HintsCmd->isChecked(), !c.read);
    EXPECT_EQ(f.ToolBarCmd->isChecked(), !c.read);
    if (c.told) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_TRUE(messages[0].startsWith("Warning: ")) << said();
      EXPECT_TRUE(messages[0].contains(c.told)) << said();
      EXPECT_TRUE(messages[0].contains(QString::fromStdString(c.after == After::SetAside ? storeFile() + ".damaged" : storeFile())))
          << "the box names the file: " << said();
    } else {
      EXPECT_TRUE(messages.empty()) << said();
    }
    messages.clear();
    f.resize(700, 500);
    QCoreApplication::processEvents();
    f.HintsCmd->trigger();
    f.HintsCmd->trigger();  // as it was: the full save writes what is stored
    f.SaveSettingsNowCmd->trigger();
    form.reset();

    struct stat st;
    ASSERT_EQ(::lstat(storeFile().c_str(), &st), 0);
    const std::string now = S_ISREG(st.st_mode) ? readFile(storeFile()) : std::string();
    switch (c.after) {
      case After::Kept:
        EXPECT_TRUE(messages.empty()) << said();
        EXPECT_TRUE(keepsEveryLine(c.text, now)) << "every hand-written line stays:\n" << now;
        EXPECT_EQ(st.st_mode & 07777, 0644u) << "the mode stays";
        EXPECT_EQ(stored("Width"), 700);
        EXPECT_EQ(platform::RegistryKey("\\SOFTWARE\\Quorlan\\Tallorin\\Engine").readString("FileSpec"), "*.txt");
        EXPECT_EQ(platform::RegistryKey("\\SOFTWARE\\Quorlan\\Tallorin\\Engine").readString("DriveQ"), "not a folder");
        break;
      case After::SetAside:
        EXPECT_TRUE(messages.empty()) << said();
        EXPECT_EQ(readFile(storeFile() + ".damaged"), c.text) << "the damaged file is kept whole";
        EXPECT_EQ(stored("Width"), 700) << "and the settings are saved afresh";
        EXPECT_EQ(stored("Hints"), 1);
        break;
      case After::Untouched:
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "nothing was saved over it";
        EXPECT_EQ(messages, std::vector<QString>{"Error: Unable to save view settings."})
            << "the save the user asked for fails; the resizes say nothing more";
        break;
    }
  }
  ::unlink(storeFile().c_str());
}

TEST_F(SettingsTest, ExtremeStoredNumbersOpenASaneWindow) {
  const char* names[] = {"Width",     "Height",    "Left",      "Top",        "FullWidth",    "FullHeight", "WindowState",
                         "TreeViewWidth", "LVNameWidth", "ToolBar", "StatusBar", "TreeView", "Hints", "StayOnTop",
                         "SaveOnExit", "ChartVisible", "View", "SortOrder", "SortColumn"};
  const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1, 2, 3, 255, 258, 32767, 65536,
                              INT32_MAX - 1, INT32_MAX};
  std::mt19937 random(27);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (int round = 0; round < 24; ++round) {
    Placement values;
    for (const char* name : names) {
      // The first rounds put one number everywhere, the others mix them.
      const size_t pick = round < 14 ? round : random() % (std::size(extremes) + 1);
      values.emplace_back(name, pick < std::size(extremes) ? extremes[pick] : static_cast<int32_t>(random()));
    }
    SCOPED_TRACE(round);
    clearStore();
    store(values);
    // Opened on them, and again on what the window stores of them.
    for (int start = 0; start < 2; ++start) {
      TDiskUsageForm& f = open({t.root()});
      EXPECT_GE(f.SortColumn, 0);
      EXPECT_LE(f.SortColumn, 5);
      EXPECT_LE(f.WindowSize().width(), area.width());
      EXPECT_LE(f.WindowSize().height(), area.height());
      if (!(f.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        EXPECT_TRUE(area.contains(f.frameGeometry())) << f.frameGeometry().x() << "," << f.frameGeometry().y() << " "
                                                      << f.frameGeometry().width() << "x" << f.frameGeometry().height();
      EXPECT_LE(f.TreeView->width(), f.width());
      EXPECT_LE(f.UsageList->header()->sectionSize(0), area.width());
      f.SaveSettingsNowCmd->trigger();
      form.reset();
    }
  }
}
