// The folder on display follows the disk: a change inside it, by any program,
// computes it again with the selection kept; when the folder itself goes
// away, the window moves to its nearest parent that is left.
//
// This is work the user did not start. It never opens a box, never moves the
// keyboard focus, and never runs inside another event loop: while a message
// box, a dialog or a menu is open, or a refresh is running, a change waits,
// and one refresh runs once they are over. A burst of changes while an
// "OK" was pending once gave a dozen nested boxes.
#include <QApplication>
#include <QTimer>
#include <QTreeView>

#include "app/disk_usage_form.h"
#include "model/folder_path.h"
#include "model/volume_figures.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "support/fs_change_notifier.h"
#include "views/folder_tree_model.h"

namespace {

// How often a waiting change looks again whether it may run.
constexpr int kPendingRetryMs = 100;

// Marks the work of one scope as not started by the user.
class AutomaticWork {
 public:
  explicit AutomaticWork(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
  ~AutomaticWork() { m_flag = m_was; }

 private:
  bool& m_flag;
  bool m_was;
};

}  // namespace

void TDiskUsageForm::WatchFolder(const std::string& folder) {
  // The same folder still watched keeps its notifier: changes made while the
  // refresh ran are pending there and bring one more refresh. A new notifier
  // would start after the refresh and miss them.
  if (m_notifier && m_notifier->folder() == folder && m_notifier->watching()) return;
  m_notifier.reset();
  m_notifier = std::make_unique<TFSChangeNotifier>(folder);
  m_notifier->OnChange = [this](int32_t eventCode) { ShellChangeNotifierChange(eventCode); };
  m_notifier->OnGone = [this] { ShellChangeNotifierGone(); };
  // Gone before the watch could start (removed while it was computed): the
  // watch will never say so, the window must.
  if (!m_notifier->watching() && PathIsGone(folder)) {
    m_pendingChange = PendingChange::Changed;
    ShellChangeNotifierGone();
  }
}

bool TDiskUsageForm::AutomaticWorkMustWait() const {
  return m_refreshing || platform::messageBoxOpen() || QApplication::activeModalWidget() ||
         QApplication::activePopupWidget();
}

void TDiskUsageForm::RunPendingChange() {
  if (m_pendingChange == PendingChange::None) return;
  if (AutomaticWorkMustWait()) {
    m_pendingTimer->start();
    return;
  }
  const PendingChange change = m_pendingChange;
  m_pendingChange = PendingChange::None;
  if (change == PendingChange::Gone)
    ShellChangeNotifierGone();
  else
    ShellChangeNotifierChange(TFSChangeNotifier::kUpdateItem);
}

void TDiskUsageForm::ShellChangeNotifierChange(int32_t) {
  if (AutomaticWorkMustWait()) {
    if (m_pendingChange == PendingChange::None) m_pendingChange = PendingChange::Changed;
    if (!m_pendingTimer) {
      m_pendingTimer = new QTimer(this);
      m_pendingTimer->setSingleShot(true);
      m_pendingTimer->setInterval(kPendingRetryMs);
      connect(m_pendingTimer, &QTimer::timeout, this, &TDiskUsageForm::RunPendingChange);
    }
    m_pendingTimer->start();
    return;
  }
  ++m_notifiedRefreshes;
  AutomaticWork automatic(m_automaticRefresh);
  RefreshCmdClick();
}

void TDiskUsageForm::ShellChangeNotifierGone() {
  if (AutomaticWorkMustWait() || m_pendingChange != PendingChange::None) {
    ShellChangeNotifierChange(0);  // arms the wait
    m_pendingChange = PendingChange::Gone;
    return;
  }
  ShowNearestFolderLeft(m_currentFolderPath);
}

void TDiskUsageForm::ShowNearestFolderLeft(const std::string& goneFolder) {
  const std::string shown = platform::withoutTrailingDelim(goneFolder);
  const std::string left = NearestExistingFolder(shown);
  ++m_notifiedRefreshes;
  AutomaticWork automatic(m_automaticRefresh);
  if (left == shown) {
    // Still there (the watch ended for another reason): watched anew, and
    // shown again.
    m_notifier.reset();
    WatchFolder(m_currentFolderPath);
    RefreshCmdClick();
    return;
  }
  if (treePath() != shown) {
    m_notifier.reset();  // the tree shows another place: nothing to follow
    return;
  }
  RememberedSelection.clear();
  SelectFolderPath(left);  // the tree, the folder box and the caption follow
  TreeModel->forgetPath(shown);
}
