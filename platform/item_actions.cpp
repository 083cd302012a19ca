#include "platform/item_actions.h"

#include "platform/name_text.h"

#include <QByteArray>
#include <QFile>
#include <QMimeData>
#include <QMimeDatabase>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/name_text.h"
#include "platform/path.h"

namespace platform {
namespace {

std::vector<std::string> splitList(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep))
    if (!trimmed(part).empty()) out.push_back(trimmed(part));
  return out;
}

// The groups of an INI-style file (desktop entries, mimeapps.list).
using Groups = std::map<std::string, std::map<std::string, std::string>>;
Groups readGroups(const std::string& file) {
  Groups groups;
  std::ifstream in(file);
  std::string line, group;
  while (std::getline(in, line)) {
    line = trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      group = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos) groups[group][trimmed(line.substr(0, eq))] = trimmed(line.substr(eq + 1));
  }
  return groups;
}

std::string env(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::string homeFolder() { return env("HOME", "/"); }

// The executable a program name stands for: a name with a "/" as it is, any
// other the first match on PATH. Empty when there is none.
std::string programPath(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return name;
  for (const std::string& dir : splitList(env("PATH", "/usr/local/bin:/usr/bin:/bin"), ':')) {
    const std::string candidate = dir + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

// The folders that hold "applications/", most important first.
std::vector<std::string> dataFolders() {
  std::vector<std::string> out{env("XDG_DATA_HOME", homeFolder() + "/.local/share")};
  for (const std::string& d : splitList(env("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':')) out.push_back(d);
  return out;
}

std::vector<std::string> mimeappsFiles() {
  std::vector<std::string> out{env("XDG_CONFIG_HOME", homeFolder() + "/.config") + "/mimeapps.list"};
  for (const std::string& d : splitList(env("XDG_CONFIG_DIRS", "/etc/xdg"), ':')) out.push_back(d + "/mimeapps.list");
  for (const std::string& d : dataFolders()) out.push_back(d + "/applications/mimeapps.list");
  return out;
}

// Every application's desktop file by its id; the first folder that has an
// id wins, as desktops look applications up.
std::map<std::string, std::string> desktopFiles() {
  std::map<std::string, std::string> files;
  for (const std::string& folder : dataFolders()) {
    const std::string apps = folder + "/applications";
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(apps, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->path().extension() == ".desktop") names.push_back(it->path().string());
    for (const std::string& f : names) {
      std::string id = f.substr(apps.size() + 1);
      std::replace(id.begin(), id.end(), '/', '-');
      files.emplace(id, f);
    }
  }
  return files;
}

// Where the character at path[i] cannot stand in a shell word as it is (a
// byte of no valid UTF-8 character, a control character a terminal would act
// on, a mark that turns the line around it): its length, else 0.
size_t bytesToQuote(const std::string& path, size_t i) {
  char32_t cp;
  const size_t n = utf8CharAt(path, i, cp);
  if (n == 0) return 1;
  return isEscapedCharacter(cp) ? n : 0;
}

std::string timeText(const timespec& t) {
  std::tm local{};
  ::localtime_r(&t.tv_sec, &local);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

}  // namespace

std::string mimeTypeOf(const std::string& path) {
  static QMimeDatabase db;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "inode/directory";
  return db.mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(path))).name().toStdString();
}

std::vector<DesktopApp> applicationsFor(const std::string& mimeType) {
  const std::map<std::string, std::string> files = desktopFiles();
  std::vector<std::string> defaults, added;
  std::set<std::string> removed;
  for (const std::string& f : mimeappsFiles()) {
    Groups g = readGroups(f);
    for (const std::string& id : splitList(g["Default Applications"][mimeType], ';')) defaults.push_back(id);
    for (const std::string& id : splitList(g["Added Associations"][mimeType], ';')) added.push_back(id);
    for (const std::string& id : splitList(g["Removed Associations"][mimeType], ';')) removed.insert(id);
  }
  std::vector<DesktopApp> byDefault, rest;
  std::set<std::string> seen;
  auto take = [&](const std::string& id, bool declaresType, std::vector<DesktopApp>& into) {
    if (seen.count(id) || removed.count(id)) return;
    auto it = files.find(id);
    if (it == files.end()) return;
    Groups g = readGroups(it->second);
    auto& e = g["Desktop Entry"];
    if (e["Type"] != "Application" || e["Exec"].empty() || e["Hidden"] == "true" || e["NoDisplay"] == "true") return;
    if (declaresType) {
      const std::vector<std::string> types = splitList(e["MimeType"], ';');
      if (std::find(types.begin(), types.end(), mimeType) == types.end()) return;
    }
    const bool terminal = e["Terminal"] == "true";
    if (terminal && terminalCommand().empty()) return;  // it could not run
    seen.insert(id);
    into.push_back({id, e["Name"].empty() ? id : e["Name"], e["Exec"], terminal});
  };
  for (const std::string& id : defaults) take(id, false, byDefault);
  for (const std::string& id : added) take(id, false, rest);
  for (const auto& [id, file] : files) take(id, true, rest);
  std::sort(rest.begin(), rest.end(), [](const DesktopApp& a, const DesktopApp& b) { return a.name < b.name; });
  byDefault.insert(byDefault.end(), rest.begin(), rest.end());
  return byDefault;
}

std::vector<std::string> commandFor(const DesktopApp& app, const std::string& path) {
  // Split Exec= into arguments: double quotes group, a backslash escapes.
  std::vector<std::string> raw;
  std::string cur;
  bool quoted = false, any = false;
  for (size_t i = 0; i < app.exec.size(); ++i) {
    const char c = app.exec[i];
    if (quoted && c == '\\' && i + 1 < app.exec.size()) {
      cur.push_back(app.exec[++i]);
    } else if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any || !cur.empty()) raw.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur.push_back(c);
    }
  }
  if (any || !cur.empty()) raw.push_back(cur);
  std::vector<std::string> args;
  for (const std::string& a : raw) {
    if (a == "%f" || a == "%F") {
      args.push_back(path);
      continue;
    }
    if (a == "%u" || a == "%U") {
      args.push_back(fileUrl(path));
      continue;
    }
    std::string out;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] != '%' || i + 1 >= a.size()) {
        out.push_back(a[i]);
        continue;
      }
      const char code = a[++i];
      if (code == '%') out.push_back('%');
      else if (code == 'c') out += app.name;
      else if (code == 'f' || code == 'F') out += path;
      else if (code == 'u' || code == 'U') out += fileUrl(path);
      // %i, %k and the deprecated codes drop out
    }
    if (!out.empty()) args.push_back(out);
  }
  return args;
}

