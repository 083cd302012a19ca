#include "model/start_command.h"

#include <cstring>

const char* const kStartUsage =
    "Usage: tallorin [FOLDER | FILE | /idlist NUMBER [FALLBACK]]\n"
    "Shows where the space of FOLDER goes: for every sub-folder and file directly\n"
    "inside it, the bytes it takes on disk, the bytes its files hold, its folders,\n"
    "files and newest date. Without FOLDER the current folder opens; a FILE opens\n"
    "its folder with the file's row selected; a path that does not exist opens\n"
    "the current folder.\n"
    "\n"
    "      --help     show this help and end\n"
    "      --version  show the version and end\n"
    "      --         the end of the options: what follows is a path, even one\n"
    "                 named like an option (or name it as ./--help)\n"
    "\n"
    "Qt's own options, such as -platform and -style, are taken too.\n"
    "Exit status: 0 after a normal close; 1 when the usage engine cannot be loaded.\n"
    "Settings: $XDG_CONFIG_HOME/tallorin/registry.reg (~/.config when not set).\n";

TStartCommand ReadStartCommand(int argc, const char* const* argv) {
  TStartCommand command;
  command.qtArgc = argc;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) {
      command.qtArgc = i;
      command.afterOptions.assign(argv + i + 1, argv + argc);
      break;
    }
    if (command.action != TStartCommand::Open) continue;
    if (std::strcmp(arg, "--help") == 0)
      command.action = TStartCommand::Help;
    else if (std::strcmp(arg, "--version") == 0)
      command.action = TStartCommand::Version;
  }
  return command;
}
