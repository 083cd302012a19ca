#pragma once
// How a name's bytes are shown as text, for the window and the engine's
// reports alike (no Qt here: the engine links it). A name is any bytes but
// "/" and NUL; what is shown is one line of valid UTF-8 in which two
// different names never read the same:
//
//   - bytes that start no valid UTF-8 character show as \xFF (hex, upper case);
//   - characters that break a line or a terminal, or that are invisible or
//     turn the text around them so that a name reads as another (C0 controls,
//     DEL, C1 controls, bidirectional marks, embeddings, overrides and
//     isolates, line and paragraph separators, zero-width spaces, the soft
//     hyphen, the byte order mark) show as \n, \r, \t, \x1B for the C0
//     controls and DEL, and \u200E, \u0085 and the like for the rest;
//   - a backslash of the name shows as itself, except where the characters
//     after it would read as one of these escapes ("\", "x", "u", "n", "r",
//     "t" follow it): there it shows as \\.
//
// The zero-width joiner and non-joiner stay as they are: scripts and emoji
// need them to show at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The length of the valid UTF-8 character at s[i] and its code point; 0 when
// the byte there starts none (overlong forms, surrogates and code points
// beyond U+10FFFF are not valid).
size_t utf8CharAt(std::string_view s, size_t i, char32_t& codePoint);

bool isValidUtf8(std::string_view s);

// A character that is never shown as it is (see above); not the backslash.
bool isEscapedCharacter(char32_t codePoint);

// Whether the name shows exactly as its bytes are (nothing escaped).
bool isShownAsItIs(std::string_view raw);

// What a literal backslash of the name becomes.
enum class Backslashes {
  DoubledWhereAmbiguous,  // text that has no other means to set escapes apart
  AsTheyAre,              // a display that shows escapes in a style of their own
};

// A name as shown, with where its escapes stand: byte ranges (start, length)
// of text, in order, each one escape (a doubled backslash is one too).
struct ShownName {
  std::string text;
  std::vector<std::pair<size_t, size_t>> escapes;
};
// On Windows a backslash separates and is never part of a name, so a path's
// backslashes show as they are there.
#ifdef _WIN32
inline constexpr Backslashes kPlainTextBackslashes = Backslashes::AsTheyAre;
#else
inline constexpr Backslashes kPlainTextBackslashes = Backslashes::DoubledWhereAmbiguous;
#endif
ShownName shownName(std::string_view raw, Backslashes backslashes = kPlainTextBackslashes);

// shownName(raw).text: the name as one line of plain text.
std::string visibleName(std::string_view raw);

}  // namespace platform
