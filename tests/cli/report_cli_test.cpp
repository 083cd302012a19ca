// tallorin-report run as a process, as a shell or a script runs it: no
// display, the report read back with real parsers (RFC 4180 for CSV, Qt's
// JSON parser, ncdu itself), every exit status with its message, and the
// failures that must leave an earlier report as it was.
#include <algorithm>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "temp_tree.h"

using testsupport::TempTree;

namespace {

const std::string kProgram = REPORT_PROGRAM;

struct Outcome {
  int exitCode = -1;  // -1: ended by a signal
  int signal = 0;     // the signal that ended it
  std::string out, err;
};

struct RunSetup {
  bool unprivileged = false;       // as "nobody" when the test runs as root
  rlim_t fileSizeLimit = 0;        // RLIMIT_FSIZE in bytes; 0: none
  bool stderrIsTerminal = false;   // standard error on a pseudo-terminal
  bool stdoutIsTerminal = false;   // standard output on the same one (err then holds both)
  int stdoutFd = -1;               // standard output goes here instead of being read
  bool pipeSignalIgnored = false;  // started by a caller that ignores SIGPIPE
  int ignoredSignal = 0;           // and one more signal its caller ignores
  std::vector<std::string> env;    // NAME=VALUE set for the program
  std::function<void(pid_t)> whenStopped;  // called each time the program stops itself
};

std::string slurp(int fd) {
  std::string text;
  char buf[65536];
  ::lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  return text;
}

int tempFile() {
  char name[] = "/tmp/tallorin-cli-test-XXXXXX";
  const int fd = ::mkstemp(name);
  ::unlink(name);
  return fd;
}

// Runs tallorin-report with args, without DISPLAY or any Qt platform.
Outcome run(const std::vector<std::string>& args, const RunSetup& setup = {}) {
  const int outFd = tempFile(), errFd = tempFile();
  int master = -1, slave = -1;
  if ((setup.stderrIsTerminal || setup.stdoutIsTerminal) && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(setup.stdoutIsTerminal ? slave : setup.stdoutFd >= 0 ? setup.stdoutFd : outFd, 1);
    ::signal(SIGPIPE, setup.pipeSignalIgnored ? SIG_IGN : SIG_DFL);
    if (setup.ignoredSignal) ::signal(setup.ignoredSignal, SIG_IGN);
    for (const std::string& e : setup.env) ::putenv(const_cast<char*>(e.c_str()));
    ::dup2(slave >= 0 ? slave : errFd, 2);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
    if (setup.fileSizeLimit) {
      const rlimit limit{setup.fileSizeLimit, setup.fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (setup.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  Outcome o;
  if (slave >= 0) {
    ::close(slave);
    // Read the terminal until the program's end closes its side (EIO).
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      o.err.append(buf, static_cast<size_t>(n));
    }
    ::close(master);
  }
  int status = 0;
  while (::waitpid(pid, &status, setup.whenStopped ? WUNTRACED : 0) == pid && WIFSTOPPED(status)) setup.whenStopped(pid);
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  o.out = slurp(outFd);
  if (slave < 0) o.err = slurp(errFd);
  ::close(outFd);
  ::close(errFd);
  return o;
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
  EXPECT_FALSE(quoted) << "a quoted field runs to the end";
  if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();
  return records;
}

// The rows of a CSV report by their first cell, each as column name -> cell,
// the columns named by the header record (the one that names "Disk Bytes").
std::map<std::string, std::map<std::string, std::string>> csvRows(const std::string& text) {
  const auto records = parseCsv(text);
  std::map<std::string, std::map<std::string, std::string>> rows;
  size_t header = 0;
  auto names = [](const std::vector<std::string>& r) {
    for (const auto& cell : r)
      if (cell == "Disk Bytes") return true;
    return false;
  };
  while (header < records.size() && !names(records[header])) ++header;
  EXPECT_LT(header, records.size()) << "no header record";
  if (header >= records.size()) return rows;
  for (size_t i = header + 1; i < records.size(); ++i) {
    if (records[i].size() != records[header].size()) continue;  // not an entry row
    for (size_t c = 0; c < records[i].size(); ++c) rows[records[i][0]][records[header][c]] = records[i][c];
  }
  return rows;
}

uint64_t number(const std::string& cell) {
  std::string digits;
  for (char c : cell)
    if (c >= '0' && c <= '9') digits.push_back(c);
  return digits.empty() ? UINT64_MAX : std::stoull(digits);
}

// The names in a folder that start with prefix (temporary files left behind).
std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) found.emplace_back(e->d_name);
    ::closedir(d);
  }
  return found;
}

std::string commandOutput(const std::string& command) {
  std::string text;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    ::pclose(p);
  }
  return text;
}

bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class ReportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    t.dir("tree");
    t.file("tree/plain.txt", 1000);
    t.file("tree/with,comma \"quoted\"", 10);
    t.file("tree/new\nline", 20);
    t.file("tree/=SUM(A1)", 40);
    t.dir("tree/sub");
    t.file("tree/sub/deeper.bin", 5000);
    t.sparse("tree/sparse.img", 8 << 20);
    tree = t.path("tree");
  }
  TempTree t;
  std::string tree;
};

}  // namespace

