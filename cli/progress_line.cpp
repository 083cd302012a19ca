#include "cli/progress_line.h"

#include <chrono>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#endif
#include <unistd.h>

#include "tlr32/tlr32.h"

namespace cli {

bool progressWanted(int progressFd, int reportFd) {
  if (!::isatty(progressFd)) return false;
  if (reportFd < 0) return true;  // a report file
  // The report itself on a terminal: a progress line there would run into
  // its first line ("... bytes on diskDisk usage report"), or into JSON
  // streamed while the walk goes on.
  if (::isatty(reportFd)) return false;
  struct stat st {};
#ifdef _WIN32
  return !(::fstat(reportFd, &st) == 0 && S_ISFIFO(st.st_mode));
#else
  return !(::fstat(reportFd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)));
#endif
}

std::string withThousands(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

std::string progressText(uint64_t files, uint64_t folders, uint64_t diskBytes) {
  return withThousands(files) + (files == 1 ? " file, " : " files, ") + withThousands(folders) +
         (folders == 1 ? " folder, " : " folders, ") + withThousands(diskBytes) + " bytes on disk";
}

ProgressLine::ProgressLine(int fd, bool enabled) : m_fd(fd), m_enabled(enabled) {}

ProgressLine::~ProgressLine() { stop(); }

void ProgressLine::start() {
  if (m_enabled && !m_thread.joinable()) m_thread = std::thread([this] { run(); });
}

void ProgressLine::stop() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_cv.notify_all();
  m_thread.join();
  if (m_shown) {
    const char wipe[] = "\r\033[K";
    [[maybe_unused]] ssize_t n = ::write(m_fd, wipe, sizeof wipe - 1);
    m_shown = false;
  }
}

void ProgressLine::run() {
  // At once, then ten updates a second at most.
  using namespace std::chrono_literals;
  std::string last;
  std::unique_lock lock(m_mutex);
  for (bool first = true; first || !m_cv.wait_for(lock, 100ms, [this] { return m_stop; }); first = false) {
    uint64_t counts[4] = {};
    TlrGetProgress(counts, 4);
    std::string text = "tallorin-report: " + progressText(counts[0], counts[1], counts[3]);
    if (text == last) continue;
    last = text;
    show(text);
  }
}

void ProgressLine::show(const std::string& text) {
  // One line: cut to the terminal's width, or it would wrap and the next
  // carriage return would leave the wrapped part behind.
  std::string line = text;
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const size_t columns = ::GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(::_get_osfhandle(m_fd)), &info)
                             ? static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1)
                             : 0;
  if (columns > 1 && line.size() >= columns) line.resize(columns - 1);
#else
  winsize ws{};
  if (::ioctl(m_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && line.size() >= ws.ws_col) line.resize(ws.ws_col - 1);
#endif
  line = "\r" + line + "\033[K";
  [[maybe_unused]] ssize_t n = ::write(m_fd, line.data(), line.size());
  m_shown = true;
}

}  // namespace cli
