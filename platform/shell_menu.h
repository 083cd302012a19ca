#pragma once
// The shell's own context menu for an item (Windows): the menu Explorer
// shows for it, with the verbs of every shell extension, carried out by the
// shell when chosen.
#include <QPoint>
#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace platform {

// Where it failed, as the shell's steps count, and the shell's HRESULT.
struct ShellMenuFailure {
  int step = 0;
  uint32_t hresult = 0;
  std::string reason;  // when it was not shown on purpose, why
};

// Shows the menu of path at globalPos (Qt's screen coordinates) over owner's
// window and carries out what the user chooses. Nothing when it was shown
// (whether or not something was chosen).
std::optional<ShellMenuFailure> showShellMenu(QWidget* owner, const std::string& path, const QPoint& globalPos);

}  // namespace platform