std::vector<std::string> terminalCommand() {
  // The option after which each runs the rest of its arguments as a command;
  // x-terminal-emulator takes -e by Debian's rule for it.
  static const std::pair<const char*, const char*> kKnown[] = {
      {"x-terminal-emulator", "-e"}, {"gnome-terminal", "--"}, {"konsole", "-e"}, {"xfce4-terminal", "-x"},
      {"mate-terminal", "-x"},       {"lxterminal", "-e"},     {"qterminal", "-e"}, {"terminator", "-x"},
      {"alacritty", "-e"},           {"kitty", ""},            {"foot", ""},        {"zutty", "-e"},
      {"urxvt", "-e"},               {"rxvt", "-e"},           {"xterm", "-e"}};
  auto withOption = [](const std::string& program, const std::string& option) {
    std::vector<std::string> out{program};
    if (!option.empty()) out.push_back(option);
    return out;
  };
  if (const char* chosen = std::getenv("TERMINAL"); chosen && *chosen && !programPath(chosen).empty()) {
    const std::string name = std::string(chosen).substr(std::string(chosen).rfind('/') + 1);
    for (const auto& [known, option] : kKnown)
      if (name == known) return withOption(chosen, option);
    return withOption(chosen, "-e");
  }
  for (const auto& [known, option] : kKnown)
    if (!programPath(known).empty()) return withOption(known, option);
  return {};
}

std::string startDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return "there is no command to run";
  const std::string program = programPath(argv[0]);
  if (program.empty()) return "\"" + argv[0] + "\" cannot be found";
  if (::access(program.c_str(), X_OK) != 0) return "\"" + argv[0] + "\": " + std::strerror(errno);
  // Everything the child needs is made before fork: between fork and exec a
  // child of a threaded program may only make async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return std::strerror(errno);
  // Two forks: the program's parent ends at once and is reaped here, so the
  // program belongs to init and leaves no zombie behind. An exec that fails
  // writes its errno into the pipe; one that succeeds closes it unwritten.
  const pid_t child = ::fork();
  if (child < 0) {
    const int err = errno;
    ::close(report[0]);
    ::close(report[1]);
    return std::strerror(err);
  }
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execv(program.c_str(), args.data());
      const int err = errno;
      [[maybe_unused]] ssize_t n = ::write(report[1], &err, sizeof err);
      ::_exit(127);
    }
    if (grandchild < 0) {
      const int err = errno;
      [[maybe_unused]] ssize_t n = ::write(report[1], &err, sizeof err);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof err)) return "\"" + argv[0] + "\": " + std::strerror(err);
  return {};
}

