// The program's own options, read before Qt: what the program does and which
// arguments reach Qt and the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/start_command.h"

TEST(StartCommand, HelpAndVersionAnswerAndDoubleDashEndsTheOptions) {
  using A = TStartCommand;
  struct Case {
    std::vector<const char*> args;  // after the program's name
    A::Action action;
    int qtArgc;  // of the whole argv, the program's name included
    std::vector<std::string> afterOptions;
  } cases[] = {
      {{}, A::Open, 1, {}},
      {{"--help"}, A::Help, 2, {}},
      {{"--version"}, A::Version, 2, {}},
      {{"/srv", "--help"}, A::Help, 3, {}},           // anywhere before "--"
      {{"--version", "--help"}, A::Version, 3, {}},   // the first one decides
      {{"--help", "--version"}, A::Help, 3, {}},
      {{"./--help"}, A::Open, 2, {}},                 // a folder named like an option
      {{"--help=x"}, A::Open, 2, {}},                 // only the exact words
      {{"-help"}, A::Open, 2, {}},                    // Qt's or a path, as before
      {{"--HELP"}, A::Open, 2, {}},
      {{"--"}, A::Open, 1, {}},
      {{"--", "--help"}, A::Open, 1, {"--help"}},
      {{"--", "--version", "--"}, A::Open, 1, {"--version", "--"}},  // only the first "--" ends them
      {{"-style", "fusion", "--", "-style"}, A::Open, 3, {"-style"}},  // Qt never sees a path
      {{"/idlist", "7", "--", "/x"}, A::Open, 3, {"/x"}},
      {{"--", ""}, A::Open, 1, {""}},
      {{"--help", "--", "x"}, A::Help, 2, {"x"}},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"tallorin"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string shown;
    for (const char* a : c.args) shown += std::string(" '") + a + "'";
    const TStartCommand got = ReadStartCommand(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(got.action, c.action) << shown;
    EXPECT_EQ(got.qtArgc, c.qtArgc) << shown;
    EXPECT_EQ(got.afterOptions, c.afterOptions) << shown;
  }
}