TEST_F(ReportCli, LoadsNoQtAndFindsItsEngine) {
  const std::string libs = commandOutput("ldd '" + kProgram + "'");
  ASSERT_NE(libs.find("libtlr32.so"), std::string::npos) << libs;
  EXPECT_EQ(libs.find("not found"), std::string::npos) << libs;
  EXPECT_EQ(libs.find("libQt"), std::string::npos) << "the report program must run where no Qt is:\n" << libs;
}

TEST_F(ReportCli, PlainTextOnStandardOutputWithoutADisplay) {
  const Outcome o = run({tree});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err, "") << "no progress when standard error is no terminal";
  for (const char* name : {"plain.txt", "sub", "sparse.img", "=SUM(A1)"})
    EXPECT_NE(o.out.find(name), std::string::npos) << name << " missing from\n" << o.out;
  EXPECT_EQ(o.out.find("deeper.bin"), std::string::npos) << "the folder's entries only, by default";
  EXPECT_EQ(o.out.find("new\nline"), std::string::npos) << "one line an entry";
  EXPECT_EQ(o.out.find('\r'), std::string::npos) << "text, not CSV";
}

TEST_F(ReportCli, CsvFileReadsBackWithTheFigures) {
  const std::string file = t.path("usage.csv");
  const Outcome o = run({"-o", file, tree});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.out, "") << "the report went to the file";
  auto rows = csvRows(testsupport::readFile(file));
  ASSERT_TRUE(rows.count("plain.txt")) << testsupport::readFile(file);
  EXPECT_EQ(number(rows["plain.txt"]["File Bytes"]), 1000u);
  EXPECT_GE(number(rows["plain.txt"]["Disk Bytes"]), 1000u);
  EXPECT_EQ(number(rows["sub"]["File Bytes"]), 5000u);
  EXPECT_EQ(number(rows["sub"]["Files"]), 1u);
  EXPECT_EQ(number(rows["with,comma \"quoted\""]["File Bytes"]), 10u);
  EXPECT_EQ(number(rows["new\\nline"]["File Bytes"]), 20u) << "one line, the newline an escape";
  EXPECT_TRUE(rows.count("'=SUM(A1)")) << "never a formula";
  // The totals are the row of the folder itself, marked as such.
  auto total = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.second.at("Type") == "Total"; });
  ASSERT_NE(total, rows.end()) << testsupport::readFile(file);
  EXPECT_EQ(number(total->second["File Bytes"]), 1000u + 10 + 20 + 40 + 5000 + (8 << 20));
  EXPECT_EQ(number(total->second["Files"]), 6u);
  EXPECT_EQ(number(total->second["Directories"]), 1u);
  EXPECT_TRUE(namesStartingWith(t.root(), ".tallorin-report").empty());
}

TEST_F(ReportCli, DepthAndAllocatedBlocksForThisRun) {
  struct Case {
    std::vector<std::string> options;
    bool deeperRows;
    bool allocated;
  } cases[] = {
      {{}, false, false},
      {{"--depth", "1"}, true, false},
      {{"--depth=all"}, true, false},
      {{"--depth", "0", "--allocated"}, false, true},
  };
  for (const Case& c : cases) {
    const std::string file = t.path("depth.csv");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-o", file, tree});
    const Outcome o = run(args);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    auto rows = csvRows(testsupport::readFile(file));
    bool deeper = false;
    for (const auto& [name, row] : rows) deeper |= name.find("deeper.bin") != std::string::npos;
    EXPECT_EQ(deeper, c.deeperRows) << ::testing::PrintToString(c.options);
    // A sparse file of 8 MiB holds one block: allocated blocks tell.
    const uint64_t disk = number(rows["sparse.img"]["Disk Bytes"]);
    if (c.allocated)
      EXPECT_LT(disk, 1u << 20) << ::testing::PrintToString(c.options);
    else
      EXPECT_GE(disk, 8u << 20) << ::testing::PrintToString(c.options);
  }
  // Nothing of it was stored for the window: a plain run rounds again.
  const Outcome o = run({"--format", "csv", tree});
  EXPECT_GE(number(csvRows(o.out)["sparse.img"]["Disk Bytes"]), 8u << 20);
}

