#pragma once
// Lowers the soft limit of open files for the scope of a test.
#include <sys/resource.h>

namespace testsupport {

class FileLimit {
 public:
  explicit FileLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &m_saved);
    struct rlimit lowered = m_saved;
    lowered.rlim_cur = soft;
    m_ok = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  }
  ~FileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
  FileLimit(const FileLimit&) = delete;
  FileLimit& operator=(const FileLimit&) = delete;
  bool ok() const { return m_ok; }

 private:
  struct rlimit m_saved {};
  bool m_ok = false;
};

}  // namespace testsupport
