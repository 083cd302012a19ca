// The version information read from an executable's file, the help hook's
// translation of help requests, the help window and the about window.
#include <QLabel>
#include <QAbstractButton>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>

#include "support/about_box.h"
#include "support/app_information.h"
#include "support/help_hook.h"
#include "support/help_window.h"
#include "temp_tree.h"

using testsupport::TempTree;

namespace {

// A file that looks like an executable with a version block in its middle.
std::string withBlock(const TempTree& t, const std::string& name, const std::string& fileVersion) {
  std::string block = TAppInformation::marker() + std::string(1, '\0');
  auto add = [&](const std::string& key, const std::string& value) {
    block += "\\StringFileInfo\\040904E4\\" + key + std::string(1, '\0') + value + std::string(1, '\0');
  };
  if (!fileVersion.empty()) add("FileVersion", fileVersion);
  add("LegalCopyright", "Copyright (C) 2026 Somebody");
  add("ProductName", "Tallorin");
  const std::string path = t.path(name);
  std::ofstream(path, std::ios::binary) << std::string(5000, '\x7f') << block << std::string(1, '\0')
                                        << std::string(3000, 'x');
  return path;
}

}  // namespace

TEST(AppInformation, ValuesComeFromTheFilesVersionBlock) {
  TempTree t;
  struct Case {
    std::string version, shortVersion;
  } cases[] = {{"1.2.3.4", "1.2.3"}, {"1.2", "1.2"}, {"7", "7"}, {"10.20.30.40.50", "10.20.30"}};
  for (const Case& c : cases) {
    const TAppInformation info(withBlock(t, "app", c.version));
    EXPECT_EQ(info.GetVersionValue("FileVersion").toStdString(), c.version);
    EXPECT_EQ(info.GetShortVersion().toStdString(), c.shortVersion);
    EXPECT_EQ(info.GetLegalNotice(), "Copyright (C) 2026 Somebody");
    EXPECT_EQ(info.GetProductName(), "Tallorin");
    EXPECT_EQ(info.GetVersionValue("Comments"), " ") << "a value the block lacks";
  }
  const TAppInformation noVersion(withBlock(t, "app2", ""));
  EXPECT_EQ(noVersion.GetShortVersion(), " ") << "a blank stays a blank";
  std::ofstream(t.path("plain"), std::ios::binary) << "no block in here";
  for (const std::string& path : {t.path("plain"), t.path("missing")}) {
    const TAppInformation none(path);
    EXPECT_EQ(none.GetProductName(), " ");
    EXPECT_EQ(none.GetShortVersion(), " ");
    EXPECT_EQ(none.GetLegalNotice(), " ");
  }
}

TEST(HelpHook, RequestsAreTranslatedAndPassedOn) {
  struct Seen {
    std::string file;
    uint32_t command;
    uintptr_t data;
  };
  std::vector<Seen> seen;
  EXPECT_FALSE(THtmlHelpHook::Request(THtmlHelpHook::HELP_FINDER, 0)) << "no hook, no help";
  {
    THtmlHelpHook hook("/x/tallorin-help.html",
                       [&](const std::string& f, uint32_t c, uintptr_t d) { seen.push_back({f, c, d}); });
    EXPECT_EQ(THtmlHelpHook::current(), &hook);
    struct Case {
      uint16_t command;
      uintptr_t data;
      uint32_t translated;
    } cases[] = {{1, 1013, 0x0F}, {8, 5, 0x0E}, {11, 0, 0}, {18, 0, 0x12}, {3, 7, 3}};
    for (const Case& c : cases) {
      EXPECT_TRUE(THtmlHelpHook::Request(c.command, c.data));
      ASSERT_FALSE(seen.empty());
      EXPECT_EQ(seen.back().file, "/x/tallorin-help.html");
      EXPECT_EQ(seen.back().command, c.translated) << c.command;
      EXPECT_EQ(seen.back().data, c.data);
    }
  }
  EXPECT_EQ(THtmlHelpHook::current(), nullptr);
}