TEST_F(ReportCli, FormatFromTheExtensionOrTheFormatOption) {
  struct Case {
    std::vector<std::string> args;  // the report file, if any, is "out" + extension
    std::string file;
    std::string mark;               // a text only that format has
  } cases[] = {
      {{}, "usage.JSON", "[1,"},
      {{}, "usage.html", "<html"},
      {{}, "usage.htm", "<html"},
      {{}, "usage.txt", "plain.txt"},
      {{}, "usage", "plain.txt"},
      {{"--format", "json", "-o", "-"}, "", "[1,"},
      {{"--format=html"}, "", "<html"},
      {{"--format", "csv", "-o", "-"}, "", "\r\n"},
      {{"--format", "text"}, "", "plain.txt"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    const std::string file = c.file.empty() ? "" : t.path(c.file);
    if (!file.empty()) args.insert(args.end(), {"-o", file});
    args.push_back(tree);
    const Outcome o = run(args);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::string text = file.empty() ? o.out : testsupport::readFile(file);
    EXPECT_NE(text.find(c.mark), std::string::npos) << ::testing::PrintToString(args);
    if (c.mark == "[1,") {
      QJsonParseError error{};
      const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
      EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
      EXPECT_TRUE(doc.isArray());
    }
    if (c.mark != "\r\n") EXPECT_EQ(text.find("\r\n"), std::string::npos) << ::testing::PrintToString(args);
  }
}

TEST_F(ReportCli, ADeviceOrPipeGivenToOutputIsWrittenToNotReplaced) {
  // Renaming a finished report onto /dev/null would replace the device; a
  // FIFO shows the same without putting the machine's /dev/null at stake.
  const std::string fifo = t.path("pipe");
  t.fifo("pipe");
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    received = slurp(fd);
    ::close(fd);
  });
  const Outcome o = run({"--format", "csv", "-o", fifo, tree});
  reader.join();
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_TRUE(csvRows(received).count("plain.txt")) << received;
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  ASSERT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced by a file";  // then /dev/null would be too
  const Outcome null = run({"-o", "/dev/null", tree});
  EXPECT_EQ(null.exitCode, 0) << null.err;
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(ReportCli, NcduBrowsesTheJsonFromAPipe) {
  if (!haveProgram("ncdu")) GTEST_SKIP() << "ncdu is not installed (scripts/install-deps.sh installs it)";
  const std::string again = t.path("again.json");
  // ncdu reads the report from its standard input and exports what it read.
  const std::string command = "set -o pipefail; { env -u DISPLAY '" + kProgram + "' --format json -o - '" + tree +
                              "' | ncdu -f - -o '" + again + "'; } 2>&1";
  std::string said = commandOutput("bash -c \"" + command + "\"; echo \"exit $?\"");
  // ncdu ends its export with an empty line; anything else is a complaint.
  while (!said.empty() && said.front() == '\n') said.erase(0, 1);
  EXPECT_EQ(said, "exit 0\n") << "ncdu complained";
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(testsupport::readFile(again)), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  // [1, 2, {header}, [{root}, entries...]]
  const QJsonArray root = doc.array().at(3).toArray();
  EXPECT_EQ(root.at(0).toObject().value("name").toString().toStdString(), tree);
  std::map<std::string, QJsonValue> entries;
  for (int i = 1; i < root.size(); ++i) {
    const QJsonObject o = root.at(i).isArray() ? root.at(i).toArray().at(0).toObject() : root.at(i).toObject();
    entries[o.value("name").toString().toStdString()] = root.at(i);
  }
  ASSERT_TRUE(entries.count("plain.txt")) << testsupport::readFile(again);
  EXPECT_EQ(entries["plain.txt"].toObject().value("asize").toInteger(), 1000);
  EXPECT_TRUE(entries.count("new\nline"));
  EXPECT_TRUE(entries.count("with,comma \"quoted\""));
  ASSERT_TRUE(entries["sub"].isArray()) << "a folder is an array";
  EXPECT_EQ(entries["sub"].toArray().at(1).toObject().value("name").toString(), "deeper.bin");
}

TEST_F(ReportCli, HelpAndVersion) {
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: tallorin-report", 0), 0u) << help.out;
  for (const char* option : {"--output", "--format", "--depth", "--allocated", "--quiet", "--version"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  EXPECT_EQ(help.err, "");
  const Outcome version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("tallorin-report ") + PROJECT_VERSION_TEXT + "\n");
}

TEST_F(ReportCli, WrongUsageEndsWithTwoAndTheUsage) {
  const std::string csv = t.path("u.csv");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{}, "no FOLDER given"},
      {{"-q"}, "no FOLDER given"},
      {{tree, tree}, "one FOLDER only"},
      {{"--bogus", tree}, "unknown option '--bogus'"},
      {{"-x", tree}, "unknown option '-x'"},
      {{tree, "-o"}, "option '-o' needs a value"},
      {{tree, "--depth"}, "option '--depth' needs a value"},
      {{"--depth", "two", tree}, "--depth takes a whole number"},
      {{"--depth", "-2", tree}, "--depth takes a whole number"},
      {{"--depth", "99999999999", tree}, "--depth takes a whole number from 0 to 2147483647, or all"},
      {{"--depth", "2147483648", tree}, "--depth takes a whole number from 0 to 2147483647, or all"},
      {{"--depth", "-1", tree}, "--depth takes a whole number"},
      {{"--depth", "+1", tree}, "--depth takes a whole number"},
      {{"--depth", " 1", tree}, "--depth takes a whole number"},
      {{"--depth", "1 ", tree}, "--depth takes a whole number"},
      {{"--depth=", tree}, "--depth takes a whole number"},
      {{"--depth", "0x10", tree}, "--depth takes a whole number"},
      {{"--format", "xml", tree}, "unknown format 'xml'"},
      {{"--format", "json", "-o", csv, tree}, "--format is for standard output"},
      {{"-o", "", tree}, "no report FILE given"},
      {{"--output=", tree}, "no report FILE given"},
      {{""}, "no FOLDER given"},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.args);
    EXPECT_EQ(o.exitCode, 2) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.err.rfind("tallorin-report: " + c.says, 0), 0u) << o.err;
    EXPECT_NE(o.err.find("Usage: tallorin-report"), std::string::npos) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.out, "");
  }
  EXPECT_FALSE(testsupport::pathExists(csv));
}

