#pragma once
// What one does with a file from its menu, as the desktop does it: the
// applications that open its type, the clipboard of file managers, renaming,
// and the facts a properties window shows. A link is acted on as a link.
#include <cstdint>
#include <string>
#include <vector>

class QMimeData;

namespace platform {

// An application of the desktop (a .desktop file of Type=Application).
struct DesktopApp {
  std::string id;    // the desktop file's name, e.g. "org.gnome.gedit.desktop"
  std::string name;  // what the menu shows
  std::string exec;  // its Exec= line
  bool terminal = false;  // Terminal=true: runs inside a terminal emulator
};

// The command that runs a program inside the desktop's terminal emulator,
// the program's arguments to follow: $TERMINAL, else x-terminal-emulator,
// else the first of the well-known emulators found on PATH, each with the
// option that makes it run the rest of its arguments. Empty when there is
// none.
std::vector<std::string> terminalCommand();

// The MIME type of a file, from its name and, where that says little, its content.
std::string mimeTypeOf(const std::string& path);

// The applications that open a MIME type: the user's default first, then the
// rest in order of name, from the .desktop files in $XDG_DATA_HOME and
// $XDG_DATA_DIRS and the associations of mimeapps.list (added ones included,
// removed ones left out). Hidden and NoDisplay entries do not count, nor do
// Terminal=true ones when there is no terminal emulator to run them in.
std::vector<DesktopApp> applicationsFor(const std::string& mimeType);

// The argument list that runs app on path: Exec= split by the desktop entry
// standard's quoting, %f/%F the path, %u/%U its file URL, %c the name,
// %% a percent sign, the other field codes dropped.
std::vector<std::string> commandFor(const DesktopApp& app, const std::string& path);
// Starts the application on path, detached (inside the terminal emulator for
// a Terminal=true one). Empty when it started, else why not: a program that
// is not there, not executable, no terminal emulator. The arguments are
// handed over as bytes, so a name that is not UTF-8 reaches it whole.
std::string launch(const DesktopApp& app, const std::string& path);
// Starts argv detached (its first element found on PATH); the same answer.
std::string startDetached(const std::vector<std::string>& argv);

// The file URL of a path: every byte outside the URL's unreserved characters
// percent-encoded as it is, so a name that is not UTF-8 (byte 0xFF) gives
// %FF and a file manager's paste finds the item.
std::string fileUrl(const std::string& path);

// A path as text that names the item. A path that shows as it is is itself.
// One with bytes that are not UTF-8 (no faithful Unicode text: decoding puts
// U+FFFD in their place, and that names nothing), control characters (a
// newline would end the line a terminal runs) or the marks that turn text
// around (platform::isEscapedCharacter) is given quoted as a shell word, as
// ls shows such names: '/tmp/raw'$'\xFF''.txt', 'new'$'\x0A''line'; pasted
// into a terminal it names exactly those bytes.
std::string pathText(const std::string& path);

// The clipboard contents a file manager puts there: the file URLs
// (text/uri-list), GNOME's and KDE's cut or copy marks, and the paths as
// text (pathText, one a line).
QMimeData* clipboardData(const std::vector<std::string>& paths, bool cut);

// Gives an item a new name in its folder, never replacing another item.
// Empty when done, else why not.
std::string renameItem(const std::string& path, const std::string& newName);

// What the properties window shows.
struct ItemFacts {
  std::string type;        // the MIME type's description, or "Folder", "Link to ..."
  std::string location;    // the folder it lies in
  uint64_t bytes = 0;      // its size (a folder's: what the row says)
  uint64_t diskBytes = 0;  // the space its blocks take
  std::string owner, group;
  std::string permissions;  // "rwxr-xr-x (755)"
  std::string modified, accessed, changed;  // local time, ISO 8601
  std::string linkTarget;  // for a link
};
// Facts of the item itself (a link's own, not its target's); false when it
// cannot be read.
bool itemFacts(const std::string& path, ItemFacts& facts);

}  // namespace platform
