// Reports through the C interface: each format on a tree of awkward names,
// read back with a real parser of the format, its figures the engine's; and
// the failures that must leave nothing behind.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <functional>
#include <map>
#include <set>

#include "awkward_names.h"
#include "temp_tree.h"
#include "tlr32/tlr32.h"

using testsupport::TempTree;

namespace {

void resetOptions() {
  TlrExtInit("");
  for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn", "AllocatedBlocks", "ReportDepth"})
    ASSERT_TRUE(TlrSetOption(name, "0") & 0xFF) << name;
}

// RFC 4180: fields separated by commas, quoted fields may hold commas, quotes
// (doubled) and line breaks; records end with CRLF.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        records.back().back().push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        records.back().back().push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      records.emplace_back(1);
      ++i;
    } else {
      records.back().back().push_back(c);
    }
  }
  if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();
  return records;
}

// Sizes in units no cluster size passes, so that disk bytes are the sizes and
// the order of the rows is known: largest first, then by name.
constexpr uint64_t kUnit = 65536;

struct Entry {
  const char* name;  // raw bytes
  const char* shown;  // as the reports show it (a folder with a "/" in the text and HTML)
  uint64_t units;
};

const Entry kEntries[] = {
    {"sub", "sub/", 9},  // sub/deeper.bin; sub/link-to-plain counts at plain.txt
    {"plain.txt", "plain.txt", 8},
    {"with,comma \"quoted\"", "with,comma \"quoted\"", 7},
    {"new\nline", "new\\nline", 6},
    {"cr\rname", "cr\\rname", 5},
    {"tab\tname", "tab\\tname", 4},
    {"<b>bold &amp; co", "<b>bold &amp; co", 3},
    {"=SUM(A1)", "=SUM(A1)", 2},
    {"bad\xff\xfe", "bad\\xFF\\xFE", 1},
    {"back\\slash", "back\\slash", 0},  // a backslash is itself where no escape reads from it
    {"tie-a", "tie-a", 0},
    {"tie-b", "tie-b", 0},
};
constexpr size_t kEntryCount = std::size(kEntries);

class EngineReport : public ::testing::Test {
 protected:
  void SetUp() override {
    resetOptions();
    t.dir("tree");
    t.dir("tree/sub");
    t.file("tree/sub/deeper.bin", 9 * kUnit);
    for (const Entry& e : kEntries)
      if (std::string(e.name) != "sub") t.file(std::string("tree/") + e.name, e.units * kUnit);
    t.hardlink("tree/plain.txt", "tree/sub/link-to-plain");
    // The engine's figures of the folder, without a report.
    ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), nullptr), 0);
    files = TlrGetStatVal("Files");
    dirs = TlrGetStatVal("Directories");
    fileBytes = TlrGetStatValF("FileBytes");
    diskBytes = TlrGetStatValF("DiskBytes");
  }
  std::string write(const std::string& name) {
    const std::string report = t.path(name);
    EXPECT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
    EXPECT_EQ(TlrGetStatVal("Files"), files) << "the figures of a report's computation are the engine's";
    EXPECT_EQ(TlrGetStatValF("DiskBytes"), diskBytes);
    return testsupport::readFile(report);
  }
  int32_t files = 0, dirs = 0;
  double fileBytes = 0, diskBytes = 0;
  TempTree t;
};

bool isValidUtf8(const std::string& text) {
  return QString::fromUtf8(QByteArray::fromStdString(text)).toUtf8().toStdString() == text;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

uint64_t digits(const std::string& grouped) {
  std::string d;
  for (char c : grouped)
    if (c != ',') d.push_back(c);
  return std::stoull(d);
}

}  // namespace

