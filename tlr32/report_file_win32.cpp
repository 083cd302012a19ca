// The report file on Windows. The text goes to a temporary file beside the
// target that is marked for deletion from its creation: whatever ends the
// process (Ctrl+C, closing the console, TerminateProcess), the system removes
// it with the last handle. commit() lifts the mark once the text is durable
// and moves the file onto the target in one step (MoveFileExW replacing,
// written through). A console control event that comes between the two
// removes the file by its name first.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "tlr32/folder_access.h"
#include "tlr32/replace_file.h"
#include "tlr32/report_file.h"
#include "tlr32/win32_files.h"
#include "tlr32/win32_text.h"

namespace tlr {
namespace {

// The temporary file's name while it has no deletion mark, for the console
// control handler, which runs on a thread of its own.
std::atomic<const wchar_t*> g_nameToRemove{nullptr};

BOOL WINAPI removeNameOnControl(DWORD) {
  if (const wchar_t* name = g_nameToRemove.exchange(nullptr)) ::DeleteFileW(name);
  return FALSE;  // the next handler (by default: the process ends)
}

bool markForDeletion(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = on;
  return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace

ReportFile::~ReportFile() {
  // A temporary file still marked goes with its handle.
  if (m_fd >= 0 && (!m_attached || m_ownsFd)) ::_close(m_fd);
  if (!m_temp.empty()) ::DeleteFileW(asWide(m_temp).c_str());
  if (m_protected) {
    g_nameToRemove.store(nullptr);
    ::SetConsoleCtrlHandler(removeNameOnControl, FALSE);
  }
}

bool ReportFile::open(const std::string& target, std::string& error) {
  OutputPlace place;
  FileStat st;
  if (!outputPlace(target, place)) {
    m_errno = errno;
  } else if (place.kind == OutputPlace::Kind::OwnDescriptor) {
    attach(place.fd);
    return true;
  } else if (place.kind == OutputPlace::Kind::Direct) {
    const int fd = openDirect(place.path);
    if (fd >= 0) {
      attach(fd);
      m_ownsFd = true;
      return true;
    }
    m_errno = errno;
  } else if (m_target = place.path; lookAt(m_target, st, true) && S_ISDIR(st.st_mode)) {
    m_errno = EISDIR;
  }
  if (m_errno != 0) {
    error = std::strerror(m_errno);
    return false;
  }
  m_folder = m_target.substr(0, nameOffset(m_target));
  if (m_folder.empty()) m_folder = ".";
  return createNamed(error);
}

bool ReportFile::createNamed(std::string& error) {
  const std::wstring folder = fullLongPath(m_folder);
  HANDLE h = INVALID_HANDLE_VALUE;
  std::wstring name;
  DWORD why = ERROR_PATH_NOT_FOUND;
  static std::atomic<unsigned> s_serial{0};
  for (int attempt = 0; !folder.empty() && attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    const unsigned long long tag = (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^
                                   (::GetTickCount64() * 2654435761ULL) ^ ++s_serial;
    wchar_t suffix[24];
    swprintf(suffix, 24, L"%012llx", tag & 0xFFFFFFFFFFFFULL);
    name = folder + (folder.back() == L'\\' ? L"" : L"\\") + L".tallorin-report-" + suffix;
    h = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && (why = ::GetLastError()) != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE || !markForDeletion(h, true)) {
    if (h != INVALID_HANDLE_VALUE) {
      why = ::GetLastError();
      ::CloseHandle(h);
      ::DeleteFileW(name.c_str());
    }
    m_errno = errnoFromWin32(why);
    error = std::strerror(m_errno);
    return false;
  }
  m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (m_fd < 0) {
    ::CloseHandle(h);
    m_errno = EMFILE;
    error = std::strerror(m_errno);
    return false;
  }
  m_temp = asUtf8(name.c_str(), name.size());
  named();
  m_buffer.reserve(kFlushSize + kFlushSize / 4);
  return true;
}

void ReportFile::named() {}

void ReportFile::flush() {
  size_t done = 0;
  while (m_errno == 0 && done < m_buffer.size()) {
    const size_t piece = std::min<size_t>(m_buffer.size() - done, 1u << 30);
    const int n = ::_write(m_fd, m_buffer.data() + done, static_cast<unsigned>(piece));
    if (n <= 0) m_errno = n < 0 ? errno : ENOSPC;
    else done += static_cast<size_t>(n);
  }
  m_written += done;
  m_buffer.clear();
}

bool ReportFile::commit(std::string& error) {
  if (m_fd < 0) {
    error = "the report file is not open";
    return false;
  }
  flush();
  if (m_attached) {
    if (m_ownsFd && ::_close(m_fd) != 0 && m_errno == 0) m_errno = errno;
    m_fd = -1;
    if (m_errno != 0) error = std::strerror(m_errno);
    return m_errno == 0;
  }
  const HANDLE h = handleOf(m_fd);
  if (m_errno == 0 && !::FlushFileBuffers(h)) m_errno = errnoFromWin32(::GetLastError());
  const std::wstring temp = asWide(m_temp);
  if (m_errno == 0) {
    // From here until the move the file has only its name to go by.
    g_nameToRemove.store(temp.c_str());
    m_protected = ::SetConsoleCtrlHandler(removeNameOnControl, TRUE);
    if (!markForDeletion(h, false)) m_errno = errnoFromWin32(::GetLastError());
  }
  if (::_close(m_fd) != 0 && m_errno == 0) m_errno = errno;
  m_fd = -1;
  const std::wstring target = fullLongPath(m_target);
  if (m_errno == 0 && target.empty()) m_errno = errno;
  if (m_errno == 0 &&
      !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    m_errno = errnoFromWin32(::GetLastError());
  g_nameToRemove.store(nullptr);
  if (m_protected) ::SetConsoleCtrlHandler(removeNameOnControl, FALSE);
  m_protected = false;
  if (m_errno != 0) {
    error = std::strerror(m_errno);
    return false;  // the destructor removes the temporary file
  }
  m_temp.clear();
  return true;
}

}  // namespace tlr
