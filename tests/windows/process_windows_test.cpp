// Windows processes of the engine's hosts and of tallorin-report, started
// the way a user or a script starts them: every way a host ends leaves it
// ending cleanly, and a report is written whole or not at all, also when the
// report program is ended from outside meanwhile. TALLORIN_FIXTURE is a small
// tree, TALLORIN_LARGE_TREE one that takes a while to walk.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::wstring wide(const std::string& s) {
  std::wstring out(s.size() + 1, L'\0');
  out.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, out.data(), static_cast<int>(out.size()))) - 1);
  return out;
}

// The folder of this test program, where the programs under test lie.
std::string here() {
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of("\\/") + 1);
}

std::string quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (const char c : arg) out += c == '"' ? std::string("\\\"") : std::string(1, c);
  return out + "\"";
}

std::string readFile(const std::string& path) {
  const HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text;
  if (h == INVALID_HANDLE_VALUE) return text;
  char buffer[65536];
  DWORD n = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
  ::CloseHandle(h);
  return text;
}

void writeFile(const std::string& path, const std::string& text) {
  const HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  ::CloseHandle(h);
}

bool exists(const std::string& path) { return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The temporary report files left in a folder.
int leftovers(const std::string& folder) {
  WIN32_FIND_DATAW d;
  const HANDLE h = ::FindFirstFileW(wide(folder + "\\.tallorin-report-*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do ++n;
  while (::FindNextFileW(h, &d));
  ::FindClose(h);
  return n;
}

struct Outcome {
  bool finished = false;
  DWORD exitCode = 0;
  std::string out, err;
};

class Process {
 public:
  // Starts program (beside this test) with args, its output and errors to files.
  Process(const std::string& program, const std::vector<std::string>& args, DWORD flags = 0) {
    static int serial = 0;
    const std::string base = env("TEMP").empty() ? std::string("C:\\") : env("TEMP");
    m_out = base + "\\proc-out-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
    m_err = m_out + ".err";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(wide(m_out).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = ::CreateFileW(wide(m_err).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    std::string line = quoted(here() + program);
    for (const std::string& a : args) line += " " + quoted(a);
    std::wstring cmd = wide(line);
    m_started = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si, &m_pi);
    ::CloseHandle(out);
    ::CloseHandle(err);
  }
  ~Process() {
    if (!m_started) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(m_pi.hProcess, 99);
    ::WaitForSingleObject(m_pi.hProcess, INFINITE);
    ::CloseHandle(m_pi.hProcess);
    ::CloseHandle(m_pi.hThread);
    ::DeleteFileW(wide(m_out).c_str());
    ::DeleteFileW(wide(m_err).c_str());
  }
  bool started() const { return m_started; }
  HANDLE handle() const { return m_pi.hProcess; }
  DWORD id() const { return m_pi.dwProcessId; }
  bool running() const { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }
  std::string output() const { return readFile(m_out); }
  // Waits up to limit ms; a process still running then is ended and reported so.
  Outcome wait(DWORD limit) {
    Outcome r;
    if (!m_started) return r;
    r.finished = ::WaitForSingleObject(m_pi.hProcess, limit) == WAIT_OBJECT_0;
    if (!r.finished) ::TerminateProcess(m_pi.hProcess, 99), ::WaitForSingleObject(m_pi.hProcess, INFINITE);
    ::GetExitCodeProcess(m_pi.hProcess, &r.exitCode);
    r.out = readFile(m_out);
    r.err = readFile(m_err);
    return r;
  }

 private:
  bool m_started = false;
  PROCESS_INFORMATION m_pi{};
  std::string m_out, m_err;
};

// Waits (without a limit on how long the wait may take: no timing is
// asserted) until done() or the process ended; false when it ended first.
template <typename Done>
bool whileRunning(const Process& p, Done done) {
  for (int i = 0; i < 60000; ++i) {
    if (done()) return true;
    if (!p.running()) return done();
    ::Sleep(1);
  }
  return false;
}

}  // namespace

TEST(EngineHostWindows, EndsCleanlyHoweverTheHostEnds) {
  const std::string small = env("TALLORIN_FIXTURE"), large = env("TALLORIN_LARGE_TREE");
  ASSERT_FALSE(small.empty() || large.empty());
  const struct {
    const char* mode;
    std::string folder;
  } cases[] = {
      {"return", ""},          {"return", small},       {"return", large},
      {"unload", ""},          {"unload", small},       {"unload", large},
      {"exit-thread", ""},     {"exit-thread", small},  {"exit-thread", large},
      {"exit-busy", large},    {"exitprocess-busy", large},
      {"calls-after", small},  {"calls-after", large},
      {"dialogs", ""},  // no Qt in the host: the dialogs say no and bring no Qt in
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{c.mode};
    if (!c.folder.empty()) args.push_back(c.folder);
    Process p("engine_host_win.exe", args);
    ASSERT_TRUE(p.started());
    const Outcome r = p.wait(60000);
    const std::string what = std::string(c.mode) + " " + c.folder;
    EXPECT_TRUE(r.finished) << what << ": still running";
    EXPECT_EQ(r.exitCode, 0u) << what;
  }
}

TEST(EngineHostWindows, TerminatedFromOutsideWhileWalkingItEndsWithTheCodeGiven) {
  for (int i = 0; i < 3; ++i) {
    Process p("engine_host_win.exe", {"walk-on", env("TALLORIN_LARGE_TREE")});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(whileRunning(p, [&] { return p.output().find("walking") != std::string::npos; })) << p.output();
    ASSERT_TRUE(::TerminateProcess(p.handle(), 7));
    const Outcome r = p.wait(60000);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 7u);
  }
}

TEST(ReportProgramWindows, ExitStatusAndOutputAsTheCommandLineSays) {
  const std::string tree = env("TALLORIN_FIXTURE");
  const std::string scratch = env("TALLORIN_SCRATCH");
  ASSERT_FALSE(tree.empty() || scratch.empty());
  const std::string folderAsReport = scratch + "\\a folder";
  ::CreateDirectoryW(wide(folderAsReport).c_str(), nullptr);
  const struct {
    std::vector<std::string> args;
    DWORD code;
    const char* inOut;  // found in the standard output
    const char* inErr;  // found in the errors
  } cases[] = {
      {{"--help"}, 0, "tallorin-report", ""},
      {{"--version"}, 0, "tallorin-report 0.1.0", ""},
      {{"--no-such-option"}, 2, "", "tallorin-report:"},
      {{"-q", tree + "\\no such folder"}, 1, "", "cannot read"},
      {{"-q", "--format", "csv", "-o", "-", tree}, 0, "Folder," , ""},
      {{"-q", "--format", "json", "-o", "-", tree}, 0, "[1,", ""},
      {{"-q", "--depth", "all", tree}, 0, "Disk usage report", ""},
      {{"-q", "-o", "NUL", tree}, 0, "", ""},  // a device: written to, never replaced
      {{"-q", "-o", folderAsReport, tree}, 1, "", "cannot write"},
  };
  for (const auto& c : cases) {
    Process p("tallorin-report.exe", c.args);
    ASSERT_TRUE(p.started());
    const Outcome r = p.wait(120000);
    std::string what;
    for (const auto& a : c.args) what += a + " ";
    EXPECT_TRUE(r.finished) << what;
    EXPECT_EQ(r.exitCode, c.code) << what << "\n" << r.err;
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << what << "\n" << r.out.substr(0, 400);
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << what << "\n" << r.err;
  }
  EXPECT_EQ(leftovers(scratch), 0);
}

TEST(ReportProgramWindows, AReportFileIsReplacedWholeAndItsLinesEndAsWritten) {
  const std::string scratch = env("TALLORIN_SCRATCH");
  ASSERT_FALSE(scratch.empty());
  for (const char* name : {"usage.csv", "usage.json", "usage.html", "usage.txt", "long name \xc3\xa9\xe2\x82\xac.csv"}) {
    const std::string report = scratch + "\\" + name;
    writeFile(report, "an earlier report");
    Process p("tallorin-report.exe", {"-q", "-o", report, env("TALLORIN_FIXTURE")});
    const Outcome r = p.wait(120000);
    EXPECT_EQ(r.exitCode, 0u) << name << r.err;
    const std::string text = readFile(report);
    EXPECT_EQ(text.find("an earlier report"), std::string::npos) << name;
    EXPECT_GT(text.size(), 100u) << name;
    EXPECT_EQ(text.find("\r\r\n"), std::string::npos) << name;  // no CR added to the CSV's own CRLF
  }
  EXPECT_EQ(leftovers(scratch), 0);
}

TEST(ReportProgramWindows, EndedFromOutsideMidReportTheEarlierReportStaysAndNoTemporaryFileIsLeft) {
  const std::string scratch = env("TALLORIN_SCRATCH");
  const std::string report = scratch + "\\interrupted.json";
  // JSON opens its temporary file before the walk: caught while the file is
  // there, which needs a walk that lasts; tried a few times in case one
  // walk ends before it is seen.
  int caught = 0;
  for (int attempt = 0; attempt < 5 && caught == 0; ++attempt) {
    writeFile(report, "the earlier report");
    Process p("tallorin-report.exe", {"-q", "-o", report, env("TALLORIN_LARGE_TREE")});
    ASSERT_TRUE(p.started());
    if (whileRunning(p, [&] { return leftovers(scratch) > 0; }) && ::TerminateProcess(p.handle(), 9) &&
        p.wait(60000).exitCode == 9)
      ++caught;
    p.wait(60000);
    EXPECT_EQ(leftovers(scratch), 0) << "attempt " << attempt;
  }
  EXPECT_EQ(caught, 1) << "the report never was caught half-written";
  EXPECT_EQ(readFile(report), "the earlier report");
}