TEST_F(EngineReport, CsvHasTheTotalsFirstThenTheEntriesLargestFirst) {
  const std::string text = write("report.CSV");  // the extension in any case
  EXPECT_TRUE(isValidUtf8(text)) << "the one name that is not UTF-8 is shown with escapes in the CSV";
  const auto records = parseCsv(text);
  ASSERT_GE(records.size(), 9u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"Folder", t.path("tree")}));
  EXPECT_EQ(records[1][0], "Written");
  EXPECT_EQ(records[2], (std::vector<std::string>{"Target drive", "none"}));
  EXPECT_EQ(records[4], (std::vector<std::string>{"File specification", "off"}));
  size_t header = 0;
  while (header < records.size() && records[header][0] != "Path") ++header;
  ASSERT_LT(header, records.size());
  EXPECT_EQ(records[header],
            (std::vector<std::string>{"Path", "Type", "Disk Bytes", "File Bytes", "Directories", "Files", "Date"}));
  ASSERT_EQ(records.size(), header + 2 + kEntryCount) << "one record an entry, whatever its name holds";
  const auto& total = records[header + 1];
  EXPECT_EQ(total[0], t.path("tree"));
  EXPECT_EQ(total[1], "Total");
  EXPECT_EQ(std::stod(total[2]), diskBytes);
  EXPECT_EQ(std::stod(total[3]), fileBytes);
  EXPECT_EQ(std::stoi(total[4]), dirs);
  EXPECT_EQ(std::stoi(total[5]), files);
  EXPECT_EQ(total[6].size(), 20u) << "ISO 8601: " << total[6];
  const std::map<std::string, std::string> asCells{{"=SUM(A1)", "'=SUM(A1)"}, {"sub", "sub"}};
  for (size_t i = 0; i < kEntryCount; ++i) {
    const auto& row = records[header + 2 + i];
    const Entry& e = kEntries[i];
    const std::string cell = asCells.count(e.name) ? asCells.at(e.name) : e.shown;
    ASSERT_EQ(row.size(), 7u) << i;
    EXPECT_EQ(row[0], cell) << i;
    EXPECT_EQ(row[1], i == 0 ? "Folder" : "File");
    EXPECT_EQ(std::stoull(row[2]), e.units * kUnit) << cell;
  }

  ASSERT_TRUE(TlrSetOption("ReportDepth", "-1") & 0xFF);
  const auto deeper = parseCsv(write("report.csv"));
  ASSERT_EQ(deeper.size(), records.size() + 2);
  // The folder's rows right under it, largest first; the second name of
  // plain.txt holds nothing, the bytes count at the first.
  EXPECT_EQ(deeper[header + 2][0], "sub");
  EXPECT_EQ(deeper[header + 3][0], "sub/deeper.bin");
  EXPECT_EQ(deeper[header + 4][0], "sub/link-to-plain");
  EXPECT_EQ(deeper[header + 4][2], "0");
  EXPECT_EQ(deeper[header + 4][5], "1") << "a file all the same";
  EXPECT_EQ(deeper[header + 5][0], "plain.txt");
}

TEST_F(EngineReport, JsonIsTheImportFormatOfTheTreeWithEveryFile) {
  const std::string report = t.path("report.json");
  std::string text = write("report.json");
  // Names are written as raw bytes, as the format's own writer does: the one
  // name that is not UTF-8 is there as it is on disk.
  EXPECT_NE(text.find("\"bad\xff\xfe\""), std::string::npos);
  EXPECT_NE(text.find("\"new\\u000aline\""), std::string::npos);
  EXPECT_NE(text.find("\"cr\\u000dname\""), std::string::npos);
  // A strict parser wants UTF-8: read it with that one name's bytes replaced.
  const auto bad = text.find("bad\xff\xfe");
  text.replace(bad, 5, "bad??");
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const QJsonArray top = doc.array();
  ASSERT_EQ(top.size(), 4);
  EXPECT_EQ(top[0].toInt(), 1);
  EXPECT_EQ(top[1].toInt(), 2);
  EXPECT_EQ(top[2].toObject()["progname"].toString(), "tallorin");
  const QJsonArray root = top[3].toArray();
  EXPECT_EQ(root[0].toObject()["name"].toString().toStdString(), t.path("tree"));
  // Every file of the tree, counted as its reader would: every name a file,
  // the apparent size of a file with several names once (by inode).
  int64_t asize = 0, count = 0, folders = 0;
  std::set<int64_t> inodes;
  std::function<void(const QJsonArray&)> walk = [&](const QJsonArray& dir) {
    for (int i = 1; i < dir.size(); ++i) {
      if (dir[i].isArray()) {
        ++folders;
        walk(dir[i].toArray());
        continue;
      }
      const QJsonObject f = dir[i].toObject();
      ++count;
      if (f["name"].toString() == "link-to-plain") {
        EXPECT_EQ(f["nlink"].toInt(), 2);
      }
      if (f["hlnkc"].toBool() && !inodes.insert(f["ino"].toInteger()).second) continue;
      asize += f["asize"].toInteger();
    }
  };
  walk(root);
  EXPECT_EQ(count, files);
  EXPECT_EQ(folders, dirs);
  EXPECT_EQ(asize, static_cast<int64_t>(fileBytes));
  // The programs that import the format read it back.
  struct Reader {
    const char* program;
    std::string command;
  };
  for (const Reader& r : {Reader{"ncdu", "ncdu -f '" + report + "' -o /dev/null"},
                          Reader{"gdu", "gdu -n -p -f '" + report + "'"}}) {
    if (std::system(("command -v " + std::string(r.program) + " >/dev/null 2>&1").c_str()) != 0) {
      std::printf("%s is not installed: its reading of the report is not checked\n", r.program);
      continue;
    }
    EXPECT_EQ(std::system((r.command + " >/dev/null 2>&1").c_str()), 0) << r.program << " reads it back";
  }
}

