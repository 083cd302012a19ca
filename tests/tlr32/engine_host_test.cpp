// The engine ends cleanly however its host ends: returning from main with or
// without unloading it, exit() from another thread, exit() while a computation
// keeps the workers busy, calls from the host's own exit handlers. Each host is
// a real process; it must end within a few seconds with exit code 0, and the
// AddressSanitizer build must find nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "temp_tree.h"

extern char** environ;

namespace {

struct Outcome {
  bool finished = false;
  int status = 0;
};

// Runs argv with this process's environment and extra (NAME=VALUE, or
// empty), killing it when it has not ended after the limit.
Outcome runWithLimit(const std::vector<std::string>& args, std::chrono::seconds limit, const std::string& extra = {}) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  if (!extra.empty()) env.push_back(const_cast<char*>(extra.c_str()));
  env.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()) != 0) return {};
  const auto deadline = std::chrono::steady_clock::now() + limit;
  Outcome out;
  for (;;) {
    const pid_t r = waitpid(pid, &out.status, WNOHANG);
    if (r == pid) {
      out.finished = true;
      return out;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &out.status, 0);
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

struct Build {
  const char *name, *host, *lib;
};

const Build kBuilds[] = {{"plain", ENGINE_HOST, ENGINE_LIB}, {"asan", ENGINE_HOST_ASAN, ENGINE_LIB_ASAN}};

// As the engine walks from the cache (a few walkers), and as it walks when
// every read waits on the device (all its I/O walkers, started mid-walk).
const char* const kWalkModes[] = {"", "TLR32_DEVICE_WAIT_US=0"};

}  // namespace

class EngineHost : public ::testing::Test {
 protected:
  // Large enough that a walk lasts well beyond the host's wait before exit().
  static void SetUpTestSuite() {
    s_large = new testsupport::TempTree;
    for (int d = 0; d < 120; ++d) {
      const std::string dir = "d" + std::to_string(d);
      s_large->dir(dir);
      for (int f = 0; f < 150; ++f) s_large->file(dir + "/f" + std::to_string(f), f);
    }
  }
  static void TearDownTestSuite() {
    delete s_large;
    s_large = nullptr;
  }
  static testsupport::TempTree* s_large;
};
testsupport::TempTree* EngineHost::s_large = nullptr;

TEST_F(EngineHost, EndsCleanlyHoweverTheHostEnds) {
  testsupport::TempTree small;
  for (int i = 0; i < 7; ++i) small.file("f" + std::to_string(i), 10);
  const std::string large = s_large->root();

  struct Case {
    const char* mode;
    std::string folder;  // empty: no computation before the host ends
  } cases[] = {
      {"return", ""},          {"return", small.root()},      {"return", large},
      {"unload", ""},          {"unload", small.root()},      {"unload", large},
      {"exit-thread", ""},     {"exit-thread", small.root()}, {"exit-thread", large},
      {"exit-busy", large},    {"calls-after", small.root()}, {"calls-after", large},
      {"dialogs", ""},  // no Qt in the host: the dialogs say no and bring no Qt in
  };
  for (const char* walk : kWalkModes) {
    for (const Build& b : kBuilds) {
      for (const Case& c : cases) {
        std::vector<std::string> args{b.host, b.lib, c.mode};
        if (!c.folder.empty()) args.push_back(c.folder);
        const Outcome o = runWithLimit(args, std::chrono::seconds(10), walk);
        const std::string what = std::string(b.name) + " " + c.mode + " " + (c.folder.empty() ? "(no computation)" : c.folder) + " " + walk;
        ASSERT_TRUE(o.finished) << what << ": still running after 10 s";
        EXPECT_TRUE(WIFEXITED(o.status)) << what << ": ended by signal " << (WIFSIGNALED(o.status) ? WTERMSIG(o.status) : 0);
        if (WIFEXITED(o.status)) {
          EXPECT_EQ(WEXITSTATUS(o.status), 0) << what;
        }
      }
    }
  }
}

TEST_F(EngineHost, ExitWhileBusyIsRepeatable) {
  // The race between exit() and the walk lands differently each run.
  const std::string large = s_large->root();
  for (const char* walk : kWalkModes) {
    for (const Build& b : kBuilds) {
      for (int i = 0; i < 8; ++i) {
        const Outcome o = runWithLimit({b.host, b.lib, "exit-busy", large}, std::chrono::seconds(10), walk);
        ASSERT_TRUE(o.finished) << b.name << " run " << i << " " << walk;
        EXPECT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0)
            << b.name << " run " << i << " " << walk << " status " << o.status;
      }
    }
  }
}