TEST(HelpWindow, ShowsTheManualAtItsTopicsAndClosesAll) {
  TempTree t;
  const std::string manual = t.path("manual.html");
  std::ofstream(manual) << "<html><body><a name=\"contents\"></a><h1>Manual</h1><p>" << std::string(4000, 'x')
                        << "</p><a name=\"context-1013\"></a><h2>About</h2></body></html>";
  THelpWindow::Show(t.path("missing.html"), THtmlHelpHook::HH_DISPLAY_TOPIC, 0);
  EXPECT_EQ(THelpWindow::instance(), nullptr) << "no file, nothing shown";
  THelpWindow::Show(manual, THtmlHelpHook::HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(THelpWindow::instance(), nullptr);
  EXPECT_TRUE(THelpWindow::instance()->isVisible());
  EXPECT_EQ(THelpWindow::instance()->topic(), "contents");
  EXPECT_TRUE(THelpWindow::instance()->browser()->toPlainText().contains("Manual"));
  THelpWindow::Show(manual, THtmlHelpHook::HH_HELP_CONTEXT, 1013);
  EXPECT_EQ(THelpWindow::instance()->topic(), "context-1013");
  THelpWindow::Show(manual, THtmlHelpHook::HH_CLOSE_ALL, 0);
  QTest::qWait(0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(THelpWindow::instance(), nullptr);
}

TEST(HelpWindow, ContentsAndBackLeadBackWithoutScrolling) {
  TempTree t;
  const std::string manual = t.path("manual.html");
  std::ofstream(manual) << "<html><body><a name=\"contents\"></a><h1>Manual</h1><p><a href=\"#far\">Far</a></p><p>"
                        << std::string(6000, 'x') << "</p><a name=\"context-1013\"></a><h2>About</h2><p>"
                        << std::string(6000, 'y') << "</p><a name=\"far\"></a><h2>Far away</h2></body></html>";
  THelpWindow::Show(manual, THtmlHelpHook::HH_HELP_CONTEXT, 1013);
  THelpWindow* w = THelpWindow::instance();
  ASSERT_NE(w, nullptr);
  QScrollBar* scroll = w->browser()->verticalScrollBar();
  const int atTopic = scroll->value();
  ASSERT_GT(atTopic, 0) << "opened at the topic, down the page";
  auto button = [&](const char* text) {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
      if (b->text().remove('&') == QLatin1String(text)) return b;
    return static_cast<QAbstractButton*>(nullptr);
  };
  QAbstractButton* contents = button("Contents");
  QAbstractButton* back = button("Back");
  ASSERT_NE(contents, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(contents->isVisible());
  EXPECT_FALSE(back->isEnabled()) << "nowhere to go back to yet";
  QTest::mouseClick(contents, Qt::LeftButton);
  EXPECT_LE(scroll->value(), 10) << "the contents are at the top (below the page's margin)";
  EXPECT_EQ(w->topic(), "contents");
  ASSERT_TRUE(back->isEnabled());
  QTest::mouseClick(back, Qt::LeftButton);
  EXPECT_EQ(scroll->value(), atTopic) << "back where the reader was";
  // A link followed in the page, then Back.
  QTest::mouseClick(contents, Qt::LeftButton);
  w->browser()->setSource(QUrl::fromLocalFile(QString::fromStdString(manual)).resolved(QUrl("#far")));
  EXPECT_GT(scroll->value(), atTopic);
  QTest::mouseClick(back, Qt::LeftButton);
  EXPECT_LE(scroll->value(), 10);
  THelpWindow::CloseAll();
  QTest::qWait(0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(AboutBox, ShowsTheFilesTextsAtTheirPlaces) {
  TempTree t;
  const TAppInformation info(withBlock(t, "app", "2.5.1.77"));
  TAboutBox box(nullptr, &info);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  EXPECT_EQ(box.windowTitle(), "About Tallorin");
  EXPECT_EQ(box.VersionLabel->text(), "Version 2.5.1");
  EXPECT_EQ(box.CopyrightLabel->text(), "Copyright (C) 2026 Somebody");
  EXPECT_EQ(box.size(), QSize(327, 249));
  EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(box.ProgramIcon->geometry(), QRect(8, 15, 48, 48));
  EXPECT_EQ(box.ProgramNameImage->geometry(), QRect(64, 16, 244, 57));
  EXPECT_EQ(box.VersionLabel->geometry(), QRect(72, 56, 161, 16));
  EXPECT_EQ(box.CopyrightLabel->geometry(), QRect(70, 81, 235, 42));
  EXPECT_EQ(box.OKButton->geometry(), QRect(243, 207, 62, 25));
  EXPECT_TRUE(box.OKButton->isDefault());
  EXPECT_EQ(box.Panel->palette().color(QPalette::Window), QColor(81, 113, 128));
  EXPECT_DOUBLE_EQ(box.windowOpacity(), 1.0);
  // The credits on a double-click of the icon, closed by their OK.
  bool creditsSeen = false;
  QTimer::singleShot(0, [&] {
    if (QDialog* c = box.credits()) {
      creditsSeen = true;
      c->findChild<QPushButton*>()->click();
    }
  });
  QTest::mouseDClick(box.ProgramIcon, Qt::LeftButton);
  EXPECT_TRUE(creditsSeen);
  QTest::mouseClick(box.OKButton, Qt::LeftButton);
  EXPECT_EQ(box.result(), QDialog::Accepted);

  const TAppInformation none(t.path("missing"));
  TAboutBox blank(nullptr, &none);
  blank.show();
  EXPECT_EQ(blank.windowTitle(), "About  ");
  EXPECT_EQ(blank.VersionLabel->text(), "Version  ");
}

namespace {

// An about window whose window system may or may not move windows itself;
// it counts the moves handed to it.
class MoveCountingAboutBox : public TAboutBox {
 public:
  MoveCountingAboutBox(const TAppInformation* info, bool systemMoves) : TAboutBox(nullptr, info), m_systemMoves(systemMoves) {}
  int systemMoves = 0;

 protected:
  bool StartSystemMove() override {
    ++systemMoves;
    return m_systemMoves;
  }

 private:
  bool m_systemMoves;
};

}  // namespace

// Under a window manager the move takes the pointer as soon as it starts; a
// move begun at the press would swallow the second click on the icon.
TEST(AboutBox, TheMoveStartsPastTheDragDistanceSoADoubleClickReachesTheIcon) {
  TempTree t;
  const TAppInformation info(withBlock(t, "app", "1.0.0.0"));
  const int d = QApplication::startDragDistance();
  ASSERT_GT(d, 1);
  for (bool systemMoves : {true, false}) {
    SCOPED_TRACE(systemMoves ? "the window system moves the window" : "the window follows the pointer itself");
    MoveCountingAboutBox box(&info, systemMoves);
    box.move(100, 100);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QPoint start = box.pos();

    // A double-click on the icon: no move, the credits.
    bool creditsSeen = false;
    QTimer::singleShot(0, [&] {
      if (QDialog* c = box.credits()) {
        creditsSeen = true;
        c->findChild<QPushButton*>()->click();
      }
    });
    const QPoint on(20, 20);
    QTest::mousePress(box.ProgramIcon, Qt::LeftButton, {}, on);
    QTest::mouseRelease(box.ProgramIcon, Qt::LeftButton, {}, on);
    QTest::mouseDClick(box.ProgramIcon, Qt::LeftButton, {}, on);
    QTest::mouseRelease(box.ProgramIcon, Qt::LeftButton, {}, on);
    EXPECT_TRUE(creditsSeen);
    EXPECT_EQ(box.systemMoves, 0);
    EXPECT_EQ(box.pos(), start);

    // A press that wanders less than the drag distance moves nothing.
    QTest::mousePress(box.ProgramIcon, Qt::LeftButton, {}, on);
    QTest::mouseMove(box.ProgramIcon, on + QPoint(d - 1, 0));
    QTest::mouseMove(box.ProgramIcon, on + QPoint(0, d - 1));
    EXPECT_EQ(box.systemMoves, 0);
    EXPECT_EQ(box.pos(), start);
    // Past it, the move starts, once.
    QTest::mouseMove(box.ProgramIcon, on + QPoint(d + 5, 2));
    EXPECT_EQ(box.systemMoves, 1);
    EXPECT_EQ(box.pos(), systemMoves ? start : start + QPoint(d + 5, 2));
    QTest::mouseRelease(box.ProgramIcon, Qt::LeftButton, {}, on);
    const QPoint after = box.pos();

    // Dragged by the legal notice too; with the right button, nothing moves.
    QTest::mousePress(box.CopyrightLabel, Qt::LeftButton, {}, on);
    QTest::mouseMove(box.CopyrightLabel, on + QPoint(0, d));
    EXPECT_EQ(box.systemMoves, 2);
    QTest::mouseRelease(box.CopyrightLabel, Qt::LeftButton, {}, on);
    const QPoint afterNotice = box.pos();
    EXPECT_EQ(afterNotice, systemMoves ? after : after + QPoint(0, d));
    QTest::mousePress(box.ProgramNameImage, Qt::RightButton, {}, on);
    QTest::mouseMove(box.ProgramNameImage, on + QPoint(3 * d, 3 * d));
    QTest::mouseRelease(box.ProgramNameImage, Qt::RightButton, {}, on);
    EXPECT_EQ(box.systemMoves, 2);
    EXPECT_EQ(box.pos(), afterNotice);
  }
}
