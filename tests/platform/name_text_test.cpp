// A name's bytes as text: one line, and never the text of another name.
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>

#include "awkward_names.h"
#include "platform/name_text.h"

namespace {

// Reads a shown name back to its bytes by the rules the shown text follows:
// "\\" a backslash, \n \r \t, \xHH a byte, \uHHHH a character in UTF-8; any
// other backslash stands for itself. None when the text breaks those rules.
std::optional<std::string> readBack(const std::string& shown) {
  auto hex = [&](size_t at, size_t digits) -> std::optional<unsigned> {
    if (at + digits > shown.size()) return std::nullopt;
    unsigned v = 0;
    for (size_t k = 0; k < digits; ++k) {
      const char c = shown[at + k];
      if (c >= '0' && c <= '9') v = v * 16 + unsigned(c - '0');
      else if (c >= 'A' && c <= 'F') v = v * 16 + unsigned(c - 'A' + 10);
      else return std::nullopt;
    }
    return v;
  };
  std::string out;
  for (size_t i = 0; i < shown.size();) {
    if (shown[i] != '\\' || i + 1 == shown.size()) {
      out += shown[i++];
      continue;
    }
    const char next = shown[i + 1];
    if (next == '\\') out += '\\', i += 2;
    else if (next == 'n') out += '\n', i += 2;
    else if (next == 'r') out += '\r', i += 2;
    else if (next == 't') out += '\t', i += 2;
    else if (next == 'x') {
      const auto v = hex(i + 2, 2);
      if (!v) return std::nullopt;
      out += static_cast<char>(*v);
      i += 4;
    } else if (next == 'u') {
      const auto v = hex(i + 2, 4);
      if (!v) return std::nullopt;
      if (*v < 0x80) return std::nullopt;
      if (*v < 0x800) {
        out += static_cast<char>(0xC0 | (*v >> 6));
      } else {
        out += static_cast<char>(0xE0 | (*v >> 12));
        out += static_cast<char>(0x80 | ((*v >> 6) & 0x3F));
      }
      out += static_cast<char>(0x80 | (*v & 0x3F));
      i += 6;
    } else {
      out += shown[i++];  // a backslash before anything else is itself
    }
  }
  return out;
}

// One line of text a terminal or a list shows as it is: valid UTF-8 without
// control characters or the marks that turn text around.
bool isOnePlainLine(const std::string& text) {
  char32_t cp;
  for (size_t i = 0, n; i < text.size(); i += n) {
    if ((n = platform::utf8CharAt(text, i, cp)) == 0 || platform::isEscapedCharacter(cp)) return false;
  }
  return true;
}

}  // namespace

