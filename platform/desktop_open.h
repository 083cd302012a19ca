#pragma once
// Opening a file the way the desktop does: with the application it has for
// the file's type (what a double-click in a file manager does).
#include <functional>
#include <string>

class QWidget;

namespace platform {

// Receives each path instead of the desktop; tests install one, nullptr
// restores the desktop.
using OpenObserver = std::function<void(const std::string& path)>;
void setOpenObserver(OpenObserver observer);

// Hands path to the desktop's default application. False when the desktop's
// opener could not be started; what the application then does is the
// desktop's to report.
bool openWithDefaultApplication(const std::string& path);

// The desktop's own opener, without the observer: xdg-open's through Qt on
// Linux, the shell's default verb (ShellExecuteExW) on Windows.
bool openWithDesktop(const std::string& path);

}  // namespace platform
