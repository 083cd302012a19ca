#include "scan/scan_read_ahead.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace scan {

ScanReadAhead::ScanReadAhead(std::string file, std::string folder, ReadSettings settings)
    : m_file(std::move(file)), m_folder(std::move(folder)), m_settings(std::move(settings)) {
  m_settings.stop = &m_stop;
  if (!scanOpens(m_file, m_result)) {
    m_failedToOpen = true;
    m_done = true;
    return;
  }
  try {
    m_thread = std::thread([this] { read(); });
  } catch (const std::system_error&) {
    // No thread to be had: result() reads it.
  }
}

ScanReadAhead::~ScanReadAhead() {
  m_stop.store(true, std::memory_order_relaxed);
  if (m_thread.joinable()) m_thread.join();
}

void ScanReadAhead::read() {
  // Nothing may leave the thread: an exception there would end the host.
  try {
    m_result = readScan(m_file, m_folder, m_settings);
  } catch (const std::bad_alloc&) {
    m_result = ScanResult{};
    m_result.error = ScanError::CannotOpen;
    m_result.message = "cannot read the scan " + m_file + ": " + std::strerror(ENOMEM);
  }
}

const ScanResult& ScanReadAhead::result() {
  if (!m_done) {
    if (m_thread.joinable())
      m_thread.join();
    else
      read();
    m_done = true;
  }
  return m_result;
}

}  // namespace scan
