#pragma once
// Path conventions of the program on this platform: "/" separates, "/" is the
// root that plays the part of a drive root. Paths are byte strings: a name
// need not be valid UTF-8 and may hold any byte but "/" and NUL. On Windows a
// backslash separates, the roots are drives (C:\) and shares (\\server\share\)
// and paths are UTF-8.
#include <cctype>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';

// The length of the root a path starts with: 3 for a drive (C:\), the whole
// share for \\server\share with its closing separator if any; 0 for a
// relative path.
inline size_t rootLength(std::string_view path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == kPathDelim)
    return 3;
  if (path.size() >= 2 && path[0] == kPathDelim && path[1] == kPathDelim) {
    const size_t share = path.find(kPathDelim, 2);
    if (share == std::string_view::npos || share == 2) return 0;
    const size_t end = path.find(kPathDelim, share + 1);
    return end == std::string_view::npos ? path.size() : end + 1;
  }
  return 0;
}
inline bool isAbsolutePath(std::string_view path) { return rootLength(path) > 0; }
inline bool isRootFolder(std::string_view folderPath) {
  const size_t root = rootLength(folderPath);
  return root > 0 && (root == folderPath.size() || (root == folderPath.size() - 1 && folderPath.back() == kPathDelim));
}
#else
inline constexpr char kPathDelim = '/';

// The length of the root a path starts with: 1 for "/", 0 for a relative path.
inline size_t rootLength(std::string_view path) { return !path.empty() && path.front() == kPathDelim ? 1 : 0; }
inline bool isAbsolutePath(std::string_view path) { return rootLength(path) > 0; }
inline bool isRootFolder(std::string_view folderPath) { return folderPath == "/"; }
#endif

inline bool endsWithDelim(std::string_view path) {
  return !path.empty() && path.back() == kPathDelim;
}

inline std::string withTrailingDelim(std::string path) {
  if (!endsWithDelim(path)) path.push_back(kPathDelim);
  return path;
}

// "/a/b/" -> "/a/b"; "/" stays, and so does a drive's root on Windows.
inline std::string withoutTrailingDelim(std::string path) {
#ifdef _WIN32
  const size_t keep = rootLength(path) == 3 ? 3 : 1;
#else
  const size_t keep = 1;
#endif
  while (path.size() > keep && path.back() == kPathDelim) path.pop_back();
  return path;
}

// The last name of a path, without separators after it.
inline std::string baseName(const std::string& path) {
  const std::string p = withoutTrailingDelim(path);
  return p.substr(p.rfind(kPathDelim) + 1);
}

// The folder part of a path, up to and including its last separator; empty when
// there is none.
inline std::string_view folderPart(std::string_view path) {
  auto pos = path.rfind(kPathDelim);
  return pos == std::string_view::npos ? std::string_view{} : path.substr(0, pos + 1);
}

// A line of a text file without its surrounding blanks, tabs and carriage return.
inline std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// A path's bytes percent-encoded, as URLs and trash records carry them: ASCII
// letters, digits, "/" and the given marks stay, every other byte (a name's
// non-UTF-8 bytes included) becomes %XX.
inline std::string percentEncoded(std::string_view path, std::string_view keptMarks) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80 && (std::isalnum(c) || c == kPathDelim || keptMarks.find(ch) != std::string_view::npos)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}



}  // namespace platform
