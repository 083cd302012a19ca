// The main block: the program's own options, then the application, the main
// window and the message loop.
#include <QApplication>
#include <cstdio>

#include "app/disk_usage_form.h"
#include "model/start_command.h"
#include "support/artwork.h"
#include "support/help_hook.h"
#include "platform/dynamic_library.h"
#include "platform/icon_theme.h"

namespace {

// Standard output that cannot be written (a full disk, a closed pipe) fails
// the answer, as for any command-line tool.
int answer(const char* text) {
  std::fputs(text, stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before QApplication, which needs a display and would open the window.
  const TStartCommand command = ReadStartCommand(argc, argv);
  if (command.action == TStartCommand::Help) return answer(kStartUsage);
  if (command.action == TStartCommand::Version) return answer("tallorin " TALLORIN_VERSION "\n");

  int qtArgc = command.qtArgc;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Tallorin"));
  platform::ensureIconTheme();

  QApplication::setWindowIcon(QIcon(ProgramIcon(48)));

  TDiskUsageForm::Options options;
  // Paths are taken as the raw bytes the shell passed, never re-encoded; Qt
  // has taken its own options out of those before "--".
  for (int i = 1; i < qtArgc; ++i) options.arguments.emplace_back(argv[i]);
  options.arguments.insert(options.arguments.end(), command.afterOptions.begin(), command.afterOptions.end());
  options.helpFile = TDiskUsageForm::HelpFilePath();
  int exitCode;
  {
    THtmlHelpHook help(options.helpFile);  // before the window, gone after the loop
    exitCode = TDiskUsageForm::Run(std::move(options));
  }
  return exitCode;
}
