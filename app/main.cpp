// The main block: the application, the main window, the message loop.
#include <QApplication>

#include "app/disk_usage_form.h"
#include "support/artwork.h"
#include "support/help_hook.h"
#include "platform/dynamic_library.h"
#include "platform/icon_theme.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tallorin"));
  platform::ensureIconTheme();

  QApplication::setWindowIcon(QIcon(ProgramIcon(48)));

  TDiskUsageForm::Options options;
  // Paths are taken as the raw bytes the shell passed, never re-encoded.
  for (int i = 1; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  options.helpFile = TDiskUsageForm::HelpFilePath();
  int exitCode;
  {
    THtmlHelpHook help(options.helpFile);  // before the window, gone after the loop
    exitCode = TDiskUsageForm::Run(std::move(options));
  }
  return exitCode;
}
