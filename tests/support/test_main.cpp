// Test entry shared by every test program: a private runtime and config
// folder (so tests never read or write the user's settings), the offscreen
// platform unless one is chosen, and the English (United States) locale.
#include <QApplication>
#include <QLocale>
#include <QStandardPaths>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/icon_theme.h"

int main(int argc, char** argv) {
  std::string base = "/tmp/tallorin-test-env-" + std::to_string(::getpid());
  ::mkdir(base.c_str(), 0700);
  std::string runtime = base + "/runtime", config = base + "/config";
  ::mkdir(runtime.c_str(), 0700);
  ::mkdir(config.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "offscreen", 1);
  ::setenv("LC_ALL", "en_US.UTF-8", 1);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  platform::ensureIconTheme();
  int rc = RUN_ALL_TESTS();
  std::string cmd = "rm -rf '" + base + "'";
  [[maybe_unused]] int ignored = std::system(cmd.c_str());
  return rc;
}
