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
  m_quiet = std::make_unique<QTimer>();
  m_quiet->setSingleShot(true);
  m_quiet->setInterval(kQuietMs);
  QObject::connect(m_quiet.get(), &QTimer::timeout, [this] { report(); });
  m_longest = std::make_unique<QTimer>();
  m_longest->setSingleShot(true);
  m_longest->setInterval(kLongestDelayMs);
  QObject::connect(m_longest.get(), &QTimer::timeout, [this] { report(); });
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
  // A timer still running would fire before its deletion and report on a
  // notifier that is gone: stopped and cut off first.
  for (std::unique_ptr<QTimer>* timer : {&m_quiet, &m_longest})
    if (*timer) {
      (*timer)->stop();
      QObject::disconnect(timer->get(), nullptr, nullptr, nullptr);
      timer->release()->deleteLater();
    }
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
    // The folder itself went away: changes inside it no longer matter, the
    // owner is told at once and the watch ends.
    m_watch = -1;
    m_pendingCode = 0;
    m_socket->setEnabled(false);
    m_quiet->stop();
    m_longest->stop();
    // Nothing of this object is used after the call: the owner may destroy it.
    if (auto onGone = OnGone) onGone();
    return;
  }
  if (m_pendingCode == 0) return;
  m_quiet->start();
  if (!m_longest->isActive()) m_longest->start();
}

void TFSChangeNotifier::report() {
  if (m_pendingCode == 0) return;
  const int32_t code = m_pendingCode;
  m_pendingCode = 0;
  m_quiet->stop();
  m_longest->stop();
  // Nothing of this object is used after the call: the owner may destroy it.
  if (auto onChange = OnChange) onChange(code);
}