TEST_F(EngineReport, HtmlIsOneValidPageWithTheTotalsFirstThenTheEntriesLargestFirst) {
  const std::string text = write("report.htm");
  EXPECT_TRUE(isValidUtf8(text));
  EXPECT_EQ(text.find("<b>bold"), std::string::npos) << "names are escaped";
  std::string outsideXmlns = text;
  outsideXmlns.erase(outsideXmlns.find(" xmlns=\"http://www.w3.org/1999/xhtml\""), 37);
  for (const char* outside : {"src=", "href=", "url(", "@import", "http:", "https:"})
    EXPECT_EQ(outsideXmlns.find(outside), std::string::npos) << "nothing outside the page: " << outside;
  // The script sits in CDATA, so the page stays well-formed XML with it.
  ASSERT_NE(text.find("<script>//<![CDATA["), std::string::npos);

  QXmlStreamReader xml(QByteArray::fromStdString(text));
  QMap<QString, QString> summary;
  struct Row {
    QStringList cells;
    QString datetime;
    qulonglong d = 0;
    int bars = 0;
  };
  std::vector<Row> rows;
  bool summaryFirst = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"table" && xml.attributes().value("class") == u"summary") summaryFirst = rows.empty();
    if (xml.name() == u"th" && xml.attributes().isEmpty()) {
      const QString label = xml.readElementText();
      xml.readNextStartElement();
      if (xml.name() == u"td") summary[label] = xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    if (xml.name() == u"tr" && xml.attributes().hasAttribute("data-d")) {
      Row row;
      row.d = xml.attributes().value("data-d").toULongLong();
      while (!xml.atEnd() && !(xml.isEndElement() && xml.name() == u"tr")) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"td") row.cells << QString();
        if (xml.isStartElement() && xml.name() == u"div") ++row.bars;
        if (xml.isStartElement() && xml.name() == u"time") row.datetime = xml.attributes().value("datetime").toString();
        if (xml.isCharacters() && !row.cells.isEmpty()) row.cells.back() += xml.text();
      }
      rows.push_back(row);
    }
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
  EXPECT_TRUE(summaryFirst);
  EXPECT_EQ(summary["Folder"].toStdString(), t.path("tree"));
  EXPECT_EQ(summary["Files"], QLocale(QLocale::English).toString(files));
  EXPECT_TRUE(summary["Disk bytes"].contains(QLocale(QLocale::English).toString(qlonglong(diskBytes))))
      << summary["Disk bytes"].toStdString();
  EXPECT_FALSE(summary["Efficiency"].isEmpty());
  EXPECT_TRUE(summary["Written"].contains(QRegularExpression("^\\d{1,2} [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d$")))
      << summary["Written"].toStdString();
  EXPECT_TRUE(summary["Options"].contains("target drive none"));

  ASSERT_EQ(rows.size(), kEntryCount) << "a row an entry, whatever its name holds";
  for (size_t i = 0; i < kEntryCount; ++i) {
    const Row& row = rows[i];
    ASSERT_EQ(row.cells.size(), 9) << i;
    EXPECT_EQ(row.cells[0].toStdString(), kEntries[i].shown) << i;
    EXPECT_EQ(row.d, kEntries[i].units * kUnit) << i;
    EXPECT_EQ(row.bars, 1);
    const QString exact = QLocale(QLocale::English).toString(qulonglong(row.d));
    EXPECT_EQ(row.cells[3], exact) << "exact disk bytes, digits grouped";
    EXPECT_TRUE(row.cells[2].endsWith(row.d < 1024 ? " B" : "iB")) << row.cells[2].toStdString();
    EXPECT_TRUE(row.cells[5].endsWith("%"));
    EXPECT_TRUE(row.datetime.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")))
        << row.datetime.toStdString();
  }
  EXPECT_EQ(rows[0].cells[2], "576.0 KiB");
  EXPECT_EQ(rows[1].cells[5], "17.7%") << "8 of 45 units: a share of the folder, one decimal";
}

