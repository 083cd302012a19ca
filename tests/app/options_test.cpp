// The report and option commands in the window, with an engine whose dialogs
// and results the test chooses: the wait window, the messages, the drive
// index, the check marks and the file specification button.
#include <QLabel>
#include <QToolButton>
#include <dlfcn.h>

#include "form_fixture.h"
#include "support/report_wait_form.h"
#include "views/gauge.h"

namespace {

int32_t fakeCall(const char* name) {
  void* lib = dlopen(kFakeEngine.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return -99999;
  auto fn = reinterpret_cast<int32_t (*)()>(dlsym(lib, name));
  const int32_t v = fn ? fn() : -99999;
  dlclose(lib);
  return v;
}

// Counts the wait windows shown, and whether one was on screen at a moment.
struct WaitWindows : QObject {
  int shown = 0;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show && qobject_cast<TReportWaitForm*>(o)) ++shown;
    return false;
  }
  static bool onScreen() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<TReportWaitForm*>(w) && w->isVisible()) return true;
    return false;
  }
};

}  // namespace

TEST_F(FormTest, AReportGoesThroughTheEngineBehindTheWaitWindow) {
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  WaitWindows waits;
  qApp->installEventFilter(&waits);
  const QString filesBefore = f.FilesValLabel->text();
  const int rowsBefore = f.UsageModel->rowCount();
  const int reportsBefore = fakeCall("FakeReportCount");

  // Cancelled: no wait window, no report, the cursor as it was.
  f.ReportCmd->trigger();
  EXPECT_EQ(waits.shown, 0);
  EXPECT_EQ(fakeCall("FakeReportCount"), reportsBefore);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Written: the figures on display stay as they are.
  setenv("FAKE_DLG_REPORT", "1", 1);
  setenv("FAKE_REPORT_NAME", "/tmp/r.csv", 1);
  QTest::mouseClick(f.ReportBtn, Qt::LeftButton);
  EXPECT_EQ(waits.shown, 1);
  EXPECT_EQ(fakeCall("FakeReportCount"), reportsBefore + 1);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(f.FilesValLabel->text(), filesBefore);
  EXPECT_EQ(f.UsageModel->rowCount(), rowsBefore);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(WaitWindows::onScreen());

  // Failures: the messages word for word, shown while the wait window is up.
  bool waitWasUp = false;
  platform::setMessageObserver([&](platform::MessageKind, const QString& caption, const QString& text) {
    waitWasUp = WaitWindows::onScreen();
    messages.push_back(caption + ": " + text);
    return false;
  });
  setenv("FAKE_REPORT_CODE", "-2", 1);
  setenv("FAKE_MAP_DRIVE", "4", 1);
  f.ReportCmd->trigger();
  setenv("FAKE_MAP_DRIVE", "0", 1);
  f.ReportCmd->trigger();
  // The report file could not be written: its name and the reason; the
  // folder's own failure keeps the folder's message.
  setenv("FAKE_REPORT_CODE", "-3", 1);
  setenv("FAKE_REPORT_ERROR", "13", 1);  // EACCES
  setenv("FAKE_REPORT_NAME", "/tmp/closed/r.csv", 1);
  f.ReportCmd->trigger();
  setenv("FAKE_REPORT_ERROR", "0", 1);
  f.ReportCmd->trigger();
  EXPECT_EQ(messages, (std::vector<QString>{"Error: Cannot access target D:\\",
                                            QString::fromStdString("Error: Cannot access " + t.root() + "/ (code -2)."),
                                            "Error: Cannot write the report file '/tmp/closed/r.csv': Permission denied.",
                                            QString::fromStdString("Error: Cannot access " + t.root() + "/ (code -3).")}));
  EXPECT_TRUE(waitWasUp);
  EXPECT_FALSE(WaitWindows::onScreen());
  qApp->removeEventFilter(&waits);
}

TEST_F(FormTest, TheOptionDialogsGetTheDriveIndexAndAChangeComputesTheFolderAgain) {
  // Before any folder: index 2.
  TDiskUsageForm::Options o;
  o.arguments = {t.root()};
  o.engineCandidates = {kFakeEngine};
  form = std::make_unique<TDiskUsageForm>(o);
  form->ComputeOptionsCmdClick();
  EXPECT_EQ(fakeCall("FakeLastDriveIndex"), 2);
  form.reset();

  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  f.ComputeOptionsCmd->trigger();
  EXPECT_EQ(fakeCall("FakeLastDriveIndex"), '/' - 65) << "a path that starts with / gives -18";
  EXPECT_EQ(fakeCall("FakeLastDriveIndex"), -18);

  f.RememberedSelection = {t.path("Ax")};
  int calcs = fakeCall("FakeCalcCount");
  f.ClusterSizesCmd->trigger();  // unchanged: nothing computed
  EXPECT_EQ(fakeCall("FakeCalcCount"), calcs);
  setenv("FAKE_DLG_CLUSTERS", "1", 1);
  setenv("FAKE_CUSTOM_CLUSTERS_ON", "1", 1);
  f.ClusterSizesCmdClick();
  EXPECT_TRUE(f.ClusterSizesCmd->isChecked());
  EXPECT_GT(fakeCall("FakeCalcCount"), calcs) << "computed again";
  EXPECT_EQ(selectedNames(), (Names{"Ax"})) << "with the remembered selection";

  setenv("FAKE_DLG_OPTIONS", "1", 1);
  f.TargetGuage->setProgress(40);
  calcs = fakeCall("FakeCalcCount");
  f.ComputeOptionsCmdClick();  // the target box's double-click comes here too
  EXPECT_GT(fakeCall("FakeCalcCount"), calcs);
}

TEST_F(FormTest, TheFileSpecificationButtonFollowsTheEngineAfterEveryUse) {
  TDiskUsageForm& f = open({t.root()}, {kFakeEngine});
  EXPECT_FALSE(f.FileSelectCmd->isChecked());
  EXPECT_FALSE(f.FileSelectBtn->isChecked()) << "not pressed before its first use";
  const QImage off = f.FileSelectBtn->icon().pixmap(16, 17).toImage();
  // Cancelled, but the filter is on: mark, picture and button follow it, and
  // nothing is computed.
  setenv("FAKE_FILESPEC_ON", "1", 1);
  const int calcs = fakeCall("FakeCalcCount");
  QTest::mouseClick(f.FileSelectBtn, Qt::LeftButton);
  EXPECT_TRUE(f.FileSelectCmd->isChecked());
  EXPECT_TRUE(f.FileSelectBtn->isChecked());
  EXPECT_NE(f.FileSelectBtn->icon().pixmap(16, 17).toImage(), off) << "the picture of a filter in force";
  EXPECT_EQ(fakeCall("FakeCalcCount"), calcs);
  // Changed and off again: computed anew, released.
  setenv("FAKE_FILESPEC_ON", "0", 1);
  setenv("FAKE_DLG_FILESPEC", "1", 1);
  f.FileSelectCmd->trigger();
  EXPECT_FALSE(f.FileSelectCmd->isChecked());
  EXPECT_FALSE(f.FileSelectBtn->isChecked());
  EXPECT_EQ(f.FileSelectBtn->icon().pixmap(16, 17).toImage(), off);
  EXPECT_GT(fakeCall("FakeCalcCount"), calcs);
}
