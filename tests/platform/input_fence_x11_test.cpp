// The input fence against a real X server: presses made while the program's
// thread is held reach no guarded widget, and presses made afterwards do.
// Runs its own Xvfb; without Xvfb and xdotool it is skipped.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QTest>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/input_fence.h"

extern char** environ;

namespace {

pid_t g_xvfb = 0;

// Starts Xvfb on a display it picks itself; false when it cannot run.
bool startXvfb() {
  if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xdotool", X_OK) != 0) return false;
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const int rc = posix_spawn(&g_xvfb, "/usr/bin/Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) return false;
  std::string display;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
  ::close(fds[0]);
  if (display.empty()) return false;
  ::setenv("DISPLAY", (":" + display).c_str(), 1);
  return true;
}

void xdotool(const std::string& args) {
  const std::string command = "xdotool " + args;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Counting : QWidget {
  explicit Counting(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
  int presses = 0, releases = 0, keys = 0;
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
  void keyPressEvent(QKeyEvent*) override { ++keys; }
};

bool waitFor(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 10000) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace

TEST(InputFenceOnX11, PressesMadeWhileTheThreadIsHeldReachNoGuardedWidgetAndNoKeyActs) {
  if (!g_xvfb) GTEST_SKIP() << "no Xvfb or xdotool";
  QWidget window;
  window.setGeometry(0, 0, 400, 200);
  auto* guarded = new Counting(&window);
  guarded->setGeometry(0, 0, 200, 200);
  auto* other = new Counting(&window);
  other->setGeometry(200, 0, 200, 200);
  // A shortcut of the whole window, as Select All is.
  int shortcuts = 0;
  auto* selectAll = new QShortcut(QKeySequence(QStringLiteral("Ctrl+A")), &window);
  QObject::connect(selectAll, &QShortcut::activated, [&] { ++shortcuts; });
  platform::InputFence fence([guarded](const QWidget* w) { return w == guarded; });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  // The keys' focus on a widget that is not guarded.
  other->setFocus();
  ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == other; }));
  const QPoint g = guarded->mapToGlobal(QPoint(100, 100)), f = other->mapToGlobal(QPoint(100, 100));
  auto at = [](const QPoint& p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); };

  // The thread is held: nothing is handled while the user clicks and types.
  xdotool("mousemove " + at(g) + " click 1 key a key ctrl+a mousemove " + at(f) + " click 1");
  fence.dropEarlierInput(&window);
  ASSERT_TRUE(waitFor([&] { return !fence.raised(); }));
  ASSERT_TRUE(waitFor([&] { return other->releases == 1; })) << "the unguarded widget has its click";
  EXPECT_EQ(other->presses, 1);
  EXPECT_EQ(guarded->presses, 0);
  EXPECT_EQ(guarded->releases, 0) << "the release of a dropped press goes with it";
  EXPECT_EQ(other->keys, 0) << "keys are dropped wherever the focus is";
  EXPECT_EQ(shortcuts, 0);

  // Made after the end: delivered at once.
  guarded->setFocus();
  xdotool("mousemove " + at(g) + " click 1 key b key ctrl+a");
  // Its keys: b, and the Control of Ctrl+A, whose A is the shortcut's.
  EXPECT_TRUE(waitFor([&] { return guarded->presses == 1 && guarded->releases == 1 && guarded->keys == 2 && shortcuts == 1; }))
      << guarded->presses << " " << guarded->releases << " " << guarded->keys << " " << shortcuts;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  const bool x = startXvfb();
  if (!x) g_xvfb = 0;
  int rc = 0;
  if (x) {
    QApplication app(argc, argv);
    rc = RUN_ALL_TESTS();
  } else {
    rc = RUN_ALL_TESTS();
  }
  if (g_xvfb) {
    ::kill(g_xvfb, SIGTERM);
    ::waitpid(g_xvfb, nullptr, 0);
  }
  return rc;
}
