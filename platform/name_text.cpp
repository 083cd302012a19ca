#include "platform/name_text.h"

#include <cstdio>

namespace platform {

size_t utf8CharAt(std::string_view s, size_t i, char32_t& codePoint) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) {
    codePoint = c;
    return 1;
  }
  size_t n;
  char32_t cp, least;
  if ((c & 0xE0) == 0xC0) {
    n = 2, cp = c & 0x1F, least = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, cp = c & 0x0F, least = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, cp = c & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  codePoint = cp;
  return n;
}

bool isValidUtf8(std::string_view s) {
  char32_t cp;
  for (size_t i = 0, n; i < s.size(); i += n)
    if ((n = utf8CharAt(s, i, cp)) == 0) return false;
  return true;
}

bool isEscapedCharacter(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) return true;  // C0, DEL, C1
  switch (cp) {
    case 0x00AD:  // soft hyphen: shown only where a line breaks
    case 0x061C:  // Arabic letter mark
    case 0x180E:  // Mongolian vowel separator
    case 0x200B:  // zero-width space
    case 0x200E:  // left-to-right mark
    case 0x200F:  // right-to-left mark
    case 0xFEFF:  // zero-width no-break space (byte order mark)
      return true;
    default:
      break;
  }
  return (cp >= 0x2028 && cp <= 0x202E) ||  // line and paragraph separators, embeddings and overrides
         (cp >= 0x2060 && cp <= 0x2064) ||  // word joiner, invisible operators
         (cp >= 0x2066 && cp <= 0x206F) ||  // isolates and the deprecated format characters
         (cp >= 0xFFF9 && cp <= 0xFFFB);    // interlinear annotation
}

namespace {

// The characters that may follow a backslash in an escape.
bool startsEscapeBody(char c) { return c == '\\' || c == 'x' || c == 'u' || c == 'n' || c == 'r' || c == 't'; }

// Whether what stands at raw[i] shows as an escape or a backslash: then a
// backslash just before it must show as \\ to be read as itself.
bool showsFromBackslash(std::string_view raw, size_t i) {
  if (i >= raw.size()) return false;
  if (startsEscapeBody(raw[i])) return true;
  char32_t cp;
  return utf8CharAt(raw, i, cp) == 0 || isEscapedCharacter(cp);
}

}  // namespace

bool isShownAsItIs(std::string_view raw) {
  for (size_t i = 0; i < raw.size();) {
    const auto c = static_cast<unsigned char>(raw[i]);
    if (c == '\\') {
      if (showsFromBackslash(raw, i + 1)) return false;
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      ++i;
      continue;
    }
    char32_t cp;
    const size_t n = utf8CharAt(raw, i, cp);
    if (n == 0 || isEscapedCharacter(cp)) return false;
    i += n;
  }
  return true;
}

ShownName shownName(std::string_view raw, Backslashes backslashes) {
  ShownName out;
  if (isShownAsItIs(raw) && (backslashes == Backslashes::DoubledWhereAmbiguous || raw.find('\\') == raw.npos)) {
    out.text.assign(raw);
    return out;
  }
  out.text.reserve(raw.size() + 8);
  auto escape = [&](const char* text) {
    out.escapes.emplace_back(out.text.size(), std::char_traits<char>::length(text));
    out.text += text;
  };
  char buf[16];
  for (size_t i = 0; i < raw.size();) {
    char32_t cp = 0;
    const size_t n = utf8CharAt(raw, i, cp);
    if (n == 0) {
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(raw[i]));
      escape(buf);
      ++i;
      continue;
    }
    if (cp == '\\') {
      if (backslashes == Backslashes::DoubledWhereAmbiguous && showsFromBackslash(raw, i + 1))
        escape("\\\\");
      else
        out.text += '\\';
    } else if (cp == '\n') {
      escape("\\n");
    } else if (cp == '\r') {
      escape("\\r");
    } else if (cp == '\t') {
      escape("\\t");
    } else if (isEscapedCharacter(cp)) {
      std::snprintf(buf, sizeof buf, cp < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(cp));
      escape(buf);
    } else {
      out.text.append(raw.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string visibleName(std::string_view raw) {
  // Most names show as they are: one scan, no second string built.
  if (isShownAsItIs(raw)) return std::string(raw);
  return shownName(raw).text;
}

}  // namespace platform