std::string launch(const DesktopApp& app, const std::string& path) {
  std::vector<std::string> args = commandFor(app, path);
  if (args.empty()) return "its desktop file has no command";
  if (app.terminal) {
    std::vector<std::string> terminal = terminalCommand();
    if (terminal.empty()) return "it runs in a terminal, and no terminal emulator is installed";
    terminal.insert(terminal.end(), args.begin(), args.end());
    args = std::move(terminal);
  }
  return startDetached(args);
}

std::string fileUrl(const std::string& path) {
  return "file://" + percentEncoded(path, "-._~");
}

std::string pathText(const std::string& path) {
  bool asItIs = true;
  for (size_t i = 0; i < path.size() && asItIs;) {
    char32_t cp;
    const size_t n = utf8CharAt(path, i, cp);
    asItIs = n > 0 && !isEscapedCharacter(cp);
    i += n;
  }
  if (asItIs) return path;
  // Quoted runs of characters, and $'\xNN' for every byte that cannot stand
  // in them.
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  bool open = false;
  for (size_t i = 0; i < path.size();) {
    if (const size_t raw = bytesToQuote(path, i); raw > 0) {
      if (open) out.push_back('\'');
      open = false;
      out += "$'";
      for (size_t k = 0; k < raw; ++k, ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        out += "\\x";
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      out.push_back('\'');
      continue;
    }
    char32_t cp;
    const size_t n = utf8CharAt(path, i, cp);
    if (cp == '\'') {
      out += open ? "'\\''" : "\\'";
      i += n;
      continue;
    }
    if (!open) out.push_back('\'');
    open = true;
    out.append(path, i, n);
    i += n;
  }
  if (open) out.push_back('\'');
  return out;
}

QMimeData* clipboardData(const std::vector<std::string>& paths, bool cut) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  QByteArray gnome = cut ? "cut" : "copy";
  QString text;
  for (const std::string& p : paths) {
    const QByteArray encoded = QByteArray::fromStdString(fileUrl(p));
    urls << QUrl::fromEncoded(encoded, QUrl::StrictMode);
    gnome += "\n" + encoded;
    text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(pathText(p));
  }
  data->setUrls(urls);
  data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
  if (cut) data->setData(QStringLiteral("application/x-kde-cutselection"), "1");
  data->setText(text);
  return data;
}

std::string renameItem(const std::string& path, const std::string& newName) {
  if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
      newName.find('\0') != std::string::npos)
    return "a name may not be empty, \".\", \"..\" or hold a \"/\"";
  const std::string target = std::string(folderPart(path)) + newName;
  if (target == path) return {};
  const int err = renameNoReplace(path, target);  // never over an existing item
  if (err == 0) return {};
  if (err == EEXIST) return "an item named \"" + newName + "\" already exists";
  return std::strerror(err);
}

bool itemFacts(const std::string& path, ItemFacts& f) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  static QMimeDatabase db;
  if (S_ISDIR(st.st_mode)) {
    f.type = "Folder";
  } else if (S_ISLNK(st.st_mode)) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    f.linkTarget = n > 0 ? target.substr(0, static_cast<size_t>(n)) : std::string();
    f.type = "Link to " + f.linkTarget;
  } else {
    f.type = db.mimeTypeForName(QString::fromStdString(mimeTypeOf(path))).comment().toStdString();
  }
  f.location = withoutTrailingDelim(std::string(folderPart(path)));
  f.bytes = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  f.diskBytes = static_cast<uint64_t>(st.st_blocks) * 512;
  if (const passwd* pw = ::getpwuid(st.st_uid)) f.owner = pw->pw_name; else f.owner = std::to_string(st.st_uid);
  if (const group* gr = ::getgrgid(st.st_gid)) f.group = gr->gr_name; else f.group = std::to_string(st.st_gid);
  const char* rwx = "rwxrwxrwx";
  std::string perms;
  for (int i = 0; i < 9; ++i) perms.push_back((st.st_mode & (0400 >> i)) ? rwx[i] : '-');
  char octal[8];
  std::snprintf(octal, sizeof octal, "%03o", static_cast<unsigned>(st.st_mode & 0777));
  f.permissions = perms + " (" + octal + ")";
  f.modified = timeText(st.st_mtim);
  f.accessed = timeText(st.st_atim);
  f.changed = timeText(st.st_ctim);
  return true;
}

}  // namespace platform