TEST_F(ReportCli, FailuresEndWithOneNamingThePathAndTheReason) {
  t.dir("locked", 0);   // nobody may read it but root, and the cases drop root
  t.dir("shut", 0555);  // nobody may write a report here
  struct Case {
    std::vector<std::string> args;
    bool unprivileged;
    std::string says;
  } cases[] = {
      {{t.path("missing")}, false, "cannot read " + t.path("missing") + ": No such file or directory"},
      {{t.path("tree/plain.txt")}, false, "cannot read " + t.path("tree/plain.txt") + ": Not a directory"},
      {{"-o", t.path("nowhere/r.csv"), tree}, false,
       "cannot write " + t.path("nowhere/r.csv") + ": No such file or directory"},
      {{"-o", t.path("tree/sub/deeper.bin/r.csv"), tree}, false,
       "cannot write " + t.path("tree/sub/deeper.bin/r.csv") + ": Not a directory"},
      {{t.path("locked")}, true, "cannot read " + t.path("locked") + ": Permission denied"},
      {{"-o", t.path("shut/r.json"), tree}, true, "cannot write " + t.path("shut/r.json") + ": Permission denied"},
      // One line whatever the path holds; a terminal's escape sequence is shown, not run.
      {{t.path("gone\nfake: line\x1B[2J")}, false,
       "cannot read " + t.path("gone\\nfake: line\\x1B[2J") + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    RunSetup setup;
    setup.unprivileged = c.unprivileged;
    const Outcome o = run(c.args, setup);
    EXPECT_EQ(o.exitCode, 1) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.err, "tallorin-report: " + c.says + "\n");
    EXPECT_EQ(o.out, "") << "no report when it fails";
  }
  EXPECT_TRUE(namesStartingWith(t.path("shut"), "").size() == 2) << "nothing left in the folder";
}

TEST_F(ReportCli, AFailedWriteLeavesTheEarlierReportAsItWas) {
  const std::string file = t.path("usage.csv");
  { std::ofstream(file) << "the earlier report\n"; }
  // The file system refuses to grow a file past 100 bytes (a full disk, a quota).
  RunSetup setup;
  setup.fileSizeLimit = 100;
  const Outcome o = run({"-o", file, tree}, setup);
  EXPECT_EQ(o.exitCode, 1) << "ended by a signal instead of a message: " << o.err;
  EXPECT_EQ(o.err, "tallorin-report: cannot write " + file + ": File too large\n");
  EXPECT_EQ(testsupport::readFile(file), "the earlier report\n");
  EXPECT_TRUE(namesStartingWith(t.root(), ".tallorin-report").empty()) << "a temporary file was left behind";
  // A folder that cannot be read leaves it too.
  const Outcome gone = run({"-o", file, t.path("missing")});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_EQ(testsupport::readFile(file), "the earlier report\n");
}

TEST_F(ReportCli, StandardOutputThatTakesNothing) {
  // A full disk behind the redirection.
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  RunSetup setup;
  setup.stdoutFd = full;
  Outcome o = run({tree}, setup);
  ::close(full);
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.err, "tallorin-report: cannot write standard output: No space left on device\n");
}

TEST_F(ReportCli, AReaderThatWentAwayEndsItQuietly) {
  // As `| head -1` does once it has its line: the program ends as other
  // command-line tools do, by the signal, with nothing said, whether or not
  // its caller ignored the signal.
  for (const bool ignored : {false, true}) {
    for (const char* format : {"json", "text"}) {
      int fds[2];
      ASSERT_EQ(::pipe(fds), 0);
      ::close(fds[0]);
      RunSetup setup;
      setup.stdoutFd = fds[1];
      setup.pipeSignalIgnored = ignored;
      const Outcome o = run({"--depth", "all", "--format", format, "-o", "-", tree}, setup);
      ::close(fds[1]);
      EXPECT_EQ(o.signal, SIGPIPE) << format << (ignored ? ", ignored by the caller" : "");
      EXPECT_EQ(o.err, "") << format;
    }
  }
  // The same through a shell's pipeline.
  const std::string said =
      commandOutput("{ '" + kProgram + "' --depth all '" + tree + "' | head -1 >/dev/null; } 2>&1");
  EXPECT_EQ(said, "");
}

