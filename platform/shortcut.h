#pragma once
// Links to other files, as the desktop knows them: a symbolic link, or a
// ".desktop" file of Type=Link whose URL is a local file. On Windows: a
// symbolic link, a junction, or a shell link (".lnk") to a file.
#include <string>

namespace platform {

// The absolute path a link points to; empty when path is no link, or links to
// something that is not a local file (a web address, say). A symbolic link is
// read, never followed further than its own target: a relative target is
// taken from the link's folder, a target that exists is given as its real
// path (so the folder tree shows real folders), a dangling one as written.
std::string resolveShortcut(const std::string& path);

#ifndef _WIN32
// The local file a ".desktop" file's text links to: its [Desktop Entry]
// group must say Type=Link and URL=file://... (percent-encoded); empty else.
std::string desktopLinkTarget(const std::string& desktopFileText);
#endif

}  // namespace platform
