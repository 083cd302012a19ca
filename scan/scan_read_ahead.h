#pragma once
// A saved scan read on a thread of its own while its owner does other work
// (a report walks the folder meanwhile). The thread owns the result until
// result() has waited for it; the destructor stops a read nobody waited for
// and joins its thread, so no read outlives its owner, however the owner's
// work ends. A file that cannot be opened is known at once, before any
// thread starts. Where no thread can be started the scan is read by
// result(), on the caller's thread.
#include <atomic>
#include <string>
#include <thread>

#include "scan/scan_reader.h"

namespace scan {

class ScanReadAhead {
 public:
  // Starts reading folder's rows from file with settings (whose stop flag
  // is replaced by the object's own).
  ScanReadAhead(std::string file, std::string folder, ReadSettings settings);
  ~ScanReadAhead();
  ScanReadAhead(const ScanReadAhead&) = delete;
  ScanReadAhead& operator=(const ScanReadAhead&) = delete;

  // The file could not be opened: result() says why, without waiting.
  bool failedToOpen() const { return m_failedToOpen; }
  // Waits for the read, the first time; the same result every time after.
  const ScanResult& result();
  const std::string& file() const { return m_file; }

 private:
  void read();

  std::string m_file, m_folder;
  ReadSettings m_settings;
  std::atomic<bool> m_stop{false};
  bool m_failedToOpen = false;
  bool m_done = false;  // m_result is the caller's
  ScanResult m_result;
  std::thread m_thread;
};

}  // namespace scan
