// Every item of the folder is there with its own figures and date, and the
// status bar describes the volume of the folder shown.
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <functional>
#include <linux/capability.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "form_fixture.h"
#include "model/directory_list.h"
#include "views/figure_format.h"
#include "support/fs_change_notifier.h"
#include "views/status_bar.h"

TEST_F(FormTest, FilesDatedBefore1970ShowTheirOwnDate) {
  constexpr int64_t k1950 = -618321600;  // 1950-06-15 12:00:00 UTC
  t.file("old.txt", 10, k1950);
  t.dir("oldies");
  t.file("oldies/in", 10, k1950);
  t.setMtime("oldies", k1950);
  open({t.root()});
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  const uint64_t ft = uint64_t(k1950 + 11644473600LL) * 10000000ULL;
  for (const char* name : {"old.txt", "oldies"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(cell(name, 5), DateText(ft, us));
    EXPECT_TRUE(cell(name, 5).contains("1950")) << cell(name, 5).toStdString();
  }
}

namespace {

// Drops, for this thread, the capabilities that let root read any folder,
// and gives them back at the end of the scope. The engine opens the folder
// it is asked about on the calling thread, so it sees what a user sees.
class WithoutReadAnything {
 public:
  WithoutReadAnything() {
    if (::geteuid() != 0) return;  // a user reads no mode-000 folder anyway
    m_header.version = _LINUX_CAPABILITY_VERSION_3;
    m_header.pid = 0;
    if (::syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) lowered[cap / 32].effective &= ~(1u << (cap % 32));
    m_dropped = ::syscall(SYS_capset, &m_header, lowered) == 0;
  }
  ~WithoutReadAnything() {
    if (m_dropped) ::syscall(SYS_capset, &m_header, m_saved);
  }
  bool ok() const { return m_dropped || ::geteuid() != 0; }

 private:
  __user_cap_header_struct m_header{};
  __user_cap_data_struct m_saved[2]{};
  bool m_dropped = false;
};

}  // namespace

TEST_F(FormTest, AnUnreadableSubFolderKeepsItsRowAndCountsAsAFolder) {
  // With the engine stand-in answering as for an unreadable folder.
  setenv("FAKE_UNREADABLE_NAME", "beta", 1);
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  EXPECT_EQ(cell("beta", 1), "0");
  EXPECT_EQ(cell("beta", 3), "1");
  EXPECT_EQ(cell("beta", 4), "0");
  const int row = [&] {
    for (int i = 0; i < f.UsageModel->rowCount(); ++i)
      if (f.UsageModel->row(i).name() == "beta") return i;
    return -1;
  }();
  ASSERT_GE(row, 0);
  EXPECT_TRUE(f.UsageModel->index(row, 0).data(Qt::FontRole).value<QFont>().italic());
  EXPECT_TRUE(f.UsageModel->index(row, 0).data(Qt::ToolTipRole).toString().contains("could not be read"));
  EXPECT_FALSE(f.UsageModel->index(0, 0).data(Qt::FontRole).value<QFont>().italic() && row != 0);
}

TEST_F(FormTest, AnUnreadableSubFolderKeepsItsRowWithTheRealEngine) {
  TempTree u;
  u.dir("locked", 0);
  u.dir("open");
  u.file("open/inside", 10);
  u.file("plain", 3);
  form.reset();
  {
    WithoutReadAnything dropped;
    if (!dropped.ok()) GTEST_SKIP() << "cannot drop the capabilities to read any folder";
    open({u.root()});
  }
  EXPECT_EQ(rowNames(), (Names{"locked", "open", "plain"}));
  EXPECT_EQ(cell("locked", 3), "1") << "the folder itself, its contents unknown";
  EXPECT_EQ(cell("locked", 4), "0");
  EXPECT_EQ(form->DirectoriesValLabel->text(), "1");
  EXPECT_EQ(form->statusPanelText(0), "3 items");
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(form->statusPanelText(2), ClusterText(static_cast<int32_t>(cluster()), us))
      << "the volume's figures, not those of a folder that told nothing";
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, TheStatusBarDescribesTheVolumeOfTheFolderShown) {
  // An engine that answers with the figures of each path's own volume; in
  // "/", /proc is a mount point, computed last here.
  setenv("FAKE_VOLUME_BY_DEVICE", "1", 1);
  struct stat root, proc;
  ASSERT_EQ(::stat("/", &root), 0);
  if (::stat("/proc", &proc) != 0 || proc.st_dev == root.st_dev) GTEST_SKIP() << "/proc is no mount point here";
  TDiskUsageForm& f = open({"/"}, {kFakeEngine});
  const QString rootFs = QString::fromStdString("dev" + std::to_string(static_cast<unsigned long long>(root.st_dev)));
  EXPECT_EQ(f.statusPanelText(3), rootFs);
  TDirectoryList listing;
  for (const char* name : {"etc", "usr", "proc"}) {
    struct stat st;
    if (::lstat((std::string("/") + name).c_str(), &st) != 0) continue;
    listing.Add(std::make_unique<TDirectoryItem>(std::string("/") + name, S_ISDIR(st.st_mode) ? kFileAttributeDirectory : 0u));
  }
  f.ComputeUsage(listing);
  EXPECT_EQ(f.statusPanelText(3), rootFs) << "not the file system of /proc";
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(f.statusPanelText(1), FreeSpaceText(int32_t(root.st_dev % 1000000) + 1, 2000000, 1024, us));
}

TEST_F(FormTest, TheStatusBarOfAFolderOfMountPointsIsTheFoldersOwn) {
  // The real engine in /sys/fs/cgroup, a tmpfs holding cgroup mounts only.
  struct statfs sf;
  if (::statfs("/sys/fs/cgroup", &sf) != 0 || sf.f_type != TMPFS_MAGIC)
    GTEST_SKIP() << "/sys/fs/cgroup is no tmpfs of mount points here";
  TDiskUsageForm& f = open({"/sys/fs/cgroup"});
  EXPECT_EQ(f.statusPanelText(3), "tmpfs");
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, AnUnreadableRowSaysWhetherNoneOrSomeOfItCouldBeRead) {
  TempTree u;
  u.dir("locked", 0);
  u.dir("open");
  u.file("open/inside", 10);
  // A folder read whole, whose one sub-folder could not be: the engine gives
  // the same figures as for "locked" (Dirs 1, 0 files, one unreadable
  // folder), as the stand-in does for it.
  u.dir("beta");
  struct Case {
    const char* what;
    std::string engine;
    std::string name;
    const char* says;
    const char* saysNot;
  } cases[] = {
      {"none of it", "", "locked", "This folder could not be read", "Some of"},
      {"only a sub-folder", kFakeEngine, "beta", "Some of this folder could not be read", "This folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.engine.empty()) setenv("FAKE_UNREADABLE_NAME", "beta", 1);
    form.reset();
    {
      WithoutReadAnything dropped;
      if (!dropped.ok()) GTEST_SKIP() << "cannot drop the capabilities to read any folder";
      open({u.root()}, c.engine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.engine});
    }
    int row = -1;
    for (int i = 0; i < form->UsageModel->rowCount(); ++i)
      if (form->UsageModel->row(i).name() == c.name) row = i;
    ASSERT_GE(row, 0);
    EXPECT_EQ(cell(c.name, 3), "1");
    EXPECT_EQ(cell(c.name, 4), "0");
    const QString tip = form->UsageModel->index(row, 0).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(c.says)) << tip.toStdString();
    EXPECT_FALSE(tip.contains(c.saysNot)) << tip.toStdString();
    EXPECT_TRUE(form->UsageModel->index(row, 0).data(Qt::FontRole).value<QFont>().italic());
    unsetenv("FAKE_UNREADABLE_NAME");
  }
}

