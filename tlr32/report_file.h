#pragma once
// The file a report is written to. The text goes to a temporary file beside
// the target (unnamed where the file system allows) as it is produced;
// commit() puts it in place of the target in one step. A symbolic link is
// followed to the file it ends at and stays a link; the replaced file keeps
// its mode. Until then, and when
// anything fails, the target stays as it was and the temporary file is gone,
// also when the process is ended by SIGHUP, SIGINT or SIGTERM meanwhile.
// A name that stands for an open descriptor, a device or a pipe is written
// to directly instead, never replaced (replace_file.h).
#include <cstddef>
#include <string>
#include <string_view>

namespace tlr {

// Whether a report renamed onto target must reach the disk first: when a
// file is there, a crash between the rename and the write-back would leave
// neither the old report nor the new. A new name puts nothing at risk.
bool syncBeforeRename(const std::string& target);

class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();  // removes the temporary file unless committed
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Creates the temporary file beside target, or opens what target stands
  // for when it is no file to replace. False with the reason in error.
  bool open(const std::string& target, std::string& error);
  // Writes to an open descriptor instead (from its position, left open):
  // commit() then only hands over the rest of the text.
  void attach(int fd) {
    m_fd = fd;
    m_attached = true;
    m_buffer.reserve(kFlushSize + kFlushSize / 4);
  }
  // Buffered; a failure is kept and reported by commit().
  void write(std::string_view text) {
    m_buffer.append(text);
    if (m_buffer.size() >= kFlushSize) flush();
  }
  // Flushes, makes the text durable and renames it onto the target.
  bool commit(std::string& error);
  // The errno of the first failure of the file itself (0 when none).
  int errorCode() const { return m_errno; }

 private:
  // Text is handed to the system in pieces of this size: large enough for
  // few system calls, small enough that a report of a big tree never sits in
  // memory.
  static constexpr size_t kFlushSize = 1 << 20;

  void flush();
  bool createNamed(std::string& error);
  bool nameIt();
  void named();  // m_temp is the file's name from now on
  void keepReplacedFilesMode();

  std::string m_target, m_folder;
  std::string m_temp;  // the temporary file's name, once it has one
  bool m_protected = false;  // the ending signals remove m_temp
  int m_fd = -1;
  bool m_attached = false;  // written to directly, nothing replaced
  bool m_ownsFd = false;    // attached, but opened here: closed here
  int m_errno = 0;       // the first write failure
  std::string m_buffer;  // pending text
  size_t m_written = 0;  // bytes handed to the kernel
  size_t m_synced = 0;   // bytes whose write-back has been started
  bool m_replacing = false;  // a file was at the target when it was opened
};

}  // namespace tlr
