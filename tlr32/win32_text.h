#pragma once
// Names and paths between the engine's UTF-8 strings and Windows' UTF-16.
// A Windows name is any sequence of 16-bit units, unpaired surrogates
// included, so the conversion is WTF-8: an unpaired surrogate takes the
// three bytes its code point would, and comes back as the same unit. Every
// name thus survives the round trip, and valid UTF-16 gives plain UTF-8.
// Plain functions, no Windows headers: tested on every platform.
#include <cstdint>
#include <string>
#include <string_view>

namespace tlr {

std::string utf8FromWide(std::u16string_view wide);
// Bytes that are no UTF-8 (nor WTF-8) each become U+FFFD.
std::u16string wideFromUtf8(std::string_view text);

// The long form of an absolute Windows path, which the W calls take at any
// length: "C:\a" or "C:/a" -> "\\?\C:\a", "\\server\share" ->
// "\\?\UNC\server\share"; one in that form already stays. Slashes become
// backslashes, and "." and ".." components are resolved, since the long
// form takes every name literally. Empty for a path that is not absolute.
std::u16string longPathOf(std::u16string_view absolute);

// The errno value that stands nearest to a Win32 error code.
int errnoFromWin32(uint32_t error);

}  // namespace tlr
