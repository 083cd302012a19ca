#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/desktop_open.h"
#include "platform/win32_text.h"

namespace platform {

bool openWithDesktop(const std::string& path) {
  // The shell's default verb for the file's type, as a double-click in
  // Explorer does; its own errors (no program for the type) it reports itself.
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
  const std::wstring file = win32::wide(path);
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return true;
  // No association: the shell's "Open with" box, which is what Explorer shows.
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.lpVerb = L"openas";
  return ShellExecuteExW(&info) != 0;
}

}  // namespace platform
