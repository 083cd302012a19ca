// Reports through the C interface: each format on a tree of awkward names,
// read back with a real parser of the format, its figures the engine's; and
// the failures that must leave nothing behind.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <functional>
#include <map>
#include <set>

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

class EngineReport : public ::testing::Test {
 protected:
  void SetUp() override {
    resetOptions();
    t.dir("tree");
    t.file("tree/plain.txt", 1000);
    t.file("tree/with,comma \"quoted\"", 10);
    t.file("tree/new\nline", 20);
    t.file("tree/<b>bold &amp; co", 30);
    t.file("tree/=SUM(A1)", 40);
    t.file("tree/bad\xff\xfe", 50);
    t.dir("tree/sub");
    t.file("tree/sub/deeper.bin", 5000);
    t.hardlink("tree/plain.txt", "tree/sub/link-to-plain");
    // The engine's figures of the folder, without a report.
    ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), nullptr), 0);
    files = TlrGetStatVal("Files");
    dirs = TlrGetStatVal("Directories");
    fileBytes = TlrGetStatValF("FileBytes");
    diskBytes = TlrGetStatValF("DiskBytes");
  }
  int32_t files = 0, dirs = 0;
  double fileBytes = 0, diskBytes = 0;
  TempTree t;
};

}  // namespace

TEST_F(EngineReport, CsvReadsBackWithItsFiguresAndNeverAFormula) {
  const std::string report = t.path("report.CSV");  // the extension in any case
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  EXPECT_EQ(TlrGetStatVal("Files"), files) << "the figures of a report's computation are the engine's";
  EXPECT_EQ(TlrGetStatValF("DiskBytes"), diskBytes);
  const auto records = parseCsv(testsupport::readFile(report));
  ASSERT_GE(records.size(), 8u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"Folder", t.path("tree")}));
  EXPECT_EQ(records[1][0], "Written");
  EXPECT_EQ(records[2], (std::vector<std::string>{"Target drive", "none"}));
  EXPECT_EQ(records[4], (std::vector<std::string>{"File specification", "off"}));
  size_t header = 0;
  while (header < records.size() && records[header][0] != "Path") ++header;
  ASSERT_LT(header, records.size());
  EXPECT_EQ(records[header],
            (std::vector<std::string>{"Path", "Disk Bytes", "File Bytes", "Directories", "Files", "Date"}));
  std::map<std::string, std::vector<std::string>> rows;
  for (size_t i = header + 1; i < records.size(); ++i) {
    ASSERT_EQ(records[i].size(), 6u) << i;
    rows[records[i][0]] = records[i];
  }
  EXPECT_TRUE(rows.count("with,comma \"quoted\""));
  EXPECT_TRUE(rows.count("new\nline"));
  EXPECT_TRUE(rows.count("<b>bold &amp; co"));
  EXPECT_TRUE(rows.count("'=SUM(A1)")) << "a leading = is quoted away";
  EXPECT_TRUE(rows.count("sub"));
  EXPECT_FALSE(rows.count("sub/deeper.bin")) << "the folder's entries only, by default";
  // A file with two names counts once in the report, at the name met first.
  EXPECT_EQ(std::stoll(rows["plain.txt"][2]) + std::stoll(rows["sub"][2]), 1000 + 5000);
  EXPECT_EQ(rows["sub"][3], "0");
  const auto& total = rows["Total"];
  ASSERT_EQ(total.size(), 6u);
  EXPECT_EQ(std::stod(total[1]), diskBytes);
  EXPECT_EQ(std::stod(total[2]), fileBytes);
  EXPECT_EQ(std::stoi(total[3]), dirs);
  EXPECT_EQ(std::stoi(total[4]), files);
  EXPECT_EQ(total[5].size(), 20u) << "ISO 8601: " << total[5];

  ASSERT_TRUE(TlrSetOption("ReportDepth", "-1") & 0xFF);
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  EXPECT_NE(testsupport::readFile(report).find("sub/deeper.bin,"), std::string::npos) << "all levels when asked";
}

TEST_F(EngineReport, JsonIsTheImportFormatOfTheTreeWithEveryFile) {
  const std::string report = t.path("report.json");
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  std::string text = testsupport::readFile(report);
  // Names are written as raw bytes, as the format's own writer does: the one
  // name that is not UTF-8 is there as it is on disk.
  EXPECT_NE(text.find("\"bad\xff\xfe\""), std::string::npos);
  EXPECT_NE(text.find("\"new\\u000aline\""), std::string::npos);
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
  // Every file of the tree, counted as its reader would: each regular file
  // once (links by inode), its apparent size.
  int64_t asize = 0, count = 0;
  std::set<int64_t> inodes;
  std::function<void(const QJsonArray&)> walk = [&](const QJsonArray& dir) {
    for (int i = 1; i < dir.size(); ++i) {
      if (dir[i].isArray()) {
        walk(dir[i].toArray());
        continue;
      }
      const QJsonObject f = dir[i].toObject();
      if (f["hlnkc"].toBool() && !inodes.insert(f["ino"].toInteger()).second) continue;
      ++count;
      asize += f["asize"].toInteger();
      if (f["name"].toString() == "link-to-plain") EXPECT_EQ(f["nlink"].toInt(), 2);
    }
  };
  walk(root);
  EXPECT_EQ(count, files);
  EXPECT_EQ(asize, static_cast<int64_t>(fileBytes));
  if (std::system("command -v ncdu >/dev/null 2>&1") == 0) {
    const std::string cmd = "ncdu -f '" + report + "' -o /dev/null >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "ncdu reads it back";
  } else {
    std::printf("ncdu is not installed: its own reading of the report is not checked\n");
  }
}

TEST_F(EngineReport, HtmlIsOneWellFormedPageWithEveryNameEscaped) {
  const std::string report = t.path("report.htm");
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  const std::string text = testsupport::readFile(report);
  EXPECT_EQ(text.find("<script"), std::string::npos);
  EXPECT_EQ(text.find("<b>bold"), std::string::npos) << "names are escaped";
  EXPECT_EQ(text.find("src="), std::string::npos) << "nothing outside the page";
  QXmlStreamReader xml(QByteArray::fromStdString(text));
  QStringList cells;
  int bars = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"div") ++bars;
    if (xml.isStartElement() && xml.name() == u"td") {
      QString cell;
      while (!xml.atEnd() && !(xml.isEndElement() && xml.name() == u"td")) {
        xml.readNext();
        if (xml.isCharacters()) cell += xml.text();
        if (xml.isStartElement() && xml.name() == u"div") ++bars;
      }
      cells << cell;
    }
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
  EXPECT_TRUE(cells.contains("<b>bold &amp; co"));
  EXPECT_TRUE(cells.contains("with,comma \"quoted\""));
  EXPECT_TRUE(cells.contains(QString::number(qlonglong(diskBytes))));
  EXPECT_GE(bars, 7) << "a bar per row";
}

TEST_F(EngineReport, PlainTextForEveryOtherName) {
  const std::string report = t.path("report.txt");
  ASSERT_EQ(TlrCalcUsage(t.path("tree").c_str(), report.c_str()), 0);
  const std::string text = testsupport::readFile(report);
  EXPECT_NE(text.find("Folder:             " + t.path("tree")), std::string::npos);
  EXPECT_NE(text.find("plain.txt"), std::string::npos);
  EXPECT_NE(text.find("new line"), std::string::npos) << "one line an entry";
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
