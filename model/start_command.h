#pragma once
// The program's own options, read before anything of Qt starts: --help and
// --version are answered without a display. Everything else on the command
// line is the window's (a path, the /idlist form) or Qt's (-platform, -style).
#include <string>
#include <vector>

struct TStartCommand {
  enum Action { Open, Help, Version };
  Action action = Open;
  // How many of argv's first entries Qt may read: the program name and what
  // stands before "--". After "--" every argument is a path, and a path named
  // like one of Qt's options must not reach Qt's own parsing.
  int qtArgc = 0;
  // The arguments after "--", in order, without the "--" itself.
  std::vector<std::string> afterOptions;
};

// Reads argv (argv[0] is the program). The first --help or --version before
// "--" decides; "./--help" or "-- --help" names a folder.
TStartCommand ReadStartCommand(int argc, const char* const* argv);

// The text of --help, ending with a line break.
extern const char* const kStartUsage;
