#pragma once
// The progress line of tallorin-report on standard error: files, folders and
// bytes so far, rewritten in place at most ten times a second by a thread of
// its own while the engine works on the calling thread, and wiped at the end.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace cli {

// Progress goes to a terminal only, and not while the report goes down a pipe:
// the reader may be drawing on the same terminal (`| ncdu -f -`, `| less`),
// and a progress line written there would scribble over its screen. Nor
// while the report is written to a terminal itself. reportFd is -1 for a
// report file.
bool progressWanted(int progressFd, int reportFd);

// "12,345 files, 678 folders, 1,234,567,890 bytes on disk"
std::string progressText(uint64_t files, uint64_t folders, uint64_t diskBytes);
// "1,234,567"
std::string withThousands(uint64_t value);

class ProgressLine {
 public:
  // fd: where the line goes; nothing is shown unless enabled.
  ProgressLine(int fd, bool enabled);
  ~ProgressLine();  // stop()
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void start();
  // Stops the thread and wipes the line, so the terminal is as it was.
  void stop();

 private:
  void run();
  void show(const std::string& text);

  int m_fd;
  bool m_enabled;
  bool m_shown = false;  // something is on the line
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace cli
