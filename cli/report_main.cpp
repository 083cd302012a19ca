// tallorin-report: a usage report of a folder without a window, for servers
// and scripts. It reaches the engine through its C interface only and loads
// no Qt. The counting options the window's Options menu stored (target drive,
// cluster sizes, file specification) apply as in the window; the depth and
// allocated blocks come from the command line, for this run only: nothing is
// stored.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#include <vector>
#include <windows.h>
#endif

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "platform/name_text.h"
#include "tlr32/replace_file.h"
#include "tlr32/tlr32.h"

namespace {

constexpr const char* kProgram = "tallorin-report";

// One line whatever the paths in it hold: a name with a newline or a
// terminal's control sequence is shown escaped, as the reports show it.
void say(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, platform::visibleName(text).c_str());
}

// The folder as the report names it: absolute, links resolved as a shell user
// expects of a folder typed on the command line. One that cannot be resolved
// goes to the engine as given, which tells why it cannot be read.
std::string reportFolder(const std::string& given) {
#ifdef _WIN32
  // Made whole against the current folder; the engine follows no link
  // on its way there either way.
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, given.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, given.c_str(), -1, wide.data(), n);
  wchar_t* full = ::_wfullpath(nullptr, wide.c_str(), 0);
  if (!full) return given;
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, full, -1, nullptr, 0, nullptr, nullptr);
  std::string folder(static_cast<size_t>(m > 0 ? m : 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, full, -1, folder.data(), m, nullptr, nullptr);
  std::free(full);
  folder.resize(std::strlen(folder.c_str()));
  return folder;
#else
  char* resolved = ::realpath(given.c_str(), nullptr);
  if (!resolved) return given;
  std::string folder = resolved;
  std::free(resolved);
  return folder;
#endif
}

}  // namespace

int run(int argc, char** argv) {
  cli::ReportRequest request;
  std::string error;
  switch (cli::parseCommandLine(argc, argv, request, error)) {
    case cli::Action::Help:
      std::fputs(cli::kUsage, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case cli::Action::Version:
      std::printf("%s %s\n", kProgram, TALLORIN_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case cli::Action::UsageError:
      say(error);
      std::fputs(cli::kUsage, stderr);
      return 2;
    case cli::Action::Report: break;
  }

  // A reader that goes away (head had enough, ncdu quit) ends the program
  // quietly, as it ends other command-line tools: nothing is left half
  // written, since a pipe has no file to replace. Set, not inherited: a
  // caller that ignores the signal would otherwise get a message instead.
#ifndef _WIN32
  std::signal(SIGPIPE, SIG_DFL);
  // A file size limit is a failed write (EFBIG) instead: the engine removes
  // its temporary file, and the earlier report stays as it was.
  std::signal(SIGXFSZ, SIG_IGN);
#endif

  if (!(TlrExtInit("") & 0xFF)) {
#ifdef _WIN32
    say("cannot initialise the usage engine (TLR32.DLL)");
#else
    say("cannot initialise the usage engine (libtlr32.so)");
#endif
    return 1;
  }
  TlrSetOption("ReportDepth", std::to_string(request.depth).c_str());
  TlrSetOption("AllocatedBlocks", request.allocated ? "1" : "0");

  // A report file is replaced whole through a temporary file. A name that
  // stands for a descriptor, a device or a pipe (/dev/stdout, /dev/fd/3,
  // /dev/null, a FIFO) is written to instead, as standard output is: renaming
  // a report onto it would replace the device, or the file behind a shell's
  // `>> log` redirection, instead of writing to it.
  std::string outputName = "standard output";
  std::string format = request.format;
  int outputFd = -1;
  bool ownFd = false;
  if (request.toStandardOutput()) {
    outputFd = STDOUT_FILENO;
  } else {
    outputName = request.output;
    tlr::OutputPlace place;
    if (!tlr::outputPlace(request.output, place)) {
      say("cannot write " + outputName + ": " + std::strerror(errno));
      return 1;
    }
    if (place.kind == tlr::OutputPlace::Kind::OwnDescriptor) {
      outputFd = place.fd;
    } else if (place.kind == tlr::OutputPlace::Kind::Direct) {
      outputFd = tlr::openDirect(place.path);
      ownFd = true;
      if (outputFd < 0) {
        say("cannot write " + outputName + ": " + std::strerror(errno));
        return 1;
      }
    } else if (request.formatGiven) {
      say("--format is for standard output; the extension of " + request.output + " chooses its format");
      std::fputs(cli::kUsage, stderr);
      return 2;
    }
    if (!request.formatGiven) format = cli::formatForFileName(request.output);
  }
  // The JSON export is the format other tools read: it has no Change column.
  if (!request.compare.empty() && format == "json") {
    say("--compare is for the text, CSV and HTML reports; the JSON export has no Change column");
    std::fputs(cli::kUsage, stderr);
    return 2;
  }
  if (!request.compare.empty() && !(TlrSetOption("CompareScan", request.compare.c_str()) & 0xFF)) {
    say("this usage engine cannot compare with a saved scan");
    return 1;
  }

  const std::string folder = reportFolder(request.folder);
  cli::ProgressLine progress(STDERR_FILENO, !request.quiet && cli::progressWanted(STDERR_FILENO, outputFd));
  progress.start();
  const int32_t result = outputFd >= 0 ? TlrCalcUsageToFd(folder.c_str(), outputFd, format.c_str())
                                       : TlrCalcUsage(folder.c_str(), request.output.c_str());
  progress.stop();
  if (ownFd && ::close(outputFd) != 0 && result >= 0) {
    say("cannot write " + outputName + ": " + std::strerror(errno));
    return 1;
  }

  if (result < 0) {
    std::string why = TlrGetLastError();
    // The engine knows the descriptor only; the user gave it a name.
    const std::string descriptor = "cannot write descriptor " + std::to_string(outputFd) + ":";
    if (why.rfind(descriptor, 0) == 0) why = "cannot write " + outputName + ":" + why.substr(descriptor.size());
    say(why.empty() ? "cannot report " + folder + " (code " + std::to_string(result) + ")" : why);
    return 1;
  }
  if (TlrGetStatVal("PseudoFileSystem"))
    say(folder + " is on a pseudo file system, which stores nothing on a disk: its contents are not counted");
  if (const int32_t unreadable = TlrGetStatVal("UnreadableDirectories"); unreadable > 0)
    say(cli::withThousands(static_cast<uint64_t>(unreadable)) +
        (unreadable == 1 ? " folder could not be read in full; what could not be read is not counted"
                         : " folders could not be read in full; what could not be read is not counted"));
  return 0;
}

#ifdef _WIN32
// The arguments as the system holds them, in UTF-16, passed on in UTF-8 as
// every string of the engine's interface: the ANSI code page cannot name
// every file. Standard output takes the reports' bytes as they are (no
// CR added before LF), and a console shows UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(static_cast<size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, a.data(), n, nullptr, nullptr);
    a.resize(std::strlen(a.c_str()));
    args.push_back(std::move(a));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
  // The progress line clears the rest of its line with a terminal sequence,
  // which a Windows console reads only with this mode on.
  const HANDLE errors = ::GetStdHandle(STD_ERROR_HANDLE);
  if (DWORD mode = 0; ::GetConsoleMode(errors, &mode))
    ::SetConsoleMode(errors, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  return run(argc, argv.data());
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
