#pragma once
// What every Win32 unit of the platform layer needs: UTF-8 paths of the
// program turned into the UTF-16 the W calls take (with the \\?\ prefix that
// lifts the length limit), names back to UTF-8, and Win32 errors as errno
// values and as text.
#include <string>

namespace platform::win32 {

std::wstring wide(const std::string& utf8);
std::string utf8(const wchar_t* text, size_t length);
std::string utf8(const std::wstring& text);

// An absolute path as the W calls take it past MAX_PATH: C:\a -> \\?\C:\a,
// \\server\share\a -> \\?\UNC\server\share\a. Forward slashes become
// backslashes, since the prefix turns off every other rewriting.
std::wstring longPath(const std::string& path);

// The errno value nearest to a Win32 error code, for callers that speak errno.
int errnoOf(unsigned long error);
// The system's text for a Win32 error code, without its closing line end.
std::string errorText(unsigned long error);

}  // namespace platform::win32
