#pragma once
// Wine shows a Linux symbolic link to a file as the file itself: it is no
// reparse point, and every call given its name (a look, the Recycle Bin,
// DeleteFileW) acts on the file it leads to. Only where a handle opened on
// the name really ends tells: at the target. On Windows a symbolic link is
// always a reparse point, and this costs nothing there.
#include <string>

namespace platform::win32 {

bool runningUnderWine();

// What is said of such a link where it is left alone.
inline constexpr const char* kHiddenLinkReason =
    "it is a symbolic link, which wine would follow to the file it leads to; remove it from Linux";

// Whether the item at path (the long form "\\?\...") is such a link: opened,
// it ends somewhere other than its folder's own place under its own name.
// False when not under wine, and when it cannot be told (the item is gone).
bool isHiddenLink(const std::wstring& path);

// The same for an item already open as `handle`. folderFinal is
// finalPathOfFolder() of the item's folder, known already to a caller that
// looks at many entries of one folder; empty to ask it.
bool isHiddenLink(const std::wstring& path, void* handle, const std::wstring& folderFinal);

// Where the folder at path really is (links and mapped drives resolved);
// empty when it cannot be told.
std::wstring finalPathOfFolder(const std::wstring& path);

}  // namespace platform::win32