TEST_F(ReportCli, ProgressOnlyOnATerminalAndWipedAtTheEnd) {
  RunSetup setup;
  setup.stderrIsTerminal = true;
  const std::string file = t.path("p.csv");
  Outcome o = run({"-o", file, tree}, setup);
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.err.find("\rtallorin-report: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(" folder"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(" bytes on disk"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find('\n'), std::string::npos) << "one line, rewritten in place";
  EXPECT_TRUE(o.err.size() >= 4 && o.err.substr(o.err.size() - 4) == "\r\033[K") << "the line is wiped";
  EXPECT_FALSE(csvRows(testsupport::readFile(file)).empty());
  // Asked to be quiet, or on a pipe (every other test): nothing.
  o = run({"-q", "-o", file, tree}, setup);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  // The report goes down a pipe, whose reader (ncdu) draws on the same
  // terminal: nothing either.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string piped;
  std::thread reader([&] { piped = slurp(fds[0]); });
  setup.stdoutFd = fds[1];
  o = run({"--format", "json", "-o", "-", tree}, setup);
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(piped.rfind("[1,", 0), 0u);
}

namespace {

// A file holding text, open for appending as a shell's `>> file` opens it.
int appendingTo(const std::string& path, const std::string& text) {
  { std::ofstream(path) << text; }
  return ::open(path.c_str(), O_RDWR | O_APPEND);
}

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST_F(ReportCli, ANameForStandardOutputWritesToItAndReplacesNothing) {
  // `tallorin-report -o /dev/stdout DIR >> log.txt`: the report is added to
  // the log, which stays the same file with what it held.
  t.symlink("/dev/stdout", "to-stdout");
  struct Case {
    std::vector<std::string> args;
    std::string mark;  // in the report that follows the log's line
  } cases[] = {
      {{"-o", "/dev/stdout"}, "Disk usage report"},
      {{"-o", "/dev/fd/1"}, "Disk usage report"},
      {{"-o", "/proc/self/fd/1"}, "Disk usage report"},
      {{"-o", "/proc/thread-self/fd/1"}, "Disk usage report"},
      {{"-o", t.path("to-stdout")}, "Disk usage report"},
      {{"--format", "json", "-o", "/dev/stdout"}, "[1,"},
      {{"--format=csv", "-o", "/dev/fd/1"}, "Folder,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const std::string log = t.path("log.txt");
    const int fd = appendingTo(log, "IMPORTANT\n");
    ASSERT_GE(fd, 0);
    const ino_t before = inodeOf(log);
    RunSetup setup;
    setup.stdoutFd = fd;
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "-q");
    args.push_back(tree);
    const Outcome o = run(args, setup);
    ::close(fd);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(inodeOf(log), before) << "the log was replaced by another file";
    const std::string text = testsupport::readFile(log);
    EXPECT_EQ(text.rfind("IMPORTANT\n" + c.mark, 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("plain.txt"), std::string::npos);
    EXPECT_TRUE(namesStartingWith(t.root(), ".tallorin-report").empty());
    ::unlink(log.c_str());
  }
}

TEST_F(ReportCli, StandardOutputOnADeletedFileMakesNoFileOfItsName) {
  // `exec >victim.txt; rm victim.txt; tallorin-report -o /dev/stdout DIR`:
  // the descriptor's link reads "victim.txt (deleted)", which is no name to
  // write to.
  const std::string victim = t.path("victim.txt");
  const int fd = appendingTo(victim, "");
  ASSERT_GE(fd, 0);
  ::unlink(victim.c_str());
  RunSetup setup;
  setup.stdoutFd = fd;
  const Outcome o = run({"-q", "-o", "/dev/stdout", tree}, setup);
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(slurp(fd).find("plain.txt"), std::string::npos) << "the report went to the descriptor";
  ::close(fd);
  const std::vector<std::string> left = namesStartingWith(t.root(), "victim");
  EXPECT_TRUE(left.empty()) << left.front();
}

TEST_F(ReportCli, DescriptorsThatCannotTakeAReport) {
  // Not open, or open for reading only: said, nothing made in their place.
  const Outcome closed = run({"-q", "-o", "/dev/fd/250", tree});
  EXPECT_EQ(closed.exitCode, 1);
  EXPECT_EQ(closed.err, "tallorin-report: cannot write /dev/fd/250: Bad file descriptor\n");
  const Outcome input = run({"-q", "--format", "csv", "-o", "/dev/stdin", tree});
  EXPECT_EQ(input.exitCode, 1);
  EXPECT_EQ(input.err, "tallorin-report: cannot write /dev/stdin: Bad file descriptor\n");
}

TEST_F(ReportCli, APipeNamedByItsExtensionGetsThatFormat) {
  t.fifo("pipe.json");
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(t.path("pipe.json").c_str(), O_RDONLY);
    received = slurp(fd);
    ::close(fd);
  });
  const Outcome o = run({"-o", t.path("pipe.json"), tree});
  reader.join();
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(received.rfind("[1,", 0), 0u) << received.substr(0, 100);
}

TEST_F(ReportCli, AReportOnTheTerminalHasNoProgressLineInIt) {
  // `tallorin-report /usr/share` at a prompt: the report starts its own line,
  // and JSON streamed to the terminal holds nothing else.
  t.dir("many");
  for (int i = 0; i < 300; ++i) t.file("many/f" + std::to_string(i), 10);
  RunSetup setup;
  setup.stderrIsTerminal = true;
  setup.stdoutIsTerminal = true;
  struct Case {
    std::vector<std::string> args;
    std::string start;
  } cases[] = {
      {{}, "Disk usage report"},
      {{"--format", "json", "-o", "-"}, "[1,"},
      {{"-o", "/dev/stdout"}, "Disk usage report"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(t.root());
    const Outcome o = run(args, setup);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err.rfind(c.start, 0), 0u) << ::testing::PrintToString(args) << "\n" << o.err.substr(0, 200);
    EXPECT_EQ(o.err.find("bytes on disk"), std::string::npos) << ::testing::PrintToString(args);
  }
}

TEST_F(ReportCli, JsonDatesBefore1970AreReadByNcduTheOtherFormatsKeepThem) {
  t.dir("dated");
  t.file("dated/old", 5, -631152000);  // 1950-01-01 00:00:00 UTC
  t.file("dated/new", 5, 1600000000);
  const Outcome o = run({"--format", "json", "-o", "-", t.path("dated")});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(o.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  std::map<std::string, int64_t> mtime;
  const QJsonArray root = doc.array().at(3).toArray();
  for (int i = 1; i < root.size(); ++i)
    mtime[root.at(i).toObject().value("name").toString().toStdString()] = root.at(i).toObject().value("mtime").toInteger(-1);
  EXPECT_EQ(mtime["old"], 0) << "the format's mtime is unsigned";
  EXPECT_EQ(mtime["new"], 1600000000);
  const Outcome csv = run({"--format", "csv", t.path("dated")});
  auto rows = csvRows(csv.out);
  EXPECT_EQ(rows["old"]["Date"].rfind("1950-01-01", 0), 0u) << rows["old"]["Date"];
  if (!haveProgram("ncdu")) GTEST_SKIP() << "ncdu is not installed (scripts/install-deps.sh installs it)";
  const std::string said = commandOutput("{ env -u DISPLAY '" + kProgram + "' --format json -o - '" + t.path("dated") +
                                         "' | ncdu -f - -o /dev/null; } 2>&1; echo \"exit $?\"");
  EXPECT_EQ(said.substr(said.find_first_not_of('\n')), "exit 0\n") << "ncdu complained";
}

TEST_F(ReportCli, AFolderListedButNotEnteredSaysSoInEveryReport) {
  // Mode 644 on a folder: its names can be listed, none of its entries looked
  // at. That is not an empty folder.
  t.dir("u");
  t.dir("u/n");
  t.file("u/n/y", 100);
  t.file("u/n/z", 100);
  t.file("u/fine", 100);
  ::chmod(t.path("u/n").c_str(), 0644);
  RunSetup setup;
  setup.unprivileged = true;
  const std::string note = "tallorin-report: 1 folder could not be read in full";
  // From its parent: n carries the read error.
  Outcome o = run({"--format", "json", "-o", "-", t.path("u")}, setup);
  ::chmod(t.path("u/n").c_str(), 0755);  // for the clean-up
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err.rfind(note, 0), 0u) << o.err;
  QJsonParseError error{};
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(o.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << o.out;
  QJsonObject n;
  const QJsonArray root = doc.array().at(3).toArray();
  for (int i = 1; i < root.size(); ++i)
    if (root.at(i).isArray() && root.at(i).toArray().at(0).toObject().value("name") == "n")
      n = root.at(i).toArray().at(0).toObject();
  EXPECT_TRUE(n.value("read_error").toBool()) << o.out;
  EXPECT_FALSE(root.at(0).toObject().contains("read_error")) << "the parent was read in full";
  // The folder itself: the root carries it.
  ::chmod(t.path("u/n").c_str(), 0644);
  o = run({"--format", "json", "-o", "-", t.path("u/n")}, setup);
  const Outcome text = run({t.path("u")}, setup);
  ::chmod(t.path("u/n").c_str(), 0755);
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err.rfind(note, 0), 0u) << o.err;
  doc = QJsonDocument::fromJson(QByteArray::fromStdString(o.out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << o.out;
  EXPECT_TRUE(doc.array().at(3).toArray().at(0).toObject().value("read_error").toBool()) << o.out;
  // The text report's totals count it.
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("Unreadable folders: 1\n"), std::string::npos) << text.out;
}

TEST_F(ReportCli, APseudoFileSystemIsNamedAsNotCounted) {
  const Outcome o = run({"/proc"});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err, "tallorin-report: /proc is on a pseudo file system, which stores nothing on a disk: "
                   "its contents are not counted\n");
  EXPECT_NE(o.out.find("Disk usage report"), std::string::npos);
  const Outcome disk = run({tree});
  EXPECT_EQ(disk.err, "") << "a folder on a disk has no such note";
}

TEST_F(ReportCli, EveryNameOfAFileWithSeveralHasItsDate) {
  t.dir("links");
  t.file("links/a", 3000, 1500000000);  // 2017-07-14T02:40:00Z
  t.hardlink("links/a", "links/b");
  t.file("links/c", 10, 1600000000);
  t.dir("links/sub");
  t.hardlink("links/a", "links/sub/a_link");
  t.file("links/sub/own", 5);
  const Outcome o = run({"--format", "csv", "--depth", "all", t.path("links")});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  auto rows = csvRows(o.out);
  ASSERT_TRUE(rows.count("a") && rows.count("b") && rows.count("sub/a_link")) << o.out;
  EXPECT_EQ(rows["a"]["Date"].rfind("2017-07-14", 0), 0u) << o.out;
  EXPECT_EQ(rows["b"]["Date"], rows["a"]["Date"]) << o.out;
  // Its bytes once: at the first name. Every name is a file.
  EXPECT_EQ(number(rows["a"]["File Bytes"]) + number(rows["b"]["File Bytes"]), 3000u);
  EXPECT_EQ(number(rows["sub/a_link"]["File Bytes"]), 0u);
  for (const char* name : {"a", "b", "sub/a_link"}) EXPECT_EQ(number(rows[name]["Files"]), 1u) << name;
  EXPECT_EQ(number(rows["sub"]["Files"]), 2u) << "a_link and own";
  auto total = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.second.at("Type") == "Total"; });
  ASSERT_NE(total, rows.end());
  EXPECT_EQ(number(total->second["File Bytes"]), 3015u);
  EXPECT_EQ(number(total->second["Files"]), 5u);
  // In allocated blocks, the total is du's.
  const Outcome allocated = run({"--format", "csv", "--allocated", t.path("links")});
  rows = csvRows(allocated.out);
  total = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.second.at("Type") == "Total"; });
  ASSERT_NE(total, rows.end()) << allocated.out;
  EXPECT_EQ(std::to_string(number(total->second["Disk Bytes"])) + "\n",
            commandOutput("du -s -B1 '" + t.path("links") + "' | cut -f1"));
}

