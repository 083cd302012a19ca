#pragma once
// What every window benchmark sets before its QApplication: the offscreen
// platform unless another is chosen, and settings, trash and kept looks of
// its own (the window stores its placement at every resize, and a
// measurement must not change the user's settings). Lives as long as the
// benchmark.
#include <QTemporaryDir>
#include <cstdlib>

struct BenchSession {
  BenchSession() {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    setenv("XDG_STATE_HOME", (home.path() + "/state").toLocal8Bit().constData(), 1);
  }
  QTemporaryDir home;
};
