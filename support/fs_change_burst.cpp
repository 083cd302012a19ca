// What both platforms' folder watches share: the burst rule (a report once
// the folder has been quiet for a moment, or a second after the burst
// began) and the end of the watch when the folder itself goes.
#include "support/fs_change_notifier.h"

void TFSChangeNotifier::startBurstTimers() {
  m_quiet = std::make_unique<QTimer>();
  m_quiet->setSingleShot(true);
  m_quiet->setInterval(kQuietMs);
  QObject::connect(m_quiet.get(), &QTimer::timeout, [this] { report(); });
  m_longest = std::make_unique<QTimer>();
  m_longest->setSingleShot(true);
  m_longest->setInterval(kLongestDelayMs);
  QObject::connect(m_longest.get(), &QTimer::timeout, [this] { report(); });
}

void TFSChangeNotifier::stopBurstTimers() {
  // A timer still running would fire before its deletion and report on a
  // notifier that is gone: stopped and cut off first.
  for (std::unique_ptr<QTimer>* timer : {&m_quiet, &m_longest})
    if (*timer) {
      (*timer)->stop();
      QObject::disconnect(timer->get(), nullptr, nullptr, nullptr);
      timer->release()->deleteLater();
    }
}

void TFSChangeNotifier::burst() {
  if (m_pendingCode == 0) return;
  m_quiet->start();
  if (!m_longest->isActive()) m_longest->start();
}

void TFSChangeNotifier::watchEnded() {
  // Changes inside the folder no longer matter; the owner is told at once.
  m_watch = -1;
  m_pendingCode = 0;
  m_quiet->stop();
  m_longest->stop();
  // Nothing of this object is used after the call: the owner may destroy it.
  if (auto onGone = OnGone) onGone();
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
