// Names and paths between UTF-8 and Windows' UTF-16, and Windows file-name
// patterns: plain functions, checked on every platform (the Windows tests
// run them under wine as well).
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#ifndef _WIN32
#include <fnmatch.h>
#endif

#include "tlr32/wildcard.h"
#include "tlr32/win32_text.h"

TEST(WindowsText, EveryUtf16NameSurvivesTheRoundTripAndValidUtf16GivesPlainUtf8) {
  struct Case {
    std::u16string wide;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"plain.txt", "plain.txt"},
      {u"caf\u00e9", "caf\xc3\xa9"},
      {u"\u20ac\u202e", "\xe2\x82\xac\xe2\x80\xae"},
      {u"\U0001F600x", "\xf0\x9f\x98\x80x"},
      {std::u16string(1, char16_t(0xD800)) + u"a", "\xed\xa0\x80" "a"},       // unpaired high surrogate
      {u"b" + std::u16string(1, char16_t(0xDFFF)), "b\xed\xbf\xbf"},          // unpaired low surrogate
      {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xed\xb0\x80\xed\xa0\x80"},  // reversed pair
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(tlr::utf8FromWide(c.wide), c.utf8);
    EXPECT_EQ(tlr::wideFromUtf8(c.utf8), c.wide);
  }
  // Bytes that are no UTF-8 become U+FFFD each, never a short read.
  const struct {
    std::string bytes;
    std::u16string wide;
  } broken[] = {{"\xff", u"\uFFFD"}, {"a\xc3", u"a\uFFFD"}, {"\xc0\xaf", u"\uFFFD\uFFFD"}, {"\xf5\x80\x80\x80z", u"\uFFFD\uFFFD\uFFFD\uFFFDz"}};
  for (const auto& b : broken) EXPECT_EQ(tlr::wideFromUtf8(b.bytes), b.wide);
}

TEST(WindowsText, LongPathsAreAbsoluteWithDotsResolvedAndRelativeOnesRefused) {
  const struct {
    std::u16string given, longForm;
  } cases[] = {
      {u"C:\\", u"\\\\?\\C:\\"},
      {u"C:\\a\\b", u"\\\\?\\C:\\a\\b"},
      {u"c:/a/./b/", u"\\\\?\\c:\\a\\b"},
      {u"Z:\\a\\..\\..\\b", u"\\\\?\\Z:\\b"},  // never above the drive
      {u"\\\\server\\share\\x", u"\\\\?\\UNC\\server\\share\\x"},
      {u"\\\\server\\share\\..\\..", u"\\\\?\\UNC\\server\\share\\"},  // nor above the share
      {u"\\\\?\\C:\\lit\\.\\eral", u"\\\\?\\C:\\lit\\.\\eral"},        // the long form is literal
      {u"relative\\x", u""},
      {u"C:drive-relative", u""},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(tlr::longPathOf(c.given), c.longForm) << tlr::utf8FromWide(c.given);
}

TEST(WindowsText, FilePatternsMatchAsWindowsReadsThem) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*", "anything", true},         {"*.txt", "notes.TXT", true},   {"*.txt", "notes.txt.bak", false},
      {"a?c", "abc", true},            {"a?c", "ac", false},           {"a?c", "a\xc3\xa9" "c", true},  // ? is one character
      {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},  // no blow-up
      {"**x", "x", true},              {"", "", true},                 {"", "x", false},
      {"data[1].csv", "data[1].csv", true},  // brackets are plain characters
      {"R\xc3\xa9sum\xc3\xa9*", "R\xc3\xa9sum\xc3\xa9.doc", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tlr::wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
#ifndef _WIN32
    // Where the two languages agree (no brackets), as the Linux engine matches.
    if (std::string(c.pattern).find('[') == std::string::npos && std::string(c.pattern) != "a?c")
      EXPECT_EQ(::fnmatch(c.pattern, c.name, FNM_CASEFOLD) == 0, c.matches) << c.pattern << " / " << c.name;
#endif
  }
}

TEST(WindowsText, Win32ErrorsReadAsTheNearestErrno) {
  const struct {
    uint32_t error;
    int errnoValue;
  } cases[] = {{2, ENOENT}, {3, ENOENT}, {5, EACCES}, {32, EACCES}, {183, EEXIST}, {267, ENOTDIR}, {112, ENOSPC}, {999999, EINVAL}};
  for (const auto& c : cases) EXPECT_EQ(tlr::errnoFromWin32(c.error), c.errnoValue) << c.error;
}
