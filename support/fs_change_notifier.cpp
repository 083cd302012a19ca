#include "support/fs_change_notifier.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

int32_t eventCode(uint32_t mask) {
  const bool dir = mask & IN_ISDIR;
  if (mask & IN_CREATE) return dir ? TFSChangeNotifier::kMkDir : TFSChangeNotifier::kCreate;
  if (mask & IN_DELETE) return dir ? TFSChangeNotifier::kRmDir : TFSChangeNotifier::kDelete;
  if (mask & (IN_MOVED_FROM | IN_MOVED_TO)) return dir ? TFSChangeNotifier::kRenameFolder : TFSChangeNotifier::kRenameItem;
  if (mask & (IN_ATTRIB | IN_CLOSE_WRITE)) return TFSChangeNotifier::kUpdateItem;
  return 0;
}

}  // namespace

TFSChangeNotifier::TFSChangeNotifier(const std::string& folder) : m_folder(folder) {
  m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) return;
  m_watch = ::inotify_add_watch(m_fd, folder.c_str(), kMask);
  if (m_watch < 0) return;  // never reports
  startBurstTimers();
  m_socket = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
  QObject::connect(m_socket.get(), &QSocketNotifier::activated, [this] { readEvents(); });
}

TFSChangeNotifier::~TFSChangeNotifier() {
  OnChange = nullptr;
  OnGone = nullptr;
  if (m_socket) {
    // It may be this notifier's own signal that is running: let Qt delete it
    // once the signal has returned.
    m_socket->setEnabled(false);
    m_socket.release()->deleteLater();
  }
  stopBurstTimers();
  if (m_fd >= 0) ::close(m_fd);  // ends the watch as well
}

void TFSChangeNotifier::readEvents() {
  alignas(inotify_event) char buffer[16384];
  bool gone = false;
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) break;  // EAGAIN: everything pending has been read
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
        gone = true;
        continue;
      }
      if (m_pendingCode == 0) m_pendingCode = eventCode(e->mask);
    }
  }
  if (gone) {
    // The folder itself went away: the watch ends.
    m_socket->setEnabled(false);
    watchEnded();
    return;
  }
  burst();
}
