#include "tlr32/win32_text.h"

#include <cerrno>
#include <vector>

namespace tlr {

std::string utf8FromWide(std::u16string_view w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string wideFromUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto tail = [&](size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = byte(i);
    uint32_t c = 0xFFFD;
    size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF && tail(i + 1)) {
      c = ((b & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
      n = 2;
    } else if (b >= 0xE0 && b <= 0xEF && tail(i + 1) && tail(i + 2)) {
      const uint32_t v = ((b & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
      if (v >= 0x800) {  // not overlong; a surrogate stands for itself (WTF-8)
        c = v;
        n = 3;
      }
    } else if (b >= 0xF0 && b <= 0xF4 && tail(i + 1) && tail(i + 2) && tail(i + 3)) {
      const uint32_t v = ((b & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) | ((byte(i + 2) & 0x3Fu) << 6) |
                         (byte(i + 3) & 0x3Fu);
      if (v >= 0x10000 && v <= 0x10FFFF) {
        c = v;
        n = 4;
      }
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return out;
}

std::u16string longPathOf(std::u16string_view path) {
  std::u16string p(path);
  for (char16_t& c : p)
    if (c == u'/') c = u'\\';
  std::u16string prefix;
  std::u16string rest;
  if (p.rfind(u"\\\\?\\", 0) == 0) return p;  // taken literally, as given
  if (p.size() >= 3 && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z')) && p[1] == u':' &&
      p[2] == u'\\') {
    prefix = u"\\\\?\\" + p.substr(0, 2);
    rest = p.substr(2);
  } else if (p.rfind(u"\\\\", 0) == 0 && p.size() > 2 && p[2] != u'\\') {
    prefix = u"\\\\?\\UNC";
    rest = p.substr(1);
  } else {
    return {};
  }
  // Components, with "." dropped and ".." taking the one before it away (never
  // the drive or the share).
  std::vector<std::u16string> parts;
  size_t kept = prefix.rfind(u"UNC") != std::u16string::npos ? 2 : 0;  // server and share stay
  for (size_t at = 1; at <= rest.size();) {
    size_t end = rest.find(u'\\', at);
    if (end == std::u16string::npos) end = rest.size();
    std::u16string part = rest.substr(at, end - at);
    if (part == u"..") {
      if (parts.size() > kept) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    at = end + 1;
  }
  std::u16string out = prefix;
  for (const auto& part : parts) (out += u'\\') += part;
  if (parts.empty() || (kept && parts.size() == kept)) out += u'\\';
  return out;
}

int errnoFromWin32(uint32_t error) {
  switch (error) {
    case 2: case 3: case 15: case 53: case 67: case 123: case 161:  // not found, bad name or path
      return ENOENT;
    case 5: case 32: case 33: case 1920:  // access, sharing, lock, cannot be reached by a link
      return EACCES;
    case 4: return EMFILE;
    case 8: case 14: return ENOMEM;
    case 19: return EROFS;
    case 39: case 112: return ENOSPC;
    case 80: case 183: return EEXIST;
    case 145: return ENOTEMPTY;
    case 206: return ENAMETOOLONG;
    case 267: return ENOTDIR;
    case 1005: case 1006: case 23: return EIO;
    default: return EINVAL;
  }
}

}  // namespace tlr
