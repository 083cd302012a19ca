#pragma once
// Reports changes directly inside one folder: entries created, deleted, moved
// in or out, renamed, their attributes changed, or a file closed after writing
// (not every write: a download growing in the folder would report without
// end). Built on inotify, read through a QSocketNotifier on the user-interface
// thread; no thread of its own. On Windows: the folder's change notifications
// (ReadDirectoryChangesW), whose completion a QWinEventNotifier hands to the
// same thread; there every write counts, the burst rule below holds them back.
//
// One report stands for a burst: the descriptor is read whole each time it
// has data, and the report waits until the folder has been quiet for a moment
// (or a second has passed since the burst began), so unpacking thousands of
// files into the folder gives a few reports, not thousands.
//
// The owner may destroy the notifier from inside OnChange: nothing of the
// object is touched once OnChange has been called.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;
class QWinEventNotifier;

class TFSChangeNotifier {
 public:
  // The desktop's event codes that a report carries (the first event's).
  static constexpr int32_t kRenameItem = 0x1, kCreate = 0x2, kDelete = 0x4, kMkDir = 0x8, kRmDir = 0x10,
                           kUpdateItem = 0x2000, kRenameFolder = 0x20000;

  // Watches folder (not recursive). A folder that cannot be watched gives a
  // notifier that never reports.
  explicit TFSChangeNotifier(const std::string& folder);
  ~TFSChangeNotifier();
  TFSChangeNotifier(const TFSChangeNotifier&) = delete;
  TFSChangeNotifier& operator=(const TFSChangeNotifier&) = delete;

  std::function<void(int32_t eventCode)> OnChange;  // may be empty
  // The folder itself went away (deleted, moved or unmounted): called once, at
  // once, and the watch ends. May be empty; the owner may destroy the
  // notifier from inside it.
  std::function<void()> OnGone;

  const std::string& folder() const { return m_folder; }
  // False once the folder itself went away (deleted or moved): the watch has
  // ended, and OnGone has been called.
  bool watching() const { return m_watch >= 0; }

  // How long the folder must stay quiet before a report, and the longest a
  // burst may delay one.
  static constexpr int kQuietMs = 150;
  static constexpr int kLongestDelayMs = 1000;

 private:
  void readEvents();
  // The burst rule and the end of the watch, the same on every platform.
  void startBurstTimers();
  void stopBurstTimers();
  void burst();       // events were read: a report is due when quiet
  void watchEnded();  // the folder itself went: OnGone, and no more reports
  void report();
#ifdef _WIN32
  bool listen();
  struct Pending;  // the read in flight: its buffer and completion
  std::unique_ptr<Pending> m_pending;
  std::unique_ptr<QWinEventNotifier> m_event;
#endif

  std::string m_folder;
  int m_fd = -1;
  int m_watch = -1;
  int32_t m_pendingCode = 0;  // the first event of the burst not yet reported
  std::unique_ptr<QSocketNotifier> m_socket;
  std::unique_ptr<QTimer> m_quiet;
  std::unique_ptr<QTimer> m_longest;
};
