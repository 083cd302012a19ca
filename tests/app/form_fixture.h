#pragma once
// The main window under test: a fixture folder, the window opened on it
// offscreen with every message box recorded instead of shown.
#include <QAction>
#include <QElapsedTimer>
#include <dlfcn.h>
#include <functional>
#include <sys/stat.h>
#include <QApplication>
#include <QItemSelectionModel>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "app/disk_usage_form.h"
#include "platform/message_box.h"
#include "qt_print.h"
#include "temp_tree.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

using testsupport::TempTree;

// Whether anything (a link included) is at path.
inline bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Runs the event loop until done() or the time is up; done() at the end.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QTest::qWait(10);
  return done();
}

// "#,##0" in the locale the tests pin.
inline QString FormatFigureForTest(double v) { return QLocale(QLocale::English, QLocale::UnitedStates).toString(qlonglong(v)); }

inline const std::string kFakeEngine = std::string(FAKES_DIR) + "/fake_engine_scripted.so";

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test its own settings: the window stores its placement at every resize.
    const char* config = getenv("XDG_CONFIG_HOME");
    savedConfigHome = config ? config : "";
    setenv("XDG_CONFIG_HOME", configHome.root().c_str(), 1);
    // And its own trash: nothing a test deletes reaches the user's.
    const char* data = getenv("XDG_DATA_HOME");
    savedDataHome = data ? data : "";
    setenv("XDG_DATA_HOME", configHome.path("data").c_str(), 1);
    // And its own earlier looks at folders.
    const char* state = getenv("XDG_STATE_HOME");
    savedStateHome = state ? state : "";
    setenv("XDG_STATE_HOME", configHome.path("state").c_str(), 1);
    platform::setMessageObserver([this](platform::MessageKind, const QString& caption, const QString& text) {
      messages.push_back(caption + ": " + text);
      return false;
    });
    char buf[4096];
    savedCwd = getcwd(buf, sizeof buf) ? buf : "/";
    t.dir("Alpha");
    t.file("Alpha/x.bin", 5000);
    t.dir("Alpha/y");
    t.file("Alpha/y/z", 10);
    t.dir("beta");  // empty: computed, but no row
    t.file("a.txt", 100);
    t.file("B.txt", 5000);
    t.file("_x", 1);
    t.file("Ax", 2);
    t.file("zero", 0);
    cwdTree.dir("cwd");
    cwdTree.file("cwd/here.txt", 3);
    QCoreApplication::setApplicationName("Tallorin");  // as the main block does
  }
  void TearDown() override {
    form.reset();
    if (auto hook = fakeSymbol<void (*)(void (*)(const char*))>("FakeSetCalcHook")) hook(nullptr);
    platform::setMessageObserver(nullptr);
    for (const char* v : {"FAKE_FAIL_NAME", "FAKE_FAIL_CODE", "FAKE_MAP_DRIVE", "FAKE_DISK_FREE", "FAKE_SIZE_FACTOR",
                          "FAKE_DLG_REPORT", "FAKE_DLG_OPTIONS", "FAKE_DLG_CLUSTERS", "FAKE_DLG_FILESPEC",
                          "FAKE_REPORT_NAME", "FAKE_REPORT_CODE", "FAKE_REPORT_ERROR", "FAKE_FILESPEC_ON", "FAKE_CUSTOM_CLUSTERS_ON",
                          "FAKE_CALC_MS",
                          "FAKE_VANISH_NAME", "FAKE_UNREADABLE_NAME", "FAKE_VOLUME_BY_DEVICE"})
      unsetenv(v);
    [[maybe_unused]] int rc = chdir(savedCwd.c_str());
    setenv("XDG_CONFIG_HOME", savedConfigHome.c_str(), 1);
    if (savedStateHome.empty())
      unsetenv("XDG_STATE_HOME");
    else
      setenv("XDG_STATE_HOME", savedStateHome.c_str(), 1);
    if (savedDataHome.empty())
      unsetenv("XDG_DATA_HOME");
    else
      setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
  }

  // Creates and shows the window, then delivers the after-show message.
  TDiskUsageForm& open(std::vector<std::string> args, std::vector<std::string> engine = {}) {
    TDiskUsageForm::Options o;
    o.arguments = std::move(args);
    o.engineCandidates = std::move(engine);
    form = std::make_unique<TDiskUsageForm>(o);
    EXPECT_TRUE(form->created());
    form->show();
    EXPECT_TRUE(form->currentFolderPath().empty()) << "nothing is computed before the window is up";
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QCoreApplication::sendPostedEvents(form.get(), WM_AFTERSHOW);
    return *form;
  }

  // A function of the scripted engine, once it is loaded; null before.
  template <typename Fn>
  static Fn fakeSymbol(const char* name) {
    void* lib = dlopen(kFakeEngine.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    Fn fn = reinterpret_cast<Fn>(dlsym(lib, name));
    dlclose(lib);  // NOLOAD took one more reference
    return fn;
  }

  std::vector<std::string> rowNames() const {
    std::vector<std::string> out;
    for (int i = 0; i < form->UsageModel->rowCount(); ++i) out.push_back(form->UsageModel->index(i, 0).data().toString().toStdString());
    return out;
  }
  QString cell(const std::string& name, int column) const {
    for (int i = 0; i < form->UsageModel->rowCount(); ++i)
      if (form->UsageModel->index(i, 0).data().toString().toStdString() == name)
        return form->UsageModel->index(i, column).data().toString();
    return "<no row>";
  }
  std::vector<std::string> selectedNames() const {
    std::vector<std::string> out;
    for (int i = 0; i < form->UsageModel->rowCount(); ++i)
      if (form->UsageList->selectionModel()->isRowSelected(i, {})) out.push_back(form->UsageModel->row(i).name());
    return out;
  }
  uint64_t cluster() const {
    struct statvfs sv;
    statvfs(t.root().c_str(), &sv);
    return sv.f_frsize;
  }
  uint64_t roundUp(uint64_t v) const { return (v + cluster() - 1) / cluster() * cluster(); }

  TempTree t, cwdTree, configHome;
  std::string savedConfigHome, savedDataHome, savedStateHome;
  std::unique_ptr<TDiskUsageForm> form;
  std::vector<QString> messages;
  std::string savedCwd;
};

using Names = std::vector<std::string>;