namespace {

// A folder that may be listed but not entered: its names can be read, but
// nothing can be looked at (mode 644, holding a file).
void makeListedNotEntered(TempTree& u, const std::string& rel) {
  u.dir(rel);
  u.file(rel + "/f", 10);
  ASSERT_EQ(::chmod(u.path(rel).c_str(), 0644), 0);
}

}  // namespace

TEST_F(FormTest, AFolderListedButNotEnteredKeepsItsRowAndCountsAsAFolder) {
  TempTree u;
  makeListedNotEntered(u, "h");
  u.dir("open");
  u.file("open/inside", 10);
  form.reset();
  {
    // The window and its engine made here: the engine's own threads keep
    // the rights of the thread that started them.
    WithoutReadAnything dropped;
    if (!dropped.ok()) GTEST_SKIP() << "cannot drop the capabilities to read any folder";
    open({u.root()});
  }
  EXPECT_EQ(rowNames(), (Names{"h", "open"}));
  EXPECT_EQ(cell("h", 3), "1") << "the folder itself, its contents unknown";
  EXPECT_EQ(cell("h", 4), "0");
  EXPECT_EQ(form->DirectoriesValLabel->text(), "1");
  int row = -1;
  for (int i = 0; i < form->UsageModel->rowCount(); ++i)
    if (form->UsageModel->row(i).name() == "h") row = i;
  ASSERT_GE(row, 0);
  EXPECT_TRUE(form->UsageModel->index(row, 0).data(Qt::FontRole).value<QFont>().italic());
  const QString tip = form->UsageModel->index(row, 0).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.contains("This folder could not be read")) << tip.toStdString();
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormTest, AFolderThatCannotBeReadIsShownAsSuchWithItsVolumesFigures) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  struct Case {
    const char* what;
    bool listed;  // its names can be read (mode 644), else nothing (mode 000)
  } cases[] = {{"listed but not entered", true}, {"not even listed", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempTree u;
    if (c.listed)
      makeListedNotEntered(u, "shut");
    else
      u.dir("shut", 0);
    form.reset();
    messages.clear();
    // However it is computed again it says so, not "0 items" as for an
    // empty folder: F5, and a change on the disk.
    const std::pair<const char*, std::function<void()>> refreshes[] = {
        {"opened", [&] { open({u.path("shut")}); }},
        {"F5",
         [&] {
           int refreshes = 0;
           QObject::connect(form->RefreshCmd, &QAction::triggered, form.get(), [&refreshes] { ++refreshes; });
           form->activateWindow();
           QTest::keyClick(form->UsageList, Qt::Key_F5);
           EXPECT_EQ(refreshes, 1) << "F5 refreshes";
         }},
        {"a change on the disk", [&] { form->ShellChangeNotifierChange(TFSChangeNotifier::kUpdateItem); }},
    };
    std::vector<QString> says;
    {
      WithoutReadAnything dropped;
      if (!dropped.ok()) GTEST_SKIP() << "cannot drop the capabilities to read any folder";
      for (const auto& [how, refresh] : refreshes) {
        refresh();
        says.push_back(form->statusPanelText(0));
      }
    }
    for (size_t i = 0; i < says.size(); ++i) EXPECT_EQ(says[i], "Folder could not be read") << refreshes[i].first;
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages.front().toStdString());
    EXPECT_EQ(form->UsageModel->rowCount(), 0) << "no row for an entry that cannot be sized";
    EXPECT_EQ(form->statusPanelText(2), ClusterText(static_cast<int32_t>(cluster()), us));
    EXPECT_NE(form->statusPanelText(1), FreeSpaceText(0, 0, 1, us));
    EXPECT_FALSE(form->statusPanelText(1).isEmpty());
    EXPECT_FALSE(form->statusPanelText(3).isEmpty()) << "the file system's name";
    EXPECT_GE(form->StatusBar->panelWidth(0), form->StatusBar->neededWidth(form->statusPanelText(0)));
  }
}
