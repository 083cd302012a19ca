// Loading the engine library: each way it can fail shows its own message,
// word for word, and leaves nothing loaded; the real library loads, works
// and can be released and loaded again in one process.
#include <QString>
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <vector>

#include "engine/usage_engine.h"
#include "platform/message_box.h"
#include "qt_print.h"
#include "temp_tree.h"

namespace {

struct Shown {
  platform::MessageKind kind;
  QString caption, text;
};

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setMessageObserver([this](platform::MessageKind k, const QString& c, const QString& t) {
      shown.push_back({k, c, t});
      return false;
    });
  }
  void TearDown() override { platform::setMessageObserver(nullptr); }
  std::vector<Shown> shown;
};

int threadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

}  // namespace

TEST_F(LoaderTest, EachFailureShowsItsMessageAndLeavesNothingLoaded) {
  struct Case {
    std::vector<std::string> candidates;
    bool ok;
    const char* message;  // nullptr: none
  };
  const std::string fakes = FAKES_DIR;
  const Case cases[] = {
      {{fakes + "/no_such_engine.so"}, false, "Cannot find TLR32.DLL"},
      {{fakes + "/fake_engine_no_save.so"}, false,
       "TLR32.DLL does not appear to be up to date or is corrupted. Please ensure that the latest version of "
       "TLR32.DLL is loaded on your system."},
      {{fakes + "/fake_engine_init_false.so"}, false, "Cannot initialize TLR32.DLL"},
      {{fakes + "/fake_engine_ok.so"}, true, nullptr},
      // The first candidate that loads is the one used.
      {{fakes + "/missing.so", fakes + "/fake_engine_ok.so"}, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.candidates.back());
    shown.clear();
    TUsageEngine engine;
    EXPECT_EQ(engine.load(nullptr, "/x/TALLOR.CHM", c.candidates), c.ok);
    EXPECT_EQ(engine.loaded(), c.ok);
    EXPECT_EQ(engine.TlrCalcUsage != nullptr, c.ok);
    if (c.message) {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].kind, platform::MessageKind::Error);
      EXPECT_EQ(shown[0].caption, "Error");
      EXPECT_EQ(shown[0].text, QString::fromLatin1(c.message));
    } else {
      EXPECT_TRUE(shown.empty());
      EXPECT_STREQ(engine.TlrGetFileSysName(), "fakefs");
      // An engine without batches loads all the same; a batch there asks nothing.
      EXPECT_EQ(engine.TlrBeginBatch, nullptr);
      TUsageEngine::Batch batch(engine);
      batch.begin();
      batch.end();
    }
  }
}

TEST_F(LoaderTest, TheRealEngineLoadsAndReleasesRepeatedly) {
  testsupport::TempTree t;
  t.dir("d");
  for (int i = 0; i < 50; ++i) t.file("d/f" + std::to_string(i), 100 + i);
  int before = -1;
  for (int round = 0; round < 10; ++round) {
    TUsageEngine engine;
    ASSERT_TRUE(engine.load(nullptr, "", {REAL_ENGINE}));
    EXPECT_NE(engine.TlrBeginBatch, nullptr);
    EXPECT_NE(engine.TlrEndBatch, nullptr);
    ASSERT_EQ(engine.TlrCalcUsage(t.root().c_str(), nullptr), 0);
    EXPECT_EQ(engine.TlrGetStatVal("Files"), 50);
    EXPECT_EQ(engine.TlrGetStatVal("Directories"), 1);
    engine.unload();
    // Counted from the first release on, so threads of the runtime itself
    // (a sanitizer's, say) do not count; a worker left behind would.
    if (round == 0) before = threadCount();
    EXPECT_EQ(dlopen(REAL_ENGINE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library is really unloaded";
    EXPECT_EQ(threadCount(), before) << "the engine's workers stop when it is released";
  }
  EXPECT_TRUE(shown.empty());
}

TEST(LoaderDefaults, TheLibraryBesideTheExecutableComesFirstThenTheInstalledOne) {
  auto c = TUsageEngine::defaultCandidates();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0], platform::executableFolder() + "libtlr32.so");
  EXPECT_EQ(c[1], platform::executableFolder() + "../lib/tallorin/libtlr32.so");
  EXPECT_EQ(c[2], "libtlr32.so");
  EXPECT_TRUE(TUsageEngine::truth(0x101));
  EXPECT_FALSE(TUsageEngine::truth(0x100));
}
