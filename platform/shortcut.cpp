#include "platform/shortcut.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"

namespace platform {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "file:///a%20b" -> "/a b"; empty for anything but a local file URL.
std::string localFileOfUrl(const std::string& url) {
  std::string rest;
  if (url.rfind("file:///", 0) == 0)
    rest = url.substr(7);
  else if (url.rfind("file://localhost/", 0) == 0)
    rest = url.substr(16);
  else if (!url.empty() && url[0] == '/')
    rest = url;  // a bare path, as some desktops write it
  else
    return {};
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2])));
      i += 2;
    } else if (rest[i] == '?' || rest[i] == '#') {
      break;
    } else {
      out.push_back(rest[i]);
    }
  }
  return out.find('\0') == std::string::npos ? out : std::string();
}

// "/a/./b/../c" -> "/a/c", by the text alone (for targets that do not exist).
std::string lexicallyClean(const std::string& path) {
  std::vector<std::string> parts;
  std::istringstream in(path);
  std::string part;
  while (std::getline(in, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

}  // namespace

std::string desktopLinkTarget(const std::string& text) {
  std::istringstream in(text);
  std::string line, type, url;
  bool inEntry = false;
  while (std::getline(in, line)) {
    line = trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = trimmed(line.substr(0, eq)), value = trimmed(line.substr(eq + 1));
    if (key == "Type") type = value;
    if (key == "URL" || key == "URL[$e]") url = value;
  }
  if (type != "Link") return {};
  return localFileOfUrl(url);
}

std::string resolveShortcut(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return {};
  if (S_ISLNK(st.st_mode)) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return {};
    target.resize(static_cast<size_t>(n));
    if (target[0] != kPathDelim) target = std::string(folderPart(path)) + target;
    if (char* real = ::realpath(target.c_str(), nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
    return lexicallyClean(target);
  }
  // A desktop link file: small, regular, named so.
  if (S_ISREG(st.st_mode) && st.st_size < 65536 && path.size() > 8 &&
      path.compare(path.size() - 8, 8, ".desktop") == 0) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return desktopLinkTarget(text.str());
  }
  return {};
}

}  // namespace platform
