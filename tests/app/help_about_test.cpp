// Help and About from the window: F1 opens the manual beside the executable,
// F1 on the About item opens its topic, closing the window closes help, and
// the about window opens over the window.
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <map>
#include <QMenuBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include "form_fixture.h"
#include "support/about_box.h"
#include "support/app_information.h"
#include "support/help_hook.h"
#include "support/help_window.h"
#include "support/report_wait_form.h"
#include "views/delete_progress.h"
#include "box_look.h"
#include "window_fit.h"

TEST_F(FormTest, F1OpensTheManualAndClosingTheWindowClosesIt) {
  THtmlHelpHook hook(TDiskUsageForm::HelpFilePath());
  TDiskUsageForm& f = open({t.root()});
  ASSERT_TRUE(f.HelpTopicsCmd->isEnabled());
  EXPECT_EQ(f.HelpTopicsCmd->shortcut(), QKeySequence(Qt::Key_F1));
  f.HelpTopicsCmd->trigger();
  ASSERT_NE(THelpWindow::instance(), nullptr) << "the manual lies beside the executable: " << TDiskUsageForm::HelpFilePath();
  EXPECT_EQ(THelpWindow::instance()->topic(), "contents");
  EXPECT_TRUE(THelpWindow::instance()->browser()->toPlainText().contains("Disk Bytes"));

  // F1 on the highlighted About item: its topic, context 1013.
  QMenu* help = f.AboutCmd->associatedObjects().isEmpty() ? nullptr
                                                          : qobject_cast<QMenu*>(f.AboutCmd->associatedObjects().first());
  ASSERT_NE(help, nullptr);
  help->popup(QPoint(10, 10));
  help->setActiveAction(f.AboutCmd);
  QTest::keyClick(help, Qt::Key_F1);
  help->hide();
  EXPECT_EQ(THelpWindow::instance()->topic(), "context-1013");

  f.ExitCmdClick();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(THelpWindow::instance(), nullptr) << "closing the window closes its help";
}

TEST_F(FormTest, AboutOpensTheAboutWindowOverTheWindow) {
  TDiskUsageForm& f = open({t.root()});
  QString version;
  bool shown = false;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget())) {
      shown = true;
      version = box->VersionLabel->text();
      box->OKButton->click();
    }
  });
  f.AboutCmd->trigger();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(version.startsWith("Version ")) << version.toStdString();
}

TEST(VersionBlock, TheBuiltProgramCarriesTheProjectsVersion) {
  const TAppInformation info(TALLORIN_EXE);
  EXPECT_EQ(info.GetVersionValue("FileVersion").toStdString(), std::string(TALLORIN_VERSION) + ".0");
  EXPECT_EQ(info.GetShortVersion().toStdString(), TALLORIN_VERSION);
  EXPECT_EQ(info.GetProductName(), "Tallorin");
  EXPECT_EQ(info.GetLegalNotice(), "Copyright (C) 2026 Quorlan. MIT License, without warranty.");
  // Whole in the about window's notice, which does not grow: in the window's
  // own font, and in the wide one a Debian desktop without Tahoma gives it.
  TAboutBox box(nullptr, &info);
  box.show();
  EXPECT_EQ(box.CopyrightLabel->text(), info.GetLegalNotice());
  QStringList families{box.CopyrightLabel->font().family()};
  if (QFontDatabase::families().contains("DejaVu Sans")) families << "DejaVu Sans";
  for (const QString& family : families) {
    QFont font = box.CopyrightLabel->font();
    font.setFamily(family);
    box.CopyrightLabel->setFont(font);
    EXPECT_LE(box.CopyrightLabel->heightForWidth(box.CopyrightLabel->width()), box.CopyrightLabel->height())
        << "in " << family.toStdString() << " the notice needs more lines than its "
        << box.CopyrightLabel->height() << " pixels hold";
  }
}

namespace {

// Looks at the next modal window the moment it is up, then closes it.
void lookAtNextModal(const std::function<void(QWidget&)>& look) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, look] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    look(*w);
    w->close();
  });
  poll->start();
}

}  // namespace

TEST_F(FormTest, EveryWindowFitsTheScreenWithItsButtonsAndEscapeClosesTheManual) {
  // Also run on an 800 x 600 screen at 144 dpi: a free area of 533 x 400.
  if (!qEnvironmentVariableIsEmpty("TALLORIN_TEST_DPR")) {
    ASSERT_EQ(qApp->primaryScreen()->devicePixelRatio(), qEnvironmentVariable("TALLORIN_TEST_DPR").toDouble());
  }
  THtmlHelpHook hook(TDiskUsageForm::HelpFilePath());
  // An item with a long name in a folder of a long path.
  std::string folder = "p";
  while (t.path(folder).size() < 94) folder += "p";
  t.dir(folder);
  const std::string name(200, 'n');
  t.file(folder + "/" + name, 10);
  TDiskUsageForm& f = open({t.path(folder)});
  std::map<std::string, std::vector<std::string>> cut;
  auto look = [&](QWidget& w) { cut[testsupport::windowName(w)] = testsupport::cutParts(w); };

  f.HelpTopicsCmd->trigger();
  THelpWindow* help = THelpWindow::instance();
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
  look(*help);
  // Escape closes the manual, wherever its keyboard is.
  help->browser()->setFocus();
  QTest::keyClick(help->browser(), Qt::Key_Escape);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(THelpWindow::instance(), nullptr) << "Escape closes the manual";

  lookAtNextModal(look);
  f.AboutCmd->trigger();
  lookAtNextModal(look);
  f.ShowItemProperties(t.path(folder + "/" + name));
  lookAtNextModal(look);
  platform::setTextObserver(nullptr);
  platform::askText(&f, "Rename", "New name:", QString::fromStdString(name));
  {
    TReportWaitForm wait(&f);
    wait.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wait));
    look(wait);
  }
  {
    TDeleteProgress progress(&f);
    progress.showDeleting(123456789, 99999999999, 987654321, 99999999999);
    progress.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    look(progress);
  }
  // A question naming the long item.
  platform::setMessageObserver(nullptr);
  const testsupport::SeenBox box = testsupport::seeAndAnswer(
      [&] { platform::askConfirm(&f, QString::fromStdString("Delete '" + t.path(folder + "/" + name) + "' for good?")); },
      QMessageBox::No);
  EXPECT_TRUE(box.fits()) << "the question " << box.frame.width() << "x" << box.frame.height();

  std::vector<std::string> names;
  for (const auto& [window, parts] : cut) {
    names.push_back(window);
    EXPECT_EQ(parts, std::vector<std::string>{}) << window;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"AboutBox", "DeleteProgress", "HelpWindow", "ItemProperties", "QInputDialog",
                                             "ReportWaitForm"}));
}
