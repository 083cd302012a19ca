#include "tlr32/report_formats.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/name_text.h"
#include "tlr32/report_file.h"
#include "tlr32/report_text.h"

namespace tlr {
namespace {

std::string percentText(uint64_t part, uint64_t whole, bool decimal) {
  if (whole == 0) return decimal ? "0.0%" : "100%";
  // 128 bits: a byte count times 1000 passes 2^64 beyond 18 PB.
  const auto scaled = static_cast<uint64_t>(static_cast<unsigned __int128>(part) * (decimal ? 1000 : 100) / whole);
  if (!decimal) return std::to_string(scaled) + "%";
  return std::to_string(scaled / 10) + "." + std::to_string(scaled % 10) + "%";
}

std::string depthText(int depth) {
  if (depth < 0) return "all levels";
  if (depth == 0) return "the folder's entries";
  return "the folder's entries and " + std::to_string(depth) + (depth == 1 ? " level" : " levels") + " below";
}

std::string clusterText(const ReportHeader& h, bool grouped) {
  return (grouped ? groupDigits(h.clusterSize) : std::to_string(h.clusterSize)) + " bytes" +
         (h.customCluster ? " (custom)" : "");
}

std::string countingText(const ReportHeader& h) {
  return h.allocatedBlocks ? "as the file system allocates them" : "file sizes rounded up to the cluster size";
}

std::string rowName(const ReportRow& r) { return platform::visibleName(r.path) + (r.folder ? "/" : ""); }

// Columns are measured in characters, not bytes: the date and the figures
// are ASCII, so only the header needs this.
std::string padRight(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

}  // namespace

std::string groupDigits(uint64_t v) {
  char digits[kNumberRoom];
  const size_t n = static_cast<size_t>(putNumber(digits, v) - digits);
  std::string out(n + (n - 1) / 3, ',');
  // From the last digit back, a comma left after every third.
  for (size_t i = n, o = out.size(); i-- > 0;) {
    out[--o] = digits[i];
    if ((n - i) % 3 == 0) --o;
  }
  return out;
}

std::string humanSize(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double v = static_cast<double>(bytes);
  for (size_t u = 0;; ++u) {
    v /= 1024;
    // 1023.96 KiB would print as "1024.0 KiB": such a figure takes the next unit.
    if (v < 1023.95 || u + 1 == std::size(kUnits)) {
      char buf[48];
      if (bytes >> 53) {  // v is no longer exact: printf's rounding of it
        std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[u]);
        return buf;
      }
      // v is bytes / 2^shift exactly; "%.1f" rounds v * 10 to the nearest
      // tenth, a tie to the even one. In integers: a report of /usr with
      // every row spent a fifth of its text's time in printf's floating point.
      const unsigned shift = 10 * static_cast<unsigned>(u + 1);
      const unsigned __int128 tenths = static_cast<unsigned __int128>(bytes) * 10;
      auto q = static_cast<uint64_t>(tenths >> shift);
      const unsigned __int128 rest = tenths - (static_cast<unsigned __int128>(q) << shift);
      const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
      if (rest > half || (rest == half && (q & 1))) ++q;
      char* p = putNumber(buf, q / 10);
      *p++ = '.';
      *p++ = static_cast<char>('0' + q % 10);
      *p++ = ' ';
      p = putText(p, std::string_view(kUnits[u]));
      return std::string(buf, p);
    }
  }
}

namespace {

// Two digits of v (under 100).
char* putTwo(char* p, int v) {
  *p++ = static_cast<char>('0' + v / 10);
  *p++ = static_cast<char>('0' + v % 10);
  return p;
}

}  // namespace

std::string isoTime(const struct timespec& t) {
  if (t.tv_sec == kNoTime) return {};
  std::tm utc{};
  if (!::gmtime_r(&t.tv_sec, &utc)) return {};
  char buf[40];
  const long long year = static_cast<long long>(utc.tm_year) + 1900;
  if (year < 1000 || year > 9999) {  // strftime's own width and sign
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
  }
  // By hand: strftime took 70 instructions a field.
  char* p = putNumber(buf, static_cast<uint64_t>(year));
  *p++ = '-';
  p = putTwo(p, utc.tm_mon + 1);
  *p++ = '-';
  p = putTwo(p, utc.tm_mday);
  *p++ = 'T';
  p = putTwo(p, utc.tm_hour);
  *p++ = ':';
  p = putTwo(p, utc.tm_min);
  *p++ = ':';
  p = putTwo(p, utc.tm_sec);
  *p++ = 'Z';
  return std::string(buf, p);
}

std::string localTime(const struct timespec& t) {
  if (t.tv_sec == kNoTime) return {};
  std::tm local{};
  if (!::localtime_r(&t.tv_sec, &local)) return {};
  // Month names of our own: the host's locale may not be UTF-8, and the
  // reports are.
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  const long long year = static_cast<long long>(local.tm_year) + 1900;
  char* p = putNumber(buf, static_cast<int64_t>(local.tm_mday));
  *p++ = ' ';
  p = putText(p, std::string_view(kMonths[local.tm_mon % 12]));
  *p++ = ' ';
  p = putNumber(p, static_cast<int64_t>(year));
  *p++ = ' ';
  p = putTwo(p, local.tm_hour);
  *p++ = ':';
  p = putTwo(p, local.tm_min);
  return std::string(buf, p);
}

std::string csvCell(std::string_view raw) {
  std::string s = platform::visibleName(raw);
  // A spreadsheet runs a cell that starts with one of these as a formula.
  if (!s.empty() && std::strchr("=+-@", s[0])) s.insert(s.begin(), '\'');
  if (s.find_first_of(",\"") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q.push_back('"');
    q.push_back(c);
  }
  return q + "\"";
}

std::string htmlText(std::string_view text) {
  if (text.find_first_of("&<>\"'") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// A name as the page shows it: its own characters as they are, a backslash
// once, and what cannot be shown (see platform::shownName) as escapes in a
// style of their own, so that the escape \xFF never reads as the four
// characters of a name that holds them. An attribute, which holds no markup,
// takes platform::visibleName instead.
std::string htmlName(std::string_view raw) {
  const platform::ShownName shown = platform::shownName(raw, platform::Backslashes::AsTheyAre);
  if (shown.escapes.empty()) return htmlText(shown.text);
  const std::string_view text = shown.text;
  std::string out;
  size_t at = 0;
  for (const auto& [start, length] : shown.escapes) {
    out += htmlText(text.substr(at, start - at));
    out += "<span class=\"esc\">";
    out += text.substr(start, length);  // ASCII: a backslash, a letter, hex digits
    out += "</span>";
    at = start + length;
  }
  return out + htmlText(text.substr(at));
}

std::string changeText(const ReportRow& row, bool grouped) {
  if (row.change == ReportRow::Change::New) return "new";
  if (row.change == ReportRow::Change::Gone) return "gone";
  const int64_t c = row.diskChange;
  const uint64_t size = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
  const std::string digits = grouped ? groupDigits(size) : std::to_string(size);
  return c > 0 ? "+" + digits : c < 0 ? "-" + digits : digits;
}

void orderByChange(std::vector<ReportRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const ReportRow& a, const ReportRow& b) {
    const bool aGone = a.change == ReportRow::Change::Gone, bGone = b.change == ReportRow::Change::Gone;
    if (aGone != bGone) return bGone;
    if (!aGone && a.diskChange != b.diskChange) return a.diskChange > b.diskChange;
    if (a.f.diskBytes != b.f.diskBytes) return a.f.diskBytes > b.f.diskBytes;
    return a.path < b.path;
  });
}

namespace {

std::string signedNumber(int64_t c) {
  const uint64_t size = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
  return (c > 0 ? "+" : c < 0 ? "-" : "") + groupDigits(size);
}

std::string comparedText(const ReportHeader& h) {
  std::string text = platform::visibleName(h.comparedWith);
  if (h.comparedAt > 0) {
    const struct timespec at {static_cast<time_t>(h.comparedAt), 0};
    text += " (written " + localTime(at) + ")";
  }
  return text;
}

}  // namespace

void writeCsv(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total) {
  out.write("Folder," + csvCell(h.folder) + "\r\nWritten," + isoTime(h.written) + "\r\nTarget drive," +
            csvCell(h.targetDrive) + "\r\nCluster size," + csvCell(clusterText(h, false)) +
            "\r\nFile specification," + csvCell(h.fileSpec) + "\r\nReport depth," + csvCell(depthText(h.depth)) +
            "\r\nDisk space," + csvCell(countingText(h)) +
            (h.compared ? "\r\nCompared with," + csvCell(h.comparedWith) : std::string()) +
            (h.compared ? "\r\n\r\nPath,Type,Disk Bytes,Change,File Bytes,Directories,Files,Date\r\n"
                        : "\r\n\r\nPath,Type,Disk Bytes,File Bytes,Directories,Files,Date\r\n"));
  std::string line;
  auto write = [&](const std::string& path, const char* type, const Figures& f, const std::string* change) {
    line = csvCell(path);
    line += ',';
    line += type;
    bool first = true;
    for (uint64_t v : {f.diskBytes, f.fileBytes, f.dirs, f.files}) {
      char buf[kNumberRoom + 1] = {','};
      line.append(buf, putNumber(buf + 1, v));
      if (first && change) (line += ',') += *change;
      first = false;
    }
    line += ',';
    line += isoTime(f.newest);
    line += "\r\n";
    out.write(line);
  };
  // The totals come first, marked in the Type column: a row named "Total"
  // could be a file of that name. A change is a plain signed number, for
  // the spreadsheet to compute with.
  const std::string totalChange = std::to_string(h.totalChange);
  write(h.folder, "Total", total, h.compared ? &totalChange : nullptr);
  std::string change;
  for (const ReportRow& r : rows) {
    if (h.compared)
      change = r.change == ReportRow::Change::Changed ? std::to_string(r.diskChange) : changeText(r, false);
    write(r.path, r.folder ? "Folder" : "File", r.f, h.compared ? &change : nullptr);
  }
}

void writeText(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total) {
  std::string head = "Disk usage report\n";
  auto field = [&](const char* label, const std::string& value) { head += padRight(label, 20) + value + "\n"; };
  field("Folder:", platform::visibleName(h.folder));
  field("Written:", localTime(h.written) + " (" + isoTime(h.written) + ")");
  field("Target drive:", platform::visibleName(h.targetDrive));
  field("Cluster size:", clusterText(h, true));
  field("File specification:", platform::visibleName(h.fileSpec));
  field("Report depth:", depthText(h.depth));
  field("Disk space:", countingText(h));
  if (h.compared) field("Compared with:", comparedText(h));
  head += "\n";
  field("Files:", groupDigits(total.files));
  field("Folders:", groupDigits(total.dirs));
  field("File bytes:", humanSize(total.fileBytes) + " (" + groupDigits(total.fileBytes) + " bytes)");
  field("Disk bytes:", humanSize(total.diskBytes) + " (" + groupDigits(total.diskBytes) + " bytes)");
  if (h.compared) field("Change:", signedNumber(h.totalChange) + " bytes");
  field("Efficiency:", percentText(total.fileBytes, total.diskBytes, false));
  if (total.unreadableDirs) field("Unreadable folders:", groupDigits(total.unreadableDirs));
  head += "\n";
  out.write(head);

  // Every column as wide as its widest cell; the name comes last, so a long
  // one never pushes the others out of line.
  // Compared with a scan, a Change column follows the disk bytes.
  const size_t kColumns = h.compared ? 8 : 7;
  std::vector<std::string> titles = {"Size", "Disk bytes", "File bytes", "Share", "Folders", "Files", "Date"};
  if (h.compared) titles.insert(titles.begin() + 2, "Change");
  auto cells = [&](const ReportRow& r) {
    const Figures& f = r.f;
    std::vector<std::string> row = {humanSize(f.diskBytes), groupDigits(f.diskBytes), groupDigits(f.fileBytes),
                                    percentText(f.diskBytes, total.diskBytes, true), groupDigits(f.dirs),
                                    groupDigits(f.files), localTime(f.newest)};
    if (h.compared) row.insert(row.begin() + 2, changeText(r, true));
    return row;
  };
  std::vector<size_t> width(kColumns);
  for (size_t c = 0; c < kColumns; ++c) width[c] = titles[c].size();
  for (const ReportRow& r : rows) {
    const auto row = cells(r);
    for (size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string line;
  auto write = [&](const std::vector<std::string>& row, const std::string& name) {
    line.clear();
    for (size_t c = 0; c + 1 < kColumns; ++c) {
      if (row[c].size() < width[c]) line.append(width[c] - row[c].size(), ' ');
      line += row[c];
      line += "  ";
    }
    line += row[kColumns - 1];
    if (row[kColumns - 1].size() < width[kColumns - 1]) line.append(width[kColumns - 1] - row[kColumns - 1].size(), ' ');
    line += "  ";
    line += name;
    line += '\n';
    out.write(line);
  };
  write(titles, "Name");
  for (const ReportRow& r : rows) write(cells(r), std::string(2 * static_cast<size_t>(r.depth), ' ') + rowName(r));
}

namespace {

// Sorts the table when a column title is clicked, keeping every row under its
// parent; without it the page is the same table, largest first. Rows carry
// their figures in data attributes: d disk bytes, f file bytes, r folders,
// c files, t the date in seconds, g the change of disk bytes (compared with
// a saved scan); p is the parent row's id.
constexpr const char* kSortScript = R"(//<![CDATA[
(function () {
  var table = document.getElementById('usage');
  if (!table || !table.tHead) return;
  var body = table.tBodies[0], heads = table.tHead.rows[0].cells;
  var rows = Array.prototype.slice.call(body.rows), current = null, down = true;
  function key(row, k) { return k === 'n' ? row.cells[0].textContent : Number(row.getAttribute('data-' + k)); }
  function order(k, dir) {
    return function (a, b) {
      var x = key(a, k), y = key(b, k);
      var c = x === y ? 0 : (x > y ? dir : -dir);
      if (c === 0) c = key(b, 'd') - key(a, 'd');
      if (c === 0) { x = key(a, 'n'); y = key(b, 'n'); c = x === y ? 0 : (x > y ? 1 : -1); }
      return c;
    };
  }
  function sortBy(k, head) {
    down = current === head ? !down : k !== 'n';
    current = head;
    var kids = {}, cmp = order(k, down ? -1 : 1), out = document.createDocumentFragment();
    rows.forEach(function (r) { var p = r.getAttribute('data-p'); (kids[p] = kids[p] || []).push(r); });
    (function add(p) {
      (kids[p] || []).sort(cmp).forEach(function (r) { out.appendChild(r); add(r.id); });
    })('');
    body.appendChild(out);
    Array.prototype.forEach.call(heads, function (h) { h.removeAttribute('aria-sort'); });
    head.setAttribute('aria-sort', down ? 'descending' : 'ascending');
  }
  Array.prototype.forEach.call(heads, function (head) {
    var k = head.getAttribute('data-k');
    if (!k) return;
    head.className += ' sortable';
    head.tabIndex = 0;
    head.title = 'Sort by this column';
    head.addEventListener('click', function () { sortBy(k, head); });
    head.addEventListener('keydown', function (e) {
      if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); sortBy(k, head); }
    });
  });
})();
//]]>)";

constexpr const char* kStyle = R"(
body { font-family: system-ui, sans-serif; margin: 1.5em 2em; color: #1d2733; }
h1 { font-size: 1.4em; font-weight: 600; margin: 0 0 0.8em; word-break: break-all; }
table { border-collapse: collapse; }
table.summary { margin-bottom: 1.5em; }
table.summary th { text-align: left; font-weight: normal; color: #56606b; padding: 1px 1.5em 1px 0;
                   white-space: nowrap; vertical-align: top; }
table.summary td { padding: 1px 0; }
table.usage th, table.usage td { padding: 3px 8px; border-bottom: 1px solid #e3e7ec; white-space: nowrap; }
table.usage th { background: #eef2f5; text-align: right; position: sticky; top: 0; }
table.usage th.name, table.usage td.name { text-align: left; }
table.usage th.sortable { cursor: pointer; }
table.usage th[aria-sort=descending]::after { content: " \25BE"; }
table.usage th[aria-sort=ascending]::after { content: " \25B4"; }
table.usage tbody tr:hover { background: #f5f8fb; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
td.size { font-weight: 600; }
table.usage td.name { white-space: normal; overflow-wrap: anywhere; min-width: 12em; }
td.folder { font-weight: 600; }
td.bar { width: 8em; min-width: 8em; }
div.bar { background: #4e7c9e; height: 0.8em; min-width: 1px; }
td.date { color: #56606b; }
tr.gone td { color: #8a939c; }
span.esc { color: #a3195b; background: #f8e6ee; font-style: italic; border-radius: 2px; }
)";

std::string timeElement(const struct timespec& t) {
  const std::string iso = isoTime(t);
  if (iso.empty()) return {};
  return "<time datetime=\"" + iso + "\">" + localTime(t) + "</time>";
}

}  // namespace

void writeHtml(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total) {
  const std::string folder = htmlName(h.folder);
  std::string head =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n"
      "<title>Disk usage of " + htmlText(platform::visibleName(h.folder)) + "</title>\n<style>" + kStyle +
      "</style>\n</head>\n<body>\n"
      "<h1>Disk usage of " + folder + "</h1>\n<table class=\"summary\">\n";
  auto field = [&](const char* label, const std::string& html) {
    head += std::string("<tr><th>") + label + "</th><td>" + html + "</td></tr>\n";
  };
  field("Folder", folder);
  field("Files", groupDigits(total.files));
  field("Folders", groupDigits(total.dirs));
  field("File bytes", humanSize(total.fileBytes) + " (" + groupDigits(total.fileBytes) + " bytes)");
  field("Disk bytes", humanSize(total.diskBytes) + " (" + groupDigits(total.diskBytes) + " bytes)");
  field("Efficiency", percentText(total.fileBytes, total.diskBytes, false));
  if (total.unreadableDirs) field("Unreadable folders", groupDigits(total.unreadableDirs));
  field("Written", timeElement(h.written));
  field("Options", "target drive " + htmlName(h.targetDrive) + "; cluster size " + clusterText(h, true) +
                       "; file specification " + htmlName(h.fileSpec) + "; disk space counted as " + countingText(h) +
                       "; rows: " + htmlText(depthText(h.depth)));
  if (h.compared) {
    field("Compared with", htmlText(comparedText(h)));
    field("Change", htmlText(signedNumber(h.totalChange)) + " bytes");
  }
  head +=
      "</table>\n<table id=\"usage\" class=\"usage\">\n<thead><tr><th class=\"name\" data-k=\"n\">Name</th>"
      "<th></th><th data-k=\"d\">Size</th><th data-k=\"d\">Disk bytes</th>" +
      std::string(h.compared ? "<th data-k=\"g\">Change</th>" : "") + "<th data-k=\"f\">File bytes</th>"
      "<th data-k=\"d\">Share</th><th data-k=\"r\">Folders</th><th data-k=\"c\">Files</th>"
      "<th class=\"name\" data-k=\"t\">Date</th></tr></thead>\n<tbody>\n";
  out.write(head);

  // Ids tie a row to its parent for the script: the row of the nearest
  // shallower row before it.
  std::vector<size_t> parents;  // index + 1 of the open row at each depth
  // Each row appended piece by piece into one line: built with operator+, the
  // temporaries took half of the page's time.
  std::string line;
  auto number = [&](auto v) {
    char buf[kNumberRoom];
    line.append(buf, putNumber(buf, v));
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const ReportRow& r = rows[i];
    parents.resize(static_cast<size_t>(r.depth));
    const std::string share = percentText(r.f.diskBytes, total.diskBytes, true);
    line.assign(h.compared && r.change == ReportRow::Change::Gone ? "<tr class=\"gone\" id=\"r" : "<tr id=\"r");
    number(static_cast<uint64_t>(i + 1));
    line += "\" data-p=\"";
    if (r.depth != 0 && !parents.empty()) {
      line += 'r';
      number(static_cast<uint64_t>(parents.back()));
    }
    line += "\" data-d=\"";
    number(r.f.diskBytes);
    if (h.compared) {
      line += "\" data-g=\"";
      number(r.diskChange);
    }
    line += "\" data-f=\"";
    number(r.f.fileBytes);
    line += "\" data-r=\"";
    number(r.f.dirs);
    line += "\" data-c=\"";
    number(r.f.files);
    line += "\" data-t=\"";
    number(static_cast<int64_t>(r.f.newest.tv_sec));
    line += r.folder ? "\"><td class=\"name folder\"" : "\"><td class=\"name\"";
    if (r.depth > 0) {
      line += " style=\"padding-left: ";
      number(static_cast<int64_t>(8 + 16 * static_cast<int64_t>(r.depth)));
      line += "px\" title=\"";
      line += htmlText(platform::visibleName(r.path));
      line += '"';
    }
    line += '>';
    line += htmlName(std::string_view(r.path).substr(r.nameAt));
    if (r.folder) line += '/';
    line += "</td><td class=\"bar\"><div class=\"bar\" style=\"width: ";
    line += share;
    line += "\"></div></td><td class=\"n size\">";
    line += humanSize(r.f.diskBytes);
    line += "</td><td class=\"n\">";
    line += groupDigits(r.f.diskBytes);
    if (h.compared) {
      line += "</td><td class=\"n\">";
      line += changeText(r, true);
    }
    line += "</td><td class=\"n\">";
    line += groupDigits(r.f.fileBytes);
    line += "</td><td class=\"n\">";
    line += share;
    for (uint64_t v : {r.f.dirs, r.f.files}) {
      line += "</td><td class=\"n\">";
      line += groupDigits(v);
    }
    line += "</td><td class=\"date\">";
    line += timeElement(r.f.newest);
    line += "</td></tr>\n";
    out.write(line);
    parents.push_back(i + 1);
  }
  out.write(std::string("</tbody>\n</table>\n<script>") + kSortScript + "</script>\n</body>\n</html>\n");
}

}  // namespace tlr