TEST(NameText, ANameIsOneLineAndEveryEscapeIsMarked) {
  struct Case {
    std::string raw, shown;
    std::vector<std::string> escapes;  // the marked runs, in order
  };
  const Case cases[] = {
      {"plain name.txt", "plain name.txt", {}},
      {"caf\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80", "caf\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80", {}},
      {"new\nline", "new\\nline", {"\\n"}},
      {"cr\rtab\t", "cr\\rtab\\t", {"\\r", "\\t"}},
      {"esc\x1b[31mred", "esc\\x1B[31mred", {"\\x1B"}},
      {"del\x7f", "del\\x7F", {"\\x7F"}},
      {"bad\xff\xfe", "bad\\xFF\\xFE", {"\\xFF", "\\xFE"}},
      {"overlong\xc0\xaf", "overlong\\xC0\\xAF", {"\\xC0", "\\xAF"}},
      {"surrogate\xed\xa0\x80", "surrogate\\xED\\xA0\\x80", {"\\xED", "\\xA0", "\\x80"}},
      {"cut\xe6\x97", "cut\\xE6\\x97", {"\\xE6", "\\x97"}},
      {"c1\xc2\x85next", "c1\\u0085next", {"\\u0085"}},
      {"line\xe2\x80\xa8sep", "line\\u2028sep", {"\\u2028"}},
      {"evil\xe2\x80\xaetxt.exe", "evil\\u202Etxt.exe", {"\\u202E"}},
      {"iso\xe2\x81\xa6late\xe2\x81\xa9", "iso\\u2066late\\u2069", {"\\u2066", "\\u2069"}},
      {"mark\xe2\x80\x8e\xe2\x80\x8f", "mark\\u200E\\u200F", {"\\u200E", "\\u200F"}},
      {"zero\xe2\x80\x8bwidth\xef\xbb\xbf", "zero\\u200Bwidth\\uFEFF", {"\\u200B", "\\uFEFF"}},
      {"soft\xc2\xadhyphen", "soft\\u00ADhyphen", {"\\u00AD"}},
      {"joiner\xe2\x80\x8d", "joiner\xe2\x80\x8d", {}},  // scripts and emoji need it
      // A backslash is itself unless an escape could be read from it.
      {"back\\slash", "back\\slash", {}},
      {"C:\\Users\\", "C:\\Users\\", {}},
      {"C:\\temp", "C:\\\\temp", {"\\\\"}},  // \t would read as a tab
      {"a\\nb", "a\\\\nb", {"\\\\"}},
      {"a\\x41", "a\\\\x41", {"\\\\"}},
      {"a\\u202E", "a\\\\u202E", {"\\\\"}},
      {"two\\\\", "two\\\\\\", {"\\\\"}},
      {"a\\\n", "a\\\\\\n", {"\\\\", "\\n"}},
      {"a\\\xff", "a\\\\\\xFF", {"\\\\", "\\xFF"}},
      {"", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    const platform::ShownName shown = platform::shownName(c.raw);
    EXPECT_EQ(shown.text, c.shown);
    EXPECT_EQ(platform::visibleName(c.raw), c.shown);
    std::vector<std::string> marked;
    for (const auto& [start, length] : shown.escapes) marked.push_back(shown.text.substr(start, length));
    EXPECT_EQ(marked, c.escapes);
    EXPECT_EQ(platform::isShownAsItIs(c.raw), c.raw == c.shown);
    EXPECT_EQ(readBack(shown.text), c.raw);
  }
}

TEST(NameText, ADisplayThatStylesItsEscapesShowsABackslashOnce) {
  const std::pair<std::string, std::string> cases[] = {
      {"back\\slash", "back\\slash"},
      {"a\\nb", "a\\nb"},
      {"a\\\n", "a\\\\n"},  // the backslash, then the escape of the newline
      {"two\\\\", "two\\\\"},
  };
  for (const auto& [raw, text] : cases) {
    const platform::ShownName shown = platform::shownName(raw, platform::Backslashes::AsTheyAre);
    EXPECT_EQ(shown.text, text);
    for (const auto& [start, length] : shown.escapes) EXPECT_NE(shown.text.substr(start, length), "\\\\") << text;
  }
}

TEST(NameText, NoTwoNamesShowAlikeAndEachReadsBackToItsBytes) {
  std::vector<std::string> names = testsupport::awkwardNames();
  // And values at random: every byte anywhere, backslashes and escapable
  // characters more often than chance would bring them.
  std::mt19937 random(28);
  const std::vector<std::string> pieces = {"\\", "x", "u", "n", "0A", "FF", "\xe2\x80\xae", "\xc2\x85", "\xc3\xa9", "\xe6\x97"};
  for (int k = 0; k < 20000; ++k) {
    std::string name;
    const int length = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < length; ++i) {
      if (random() % 2)
        name += pieces[random() % pieces.size()];
      else if (const char b = static_cast<char>(1 + random() % 255); b != '/')
        name += b;
    }
    names.push_back(name);
  }
  std::set<std::string> distinct(names.begin(), names.end());
  std::set<std::string> shown, shownStyled;
  for (const std::string& raw : distinct) {
    const platform::ShownName s = platform::shownName(raw);
    ASSERT_TRUE(isOnePlainLine(s.text)) << s.text;
    ASSERT_EQ(readBack(s.text), raw) << s.text;
    shown.insert(s.text);
    // With the escapes told by their style, the text and where they stand
    // together tell every name apart.
    const platform::ShownName styled = platform::shownName(raw, platform::Backslashes::AsTheyAre);
    ASSERT_TRUE(isOnePlainLine(styled.text)) << styled.text;
    std::string key = styled.text + '\0';
    for (const auto& [start, length] : styled.escapes) key += std::to_string(start) + ',' + std::to_string(length) + ';';
    shownStyled.insert(key);
  }
  EXPECT_EQ(shown.size(), distinct.size());
  EXPECT_EQ(shownStyled.size(), distinct.size());
}
