#include "tlr32/report.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "platform/fs.h"
#include "platform/path.h"
#include "tlr32/progress.h"
#include "tlr32/replace_file.h"

namespace tlr {
namespace {

struct Row {
  std::string path;  // relative to the reported folder
  Figures f;
  bool folder = false;
};

std::string lowerExtension(const std::string& name) {
  const auto slash = name.rfind('/');
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

uint64_t roundUpTo(uint64_t size, uint64_t unit) { return unit ? (size + unit - 1) / unit * unit : size; }

// A JSON string as ncdu writes names: quote and backslash escaped, control
// characters as \u00XX, every other byte as it is (names need not be UTF-8).
void jsonString(std::string& out, const std::string& s) {
  out.push_back('"');
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
}

// Valid UTF-8 stays; a byte that starts no valid sequence becomes U+FFFD.
std::string validUtf8(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = n > 0 && i + n <= s.size();
    for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(s[i + k]) >> 6) == 2;
    if (ok) {
      out.append(s, i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string isoTime(const timespec& t) {
  if (t.tv_sec == kNoTime) return {};
  std::tm utc{};
  if (!::gmtime_r(&t.tv_sec, &utc)) return {};
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

std::string nowText() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return isoTime(now);
}

// The walk of the report: one thread, relative to folder descriptors, with
// the engine's counting rules; a file with several links counts once.
class ReportWalk {
 public:
  ReportWalk(const WalkSettings& s, int maxDepth, std::string* json) : m_s(s), m_maxDepth(maxDepth), m_json(json) {}
  std::vector<Row> rows;

  // The figures of what lies inside the open folder fd (closed here).
  Figures contents(int fd, dev_t dev, const std::string& rel, int depth) {
    Figures total;
    std::vector<std::string> names;
    if (DIR* d = ::fdopendir(::dup(fd))) {
      while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
      ::closedir(d);
    }
    const FileSpec* filter = (m_s.fileSpec && !m_s.fileSpec->matchesAll()) ? m_s.fileSpec : nullptr;
    Figures own;  // this folder's own entries, for the progress counts
    for (const std::string& name : names) {
      struct stat st;
      if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // vanished
      const std::string path = rel.empty() ? name : rel + "/" + name;
      if (S_ISDIR(st.st_mode)) {
        const size_t row = depth <= m_maxDepth || m_maxDepth < 0 ? addRow(path, true) : SIZE_MAX;
        Figures sub;
        sub.seeTime(st.st_mtim);
        if (m_s.allocatedBlocks) sub.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
        if (m_json) jsonEntry(name, st, dev, true);
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (child < 0) {
          ++sub.unreadableDirs;
          if (m_json) m_json->append(",\"read_error\":true}");
        } else if (st.st_dev != dev && isPseudoFileSystem(child)) {
          ::close(child);
          if (m_json) m_json->append(",\"excluded\":\"kernfs\"}");
        } else {
          if (m_json) m_json->push_back('}');
          sub.add(contents(child, st.st_dev, path, depth + 1));
        }
        if (m_json) m_json->push_back(']');
        ++total.dirs;
        ++own.dirs;
        total.add(sub);
        if (row != SIZE_MAX) rows[row].f = sub;
        continue;
      }
      const bool counted = !filter || filter->matches(name.c_str());
      if (m_json) {
        jsonEntry(name, st, dev, false);
        if (!counted) m_json->append(",\"excluded\":\"pattern\"");
        m_json->push_back('}');
      }
      if (!counted) continue;
      Figures f;
      if (!(S_ISREG(st.st_mode) && st.st_nlink > 1 && !m_links.insert({st.st_dev, st.st_ino}).second))
        WorkerPool::countFile(st, m_s, f);
      total.add(f);
      own.add(f);
      if (depth <= m_maxDepth || m_maxDepth < 0) rows[addRow(path, false)].f = f;
    }
    ::close(fd);
    progress().addGrowth(Figures{}, own);
    return total;
  }

  void jsonEntry(const std::string& name, const struct stat& st, dev_t parentDev, bool folder) {
    std::string& j = *m_json;
    j += folder ? ",\n[{\"name\":" : ",\n{\"name\":";
    jsonString(j, name);
    char buf[160];
    std::snprintf(buf, sizeof buf, ",\"asize\":%" PRIu64 ",\"dsize\":%" PRIu64 ",\"ino\":%" PRIu64 ",\"mtime\":%" PRId64,
                  static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(st.st_blocks) * 512,
                  static_cast<uint64_t>(st.st_ino), static_cast<int64_t>(st.st_mtim.tv_sec));
    j += buf;
    if (st.st_dev != parentDev) j += ",\"dev\":" + std::to_string(static_cast<uint64_t>(st.st_dev));
    if (!folder && !S_ISREG(st.st_mode)) j += ",\"notreg\":true";
    if (!folder && S_ISREG(st.st_mode) && st.st_nlink > 1)
      j += ",\"hlnkc\":true,\"nlink\":" + std::to_string(static_cast<uint64_t>(st.st_nlink));
  }

 private:
  struct Key {
    dev_t dev;
    ino_t ino;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept { return std::hash<uint64_t>()(k.ino * 31 + k.dev); }
  };
  size_t addRow(const std::string& path, bool folder) {
    rows.push_back({path, {}, folder});
    return rows.size() - 1;
  }

  const WalkSettings& m_s;
  int m_maxDepth;
  std::string* m_json;
  std::unordered_set<Key, KeyHash> m_links;
};

std::string csvCell(const std::string& text) {
  std::string s = text;
  if (!s.empty() && std::strchr("=+-@", s[0])) s.insert(s.begin(), '\'');  // never a formula
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q.push_back('"');
    q.push_back(c);
  }
  return q + "\"";
}

std::string htmlText(const std::string& text) {
  std::string out;
  for (char c : validUtf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\n': out += "&#10;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) out += "&#xFFFD;";
        else out.push_back(c);
    }
  }
  return out;
}

std::string figure(uint64_t v) { return std::to_string(v); }

struct Header {
  std::string folder, written, target, cluster, patterns;
};

std::string csvReport(const Header& h, const std::vector<Row>& rows, const Figures& total) {
  std::string out = "Folder," + csvCell(h.folder) + "\r\nWritten," + csvCell(h.written) + "\r\nTarget drive," +
                    csvCell(h.target) + "\r\nCluster size," + csvCell(h.cluster) + "\r\nFile specification," +
                    csvCell(h.patterns) + "\r\n\r\nPath,Disk Bytes,File Bytes,Directories,Files,Date\r\n";
  auto line = [&](const std::string& name, const Figures& f) {
    out += csvCell(name) + "," + figure(f.diskBytes) + "," + figure(f.fileBytes) + "," + figure(f.dirs) + "," +
           figure(f.files) + "," + isoTime(f.newest) + "\r\n";
  };
  for (const Row& r : rows) line(r.path, r.f);
  line("Total", total);
  return out;
}

std::string textReport(const Header& h, const std::vector<Row>& rows, const Figures& total) {
  std::string out = "Disk usage report\nFolder:             " + h.folder + "\nWritten:            " + h.written +
                    "\nTarget drive:       " + h.target + "\nCluster size:       " + h.cluster +
                    "\nFile specification: " + h.patterns + "\n\n";
  char buf[160];
  std::snprintf(buf, sizeof buf, "%20s %20s %12s %12s  %-20s  %s\n", "Disk Bytes", "File Bytes", "Directories",
                "Files", "Date", "Path");
  out += buf;
  auto line = [&](const std::string& name, const Figures& f) {
    std::snprintf(buf, sizeof buf, "%20" PRIu64 " %20" PRIu64 " %12" PRIu64 " %12" PRIu64 "  %-20s  ", f.diskBytes,
                  f.fileBytes, f.dirs, f.files, isoTime(f.newest).c_str());
    out += buf;
    for (char c : name) out.push_back(c == '\n' ? ' ' : c);  // one line an entry
    out.push_back('\n');
  };
  for (const Row& r : rows) line(r.path, r.f);
  line("Total", total);
  return out;
}

std::string htmlReport(const Header& h, const std::vector<Row>& rows, const Figures& total) {
  uint64_t largest = 1;
  for (const Row& r : rows) largest = std::max(largest, r.f.diskBytes);
  std::string out =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n"
      "<title>Disk usage of " + htmlText(h.folder) + "</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 1em 2em; } table { border-collapse: collapse; }\n"
      "th, td { padding: 2px 8px; border-bottom: 1px solid #dde; } th { text-align: left; background: #eef2f5; }\n"
      "td.n { text-align: right; font-variant-numeric: tabular-nums; } td.bar { width: 12em; }\n"
      "div.bar { background: #4e7c9e; height: 0.8em; }\n</style>\n</head>\n<body>\n"
      "<h1>Disk usage of " + htmlText(h.folder) + "</h1>\n<p>Written " + htmlText(h.written) +
      ". Target drive: " + htmlText(h.target) + ". Cluster size: " + htmlText(h.cluster) +
      ". File specification: " + htmlText(h.patterns) + ".</p>\n<table>\n<tr><th>Path</th><th></th><th>Disk Bytes</th>"
      "<th>File Bytes</th><th>Directories</th><th>Files</th><th>Date</th></tr>\n";
  auto line = [&](const std::string& name, const Figures& f, bool bar) {
    const unsigned percent = static_cast<unsigned>(f.diskBytes * 100 / largest);
    out += "<tr><td>" + htmlText(name) + "</td><td class=\"bar\">" +
           (bar ? "<div class=\"bar\" style=\"width: " + std::to_string(percent) + "%\"></div>" : std::string()) +
           "</td><td class=\"n\">" + figure(f.diskBytes) + "</td><td class=\"n\">" + figure(f.fileBytes) +
           "</td><td class=\"n\">" + figure(f.dirs) + "</td><td class=\"n\">" + figure(f.files) + "</td><td>" +
           isoTime(f.newest) + "</td></tr>\n";
  };
  for (const Row& r : rows) line(r.path, r.f, true);
  line("Total", total, false);
  out += "</table>\n</body>\n</html>\n";
  return out;
}

// Writes text to file through a temporary file beside it, renamed into place.
bool replaceFile(const std::string& file, const std::string& text, std::string& error, int* fileError) {
  ReplacingFile out;
  if (out.open(file) && out.write(text.data(), text.size()) && out.commit()) return true;
  error = out.errorText();
  if (fileError) *fileError = out.errorCode();
  return false;
}

}  // namespace

ReportFormat reportFormatFor(const std::string& fileName) {
  const std::string ext = lowerExtension(fileName);
  if (ext == "csv") return ReportFormat::Csv;
  if (ext == "json") return ReportFormat::Json;
  if (ext == "html" || ext == "htm") return ReportFormat::Html;
  return ReportFormat::Text;
}

namespace {

// Walks the folder and composes the whole report. False when the folder
// cannot be read; error then names it and the reason.
bool composeReport(const std::string& folderGiven, ReportFormat format, const WalkSettings& settings,
                   const ReportOptions& options, Figures& total, std::string& text, std::string& error) {
  const std::string folder = platform::withoutTrailingDelim(folderGiven);
  struct stat st;
  const int fd = platform::openDirectory(folder);
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    error = "cannot read " + folder + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  std::string json;
  if (format == ReportFormat::Json) {
    json = "[1,2,{\"progname\":\"tallorin\",\"progver\":";
    jsonString(json, options.programVersion);
    json += ",\"timestamp\":" + std::to_string(static_cast<int64_t>(::time(nullptr)));
    // What the report was made with; the importing tools pass over keys they do not know.
    json += ",\"tallorin_folder\":";
    jsonString(json, folder);
    json += ",\"tallorin_target_drive\":";
    jsonString(json, options.targetDrive);
    json += ",\"tallorin_cluster_size\":" + std::to_string(options.clusterSize);
    json += ",\"tallorin_file_specification\":";
    jsonString(json, options.fileSpec);
    json += "}";
  }
  ReportWalk walk(settings, format == ReportFormat::Json ? 0 : options.depth, format == ReportFormat::Json ? &json : nullptr);
  total = Figures{};
  total.seeTime(st.st_mtim);
  if (settings.allocatedBlocks) total.diskBytes += static_cast<uint64_t>(st.st_blocks) * 512;
  if (format == ReportFormat::Json) {
    // The root carries its full path, as ncdu's export does.
    json += ",\n[{\"name\":";
    jsonString(json, folder);
    char buf[160];
    std::snprintf(buf, sizeof buf, ",\"asize\":%" PRIu64 ",\"dsize\":%" PRIu64 ",\"dev\":%" PRIu64 ",\"ino\":%" PRIu64
                  ",\"mtime\":%" PRId64 "}",
                  static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(st.st_blocks) * 512,
                  static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                  static_cast<int64_t>(st.st_mtim.tv_sec));
    json += buf;
  }
  total.add(walk.contents(fd, st.st_dev, "", 0));
  const Header h{folder, nowText(), options.targetDrive,
                 std::to_string(options.clusterSize) + " bytes" + (options.customCluster ? " (custom)" : ""),
                 options.fileSpec};
  switch (format) {
    case ReportFormat::Csv: text = csvReport(h, walk.rows, total); break;
    case ReportFormat::Html: text = htmlReport(h, walk.rows, total); break;
    case ReportFormat::Text: text = textReport(h, walk.rows, total); break;
    case ReportFormat::Json: text = json + "]]\n"; break;
  }
  return true;
}

}  // namespace

std::optional<ReportFormat> reportFormatNamed(const std::string& name) {
  if (name == "csv") return ReportFormat::Csv;
  if (name == "json") return ReportFormat::Json;
  if (name == "html") return ReportFormat::Html;
  if (name == "text") return ReportFormat::Text;
  return std::nullopt;
}

bool writeReport(const std::string& folder, const std::string& file, const WalkSettings& settings,
                 const ReportOptions& options, Figures& total, std::string& error, int* fileError) {
  std::string text;
  if (!composeReport(folder, reportFormatFor(file), settings, options, total, text, error)) return false;
  if (!replaceFile(file, text, error, fileError)) {
    error = "cannot write " + file + ": " + error;
    return false;
  }
  return true;
}

bool writeReportTo(int fd, ReportFormat format, const std::string& folder, const WalkSettings& settings,
                   const ReportOptions& options, Figures& total, std::string& error, int* fileError) {
  std::string text;
  if (!composeReport(folder, format, settings, options, total, text, error)) return false;
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write descriptor " + std::to_string(fd) + ": " + (n < 0 ? std::strerror(errno) : "nothing written");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace tlr