TEST_F(EngineReport, TextHasTheTotalsFirstThenOneAlignedLineAnEntry) {
  const std::string text = write("report.txt");
  const auto lines = splitLines(text);
  size_t title = 0, filesLine = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Files:", 0) == 0 && filesLine == lines.size()) filesLine = i;
    if (lines[i].size() > 4 && lines[i].compare(lines[i].size() - 4, 4, "Name") == 0) title = i;
  }
  ASSERT_GT(title, 0u);
  ASSERT_LT(filesLine, title) << "the totals come first";
  EXPECT_EQ(lines[filesLine].substr(20), QLocale(QLocale::English).toString(files).toStdString());
  EXPECT_NE(text.find("Folder:             " + t.path("tree")), std::string::npos);
  ASSERT_EQ(lines.size(), title + 1 + kEntryCount) << "one line an entry, whatever its name holds";
  const size_t nameColumn = lines[title].size() - 4;
  for (size_t i = 0; i < kEntryCount; ++i) {
    const std::string& line = lines[title + 1 + i];
    EXPECT_EQ(line.substr(nameColumn), kEntries[i].shown) << "aligned, in order: " << line;
    std::istringstream cells(line);
    std::string number, unit, disk;
    cells >> number >> unit >> disk;
    EXPECT_EQ(digits(disk), kEntries[i].units * kUnit) << line;
  }
}

namespace {

// The names of a JSON export, their escapes undone to the bytes.
std::vector<std::string> jsonNames(const std::string& text) {
  std::vector<std::string> names;
  for (size_t at = text.find("\"name\":\""); at != std::string::npos; at = text.find("\"name\":\"", at)) {
    std::string name;
    size_t i = at + 8;
    for (; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] != '\\') {
        name += text[i];
      } else if (text[i + 1] == 'u') {
        name += static_cast<char>(std::stoi(text.substr(i + 2, 4), nullptr, 16));
        i += 5;
      } else {
        name += text[++i];
      }
    }
    names.push_back(name);
    at = i;
  }
  return names;
}

}  // namespace