TEST_F(ReportCli, EndedByASignalItLeavesNoTemporaryFile) {
  // Ctrl+C, a logout or `kill` while the report's temporary file has a name
  // beside the target: on a file system without unnamed files, from the
  // start; on others, for the moment the finished report is named before it
  // replaces the earlier one. The program stops itself there (a test hook),
  // gets the signal and goes on. The temporary file goes with the program,
  // the earlier report stays, and the program ends by the signal as it would
  // have. A caller that ignores the signal keeps it ignored: the report is
  // written.
  const std::string file = t.path("usage.json");
  struct Case {
    int signal;
    bool unnamedFiles;  // the file system has them
    bool ignored;
  } cases[] = {
      {SIGINT, false, false}, {SIGTERM, false, false}, {SIGHUP, false, false},
      {SIGTERM, true, false}, {SIGINT, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.unnamedFiles ? ", unnamed files" : "") +
                 (c.ignored ? ", ignored" : ""));
    { std::ofstream(file) << "the earlier report\n"; }
    RunSetup setup;
    setup.env = {"TLR32_TEST_STOP_WHEN_NAMED=1"};
    if (!c.unnamedFiles) setup.env.push_back("TLR32_TEST_NO_TMPFILE=1");
    if (c.ignored) setup.ignoredSignal = c.signal;
    int stops = 0;
    std::vector<std::string> named;
    setup.whenStopped = [&](pid_t pid) {
      ++stops;
      named = namesStartingWith(t.root(), ".tallorin-report-");
      ::kill(pid, c.signal);
      ::kill(pid, SIGCONT);
    };
    const Outcome o = run({"-o", file, tree}, setup);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(named.size(), 1u) << "the temporary file has a name where it stopped";
    EXPECT_TRUE(namesStartingWith(t.root(), ".tallorin-report").empty()) << "a temporary file was left behind";
    if (c.ignored) {
      EXPECT_EQ(o.exitCode, 0) << o.err;
      EXPECT_EQ(testsupport::readFile(file).rfind("[1,", 0), 0u) << "the report replaced the earlier one";
    } else {
      EXPECT_EQ(o.signal, c.signal) << "exit " << o.exitCode << ": " << o.err;
      // The signal may be taken on another of the program's threads while
      // the one with the finished report goes on to rename it: the target
      // then holds the whole new report. Either way it holds a whole one.
      const std::string now = testsupport::readFile(file);
      EXPECT_TRUE(now == "the earlier report\n" || (now.rfind("[1,", 0) == 0 && now.size() > 4 && now.substr(now.size() - 4) == "]]]\n"))
          << now;
    }
  }
}