TEST_F(EngineReport, NoTwoNamesReadAlikeInAnyFormatAndTheExportKeepsTheirBytes) {
  const std::vector<std::string> names = testsupport::awkwardNames();
  t.dir("awk");
  for (const std::string& n : names) t.file("awk/" + n, 1);
  struct Format {
    const char* file;
    std::function<std::vector<std::string>(const std::string&)> names;  // as a reader sees them
  };
  const Format formats[] = {
      {"awk.csv",
       [](const std::string& text) {
         std::vector<std::string> out;
         const auto records = parseCsv(text);
         size_t row = 0;
         while (row < records.size() && records[row][0] != "Path") ++row;
         for (row += 2; row < records.size(); ++row) out.push_back(records[row][0]);
         return out;
       }},
      {"awk.txt",
       [](const std::string& text) {
         std::vector<std::string> out;
         const auto lines = splitLines(text);
         size_t title = 0;
         while (title < lines.size() && !(lines[title].size() > 4 && lines[title].ends_with("Name"))) ++title;
         const size_t column = lines.at(title).size() - 4;
         for (size_t i = title + 1; i < lines.size(); ++i) out.push_back(lines[i].substr(column));
         return out;
       }},
      // The page's markup of each name, escapes and their style included.
      {"awk.html",
       [](const std::string& text) {
         std::vector<std::string> out;
         const std::string open = "<td class=\"name\">";
         for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
           at += open.size();
           out.push_back(text.substr(at, text.find("</td>", at) - at));
         }
         return out;
       }},
      {"awk.json", [](const std::string& text) {
         std::vector<std::string> out = jsonNames(text);
         out.erase(out.begin());  // the folder's own
         return out;
       }}};
  for (const Format& f : formats) {
    SCOPED_TRACE(f.file);
    const std::string report = t.path(f.file);
    ASSERT_EQ(TlrCalcUsage(t.path("awk").c_str(), report.c_str()), 0);
    const std::string text = testsupport::readFile(report);
    const std::vector<std::string> shown = f.names(text);
    ASSERT_EQ(shown.size(), names.size()) << "one row a name, one line a row";
    const std::set<std::string> distinct(shown.begin(), shown.end());
    EXPECT_EQ(distinct.size(), names.size()) << "no two names read alike";
    if (std::string(f.file) == "awk.json") {
      EXPECT_EQ(distinct, std::set<std::string>(names.begin(), names.end())) << "the export keeps the bytes";
      continue;
    }
    EXPECT_TRUE(isValidUtf8(text));
    for (const std::string& n : shown)
      for (unsigned char c : n) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "a control character in " << n;
    EXPECT_EQ(text.find("\xE2\x80\xAE"), std::string::npos) << "no direction override as it is";
  }
  // The page shows a backslash of a name once; the text formats show it
  // doubled only where an escape could be read from it.
  const std::string page = testsupport::readFile(t.path("awk.html"));
  EXPECT_NE(page.find("<td class=\"name\">n\\x</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">n\\\\nx</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">n<span class=\"esc\">\\n</span>x</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">n\\x0Ax</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">n<span class=\"esc\">\\xFE</span>x</td>"), std::string::npos);
  EXPECT_NE(page.find("span.esc {"), std::string::npos) << "escapes have a style of their own";
  const std::string text = testsupport::readFile(t.path("awk.txt"));
  for (const char* line : {"  n\\\\x\n", "  n\\\\\\\\nx\n", "  n\\nx\n", "  n\\\\nx\n", "  n\\xFEx\n", "  n\\\\xFEx\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(EngineReport, AReportThatCannotBeWrittenLeavesNothingBehind) {
  // A missing folder, a file where a folder is named, a report folder that is not there.
  EXPECT_EQ(TlrCalcUsage(t.path("missing").c_str(), t.path("r.csv").c_str()), TLR_ERR_NO_PATH);
  EXPECT_EQ(TlrCalcUsage(t.path("tree/plain.txt").c_str(), t.path("r.csv").c_str()), TLR_ERR_REPORT);
  EXPECT_EQ(TlrCalcUsage(t.path("tree").c_str(), t.path("nowhere/r.csv").c_str()), TLR_ERR_REPORT);
  EXPECT_FALSE(testsupport::pathExists(t.path("r.csv")));
  // A folder the report may not be written to (root may write anywhere).
  if (!testsupport::runningAsRoot()) {
    t.dir("readonly", 0500);
    EXPECT_EQ(TlrCalcUsage(t.path("tree").c_str(), t.path("readonly/r.csv").c_str()), TLR_ERR_REPORT);
    EXPECT_FALSE(testsupport::pathExists(t.path("readonly/r.csv")));
    ::chmod(t.path("readonly").c_str(), 0700);
  }
  // A folder stands where the report should go: it stays as it was.
  t.dir("taken.csv");
  t.file("taken.csv/keep", 3);
  EXPECT_EQ(TlrCalcUsage(t.path("tree").c_str(), t.path("taken.csv").c_str()), TLR_ERR_REPORT);
  EXPECT_TRUE(testsupport::pathExists(t.path("taken.csv/keep")));
  // No temporary file is left in the folder.
  std::string listing = testsupport::readFile("/dev/null");
  for (const char* name : {"r.csv", ".tallorin-report-"}) EXPECT_EQ(listing.find(name), std::string::npos);
  const std::string cmd = "ls -a '" + t.root() + "' | grep -c tallorin-report";
  FILE* p = ::popen(cmd.c_str(), "r");
  char buf[16] = {};
  ASSERT_NE(p, nullptr);
  ASSERT_NE(std::fgets(buf, sizeof buf, p), nullptr);
  ::pclose(p);
  EXPECT_EQ(std::string(buf), "0\n");
}

TEST_F(EngineReport, AReplacedReportKeepsItsModeAndALinkStaysALink) {
  t.dir("out");
  t.file("out/private.csv", 5);
  ::chmod(t.path("out/private.csv").c_str(), 0600);
  t.file("out/real.txt", 5);
  ::chmod(t.path("out/real.txt").c_str(), 0640);
  t.symlink("real.txt", "out/hop");          // relative, through a second link
  t.symlink(t.path("out/hop"), "out/link.txt");
  t.symlink("made-by-report.txt", "out/dangling.txt");
  struct Case {
    const char* given;   // the name the report is asked for
    const char* written; // the file that receives it
    unsigned mode;
  } cases[] = {{"out/private.csv", "out/private.csv", 0600},
               {"out/link.txt", "out/real.txt", 0640},
               {"out/dangling.txt", "out/made-by-report.txt", 0644}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), t.path(c.given).c_str()), 0);
    EXPECT_NE(testsupport::readFile(t.path(c.written)).find("plain.txt"), std::string::npos) << "the report is there";
    struct stat st;
    ASSERT_EQ(::stat(t.path(c.written).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
  struct stat st;
  for (const char* link : {"out/link.txt", "out/hop", "out/dangling.txt"}) {
    ASSERT_EQ(::lstat(t.path(link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link << " stays a link";
  }
  char target[256] = {};
  ASSERT_GT(::readlink(t.path("out/hop").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "real.txt");
}

TEST_F(EngineReport, AFailureToWriteTheFileGivesItsReason) {
  struct Case {
    std::string folder, file;
    int32_t code;
    int32_t reason;  // ReportError: errno of the file, 0 when the folder failed
  } cases[] = {{t.path("tree"), t.path("nowhere/r.csv"), TLR_ERR_REPORT, ENOENT},
               {t.path("tree"), t.path("tree/sub"), TLR_ERR_REPORT, EISDIR},
               {t.path("tree/plain.txt"), t.path("r.csv"), TLR_ERR_REPORT, 0},
               {t.path("tree"), t.path("ok.csv"), 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(TlrCalcUsage(c.folder.c_str(), c.file.c_str()), c.code);
    EXPECT_EQ(TlrGetOption("ReportError", 0), c.reason);
  }
}

TEST_F(EngineReport, ANameForADescriptorOrAPipeIsWrittenToNotReplaced) {
  // A host started as `tallorin >> log.txt` that is asked for a report named
  // /dev/stdout adds it to the log: the log stays the same file, with what it
  // held. A FIFO stays a FIFO and its reader gets the report.
  const std::string log = t.path("log.txt");
  { std::ofstream(log) << "IMPORTANT\n"; }
  const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct stat before {};
  ASSERT_EQ(::stat(log.c_str(), &before), 0);
  t.symlink("/proc/self/fd/" + std::to_string(fd), "to-log.csv");
  size_t written = std::string("IMPORTANT\n").size();
  for (const std::string& name : {"/dev/fd/" + std::to_string(fd), "/proc/self/fd/" + std::to_string(fd),
                                  t.path("to-log.csv")}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), name.c_str()), 0) << TlrGetLastError();
    const std::string text = testsupport::readFile(log);
    EXPECT_EQ(text.rfind("IMPORTANT\n", 0), 0u) << text.substr(0, 100);
    EXPECT_GT(text.size(), written) << "the report was added";
    EXPECT_NE(text.find("plain.txt", written), std::string::npos);
    written = text.size();
    struct stat after {};
    ASSERT_EQ(::stat(log.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the log was replaced";
  }
  ::close(fd);

  // The reader is there first, so the report (a few KiB, within the pipe's
  // buffer) is written without waiting; a FIFO replaced by a file leaves it
  // with nothing instead of waiting for ever.
  ASSERT_EQ(::mkfifo(t.path("pipe").c_str(), 0644), 0);
  const int reader = ::open(t.path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(TlrCalcUsage(t.path("tree").c_str(), t.path("pipe").c_str()), 0) << TlrGetLastError();
  std::string received;
  char buf[4096];
  for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;) received.append(buf, static_cast<size_t>(n));
  ::close(reader);
  EXPECT_NE(received.find("plain.txt"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::lstat(t.path("pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced by a file";
}

TEST(EngineReportJson, AnEntryLeftOutByTheFileSpecificationCarriesNoSizes) {
  // With the file specification "*.txt", drop.bin is in the export, marked
  // excluded, without sizes: the programs that read the format add up only
  // what the report counts (the format's own exports write excluded entries
  // so). Allocated blocks, whose figure counts the folders as the readers do.
  resetOptions();
  TempTree t;
  t.dir("tree");
  t.file("tree/keep.txt", 3000);
  t.file("tree/drop.bin", 60000);
  t.dir("tree/sub");
  t.file("tree/sub/also.txt", 5000);
  t.hardlink("tree/sub/also.txt", "tree/twin.txt");
  t.hardlink("tree/drop.bin", "tree/sub/drop-too.bin");
  ASSERT_TRUE(TlrSetOption("FileSpec", "*.txt") & 0xFF);
  ASSERT_TRUE(TlrSetOption("FileSpecOn", "1") & 0xFF);
  ASSERT_TRUE(TlrSetOption("AllocatedBlocks", "1") & 0xFF);
  const std::string report = t.path("report.json");
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  const double diskBytes = TlrGetStatValF("DiskBytes");
  const int32_t files = TlrGetStatVal("Files");
  resetOptions();
  EXPECT_EQ(files, 3);  // keep.txt, also.txt and its second name

  // What a reader adds up: every entry's dsize, a file with several names
  // once (by inode).
  auto readerTotal = [](const QByteArray& json, int* excluded) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    double total = 0;
    std::set<int64_t> inodes;
    std::function<void(const QJsonArray&)> walk = [&](const QJsonArray& dir) {
      for (int i = 0; i < dir.size(); ++i) {
        if (dir[i].isArray()) {
          walk(dir[i].toArray());
          continue;
        }
        const QJsonObject e = dir[i].toObject();
        if (e.contains("excluded")) {
          ++*excluded;
          EXPECT_FALSE(e.contains("asize") || e.contains("dsize")) << e["name"].toString().toStdString();
        }
        if (e["hlnkc"].toBool() && !inodes.insert(e["ino"].toInteger()).second) continue;
        total += e["dsize"].toDouble();
      }
    };
    walk(doc.array()[3].toArray());
    return total;
  };
  int excluded = 0;
  EXPECT_EQ(readerTotal(QByteArray::fromStdString(testsupport::readFile(report)), &excluded), diskBytes);
  EXPECT_EQ(excluded, 2);
  if (std::system("command -v ncdu >/dev/null 2>&1") != 0) {
    std::printf("ncdu is not installed: its reading of the report is not checked\n");
    return;
  }
  // ncdu reads it and writes it out again with the same sizes.
  FILE* p = ::popen(("ncdu -f '" + report + "' -o - 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  QByteArray again;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) again.append(buf, static_cast<qsizetype>(n));
  EXPECT_EQ(::pclose(p), 0);
  excluded = 0;
  EXPECT_EQ(readerTotal(again, &excluded), diskBytes) << again.toStdString();
  EXPECT_EQ(excluded, 2);
}