// A saved scan, the tree changed, and the report with its change of each
// entry: in every format with columns, gone entries last, and the failures.
TEST_F(ReportCli, CompareWithASavedScanShowsWhatGrewWhatIsNewAndWhatIsGone) {
  t.dir("tree/grows");
  t.file("tree/grows/f", 10000);
  t.dir("tree/shrinks");
  t.file("tree/shrinks/f", 90000);
  t.dir("tree/goes");
  t.file("tree/goes/f", 3);
  t.file("tree/renamed-from", 70000);
  t.dir("tree/becomes-link");
  t.file("tree/becomes-link/f", 5000);
  const std::string scan = t.path("old.json");
  std::vector<std::string> scans = {scan};
  ASSERT_EQ(run({"-q", "-o", scan, tree}).exitCode, 0);
  if (haveProgram("ncdu")) {
    scans.push_back(t.path("ncdu.json"));
    ASSERT_EQ(std::system(("ncdu -0 -o '" + scans.back() + "' '" + tree + "' >/dev/null 2>&1").c_str()), 0);
  }
  t.file("tree/grows/more", 50000);
  ::truncate(t.path("tree/shrinks/f").c_str(), 100);
  ASSERT_EQ(std::system(("rm -r '" + t.path("tree/goes") + "' '" + t.path("tree/becomes-link") + "'").c_str()), 0);
  ASSERT_EQ(::rename(t.path("tree/renamed-from").c_str(), t.path("tree/renamed-to").c_str()), 0);
  t.symlink("grows", "tree/becomes-link");
  t.dir("tree/arrives");

  for (const std::string& saved : scans) {
    SCOPED_TRACE(saved);
    const Outcome csv = run({"-q", "--compare", saved, "--format", "csv", tree});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const auto rows = csvRows(csv.out);
    struct Want {
      const char* name;
      const char* change;
    };
    const Want wants[] = {{"grows", "+"},      {"shrinks", "-"},  {"goes", "gone"},       {"renamed-from", "gone"},
                          {"renamed-to", "new"}, {"arrives", "new"}, {"becomes-link", "-"}, {"plain.txt", "0"},
                          {"sub", "0"}};
    for (const Want& w : wants) {
      ASSERT_TRUE(rows.count(w.name)) << w.name << "\n" << csv.out;
      const std::string got = rows.at(w.name).at("Change");
      if (std::string(w.change) == "+" || std::string(w.change) == "-")
        EXPECT_TRUE(got.size() > 1 && (w.change[0] == '+' ? std::isdigit(static_cast<unsigned char>(got[0])) && got != "0"
                                                         : got[0] == '-'))
            << w.name << ": " << got;
      else
        EXPECT_EQ(got, w.change) << w.name;
    }
    // Largest growth first, gone entries last.
    const std::vector<std::vector<std::string>> table = parseCsv(csv.out);
    std::vector<std::string> order;
    for (const auto& line : table)
      if (line.size() > 3 && (line[1] == "File" || line[1] == "Folder")) order.push_back(line[0]);
    ASSERT_GE(order.size(), 3u);
    // A new entry grows by its whole size: 70,000 bytes before 50,000 more.
    EXPECT_EQ(order[0], "renamed-to");
    EXPECT_EQ(order[1], "grows");
    EXPECT_TRUE((order[order.size() - 1] == "goes" && order[order.size() - 2] == "renamed-from") ||
                (order[order.size() - 2] == "goes" && order[order.size() - 1] == "renamed-from"))
        << csv.out;
    const Outcome text = run({"-q", "--compare", saved, tree});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("Change"), std::string::npos);
    EXPECT_NE(text.out.find(" gone  "), std::string::npos) << text.out;
    const Outcome html = run({"-q", "--compare", saved, "--format", "html", tree});
    EXPECT_EQ(html.exitCode, 0);
    EXPECT_NE(html.out.find("<th data-k=\"g\">Change</th>"), std::string::npos);
    EXPECT_NE(html.out.find("<tr class=\"gone\""), std::string::npos);
  }

  // Refused or failed, each with its message.
  testsupport::writeFile(t.path("bad.json"), "[1,2,{},[{\"name\":\"" + tree + "\"},{\"name\":\"x\",\"asize\":-1}]]");
  struct Failure {
    std::vector<std::string> args;
    int exitCode;
    std::string says;
  };
  const Failure failures[] = {
      {{"--compare", t.path("none.json"), tree}, 1, "cannot read the scan " + t.path("none.json") + ": No such file"},
      {{"--compare", t.path("bad.json"), tree}, 1, "cannot read the scan " + t.path("bad.json") + ": \"asize\" is below zero"},
      {{"--compare", scan, t.root()}, 1, "the scan " + scan + " does not contain " + t.root()},
      {{"--compare", scan, "--format", "json", tree}, 2, "the JSON export has no Change column"},
      {{"--compare", scan, "-o", t.path("r.json"), tree}, 2, "the JSON export has no Change column"},
      {{"--compare", scan, "--depth", "1", tree}, 2, "it takes no --depth"},
      {{"--compare=", tree}, 2, "the name given to --compare is empty"},
  };
  for (const Failure& f : failures) {
    const Outcome o = run(f.args);
    EXPECT_EQ(o.exitCode, f.exitCode) << f.says;
    EXPECT_NE(o.err.find(f.says), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty());
  }
  EXPECT_FALSE(testsupport::pathExists(t.path("r.json")));
}
