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
#include <utility>

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

// How long the window waits, once the folder shown went away, before it moves
// to the nearest parent left. A build's "rm -rf out; mkdir out" has the folder
// back soon after (13 to 45 ms from the end of rm to the end of mkdir, measured
// in a shell with both cores busy), and the removal is seen at once: moving
// then abandoned the folder for its parent. As long as the notifier's quiet
// time, so that the move still comes well within a second.
constexpr int kGoneGraceMs = TFSChangeNotifier::kQuietMs;

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

std::unique_ptr<TFSChangeNotifier> TDiskUsageForm::PrepareWatch(const std::string& folder) const {
  // The same folder still watched keeps its notifier: changes made while the
  // refresh ran are pending there and bring one more refresh.
  if (m_notifier && m_notifier->folder() == folder && m_notifier->watching()) return nullptr;
  return std::make_unique<TFSChangeNotifier>(folder);
}

void TDiskUsageForm::WatchFolder(const std::string& folder, std::unique_ptr<TFSChangeNotifier> prepared) {
  if (!prepared) {
    prepared = PrepareWatch(folder);
    if (!prepared) return;
  }
  // Made before the folder was there (removed and made again while it was
  // being listed): once more, now that it is.
  if (!prepared->watching() && !FolderIsGone(folder)) prepared = std::make_unique<TFSChangeNotifier>(folder);
  m_notifier = std::move(prepared);
  m_notifier->OnChange = [this](int32_t eventCode) { ShellChangeNotifierChange(eventCode); };
  m_notifier->OnGone = [this] { ShellChangeNotifierGone(); };
  // Gone before the watch could start: the watch will never say so, the
  // window must.
  if (!m_notifier->watching() && FolderIsGone(folder)) ShellChangeNotifierGone();
}

bool TDiskUsageForm::AutomaticWorkMustWait() const {
  return m_refreshing || platform::messageBoxOpen() || QApplication::activeModalWidget() ||
         QApplication::activePopupWidget();
}

void TDiskUsageForm::ArmPendingChange(PendingChange change, int ms) {
  // A folder gone outweighs a change inside it; one refresh serves any
  // number of changes.
  if (change == PendingChange::Gone || m_pendingChange == PendingChange::None) m_pendingChange = change;
  if (!m_pendingTimer) {
    m_pendingTimer = new QTimer(this);
    m_pendingTimer->setSingleShot(true);
    connect(m_pendingTimer, &QTimer::timeout, this, &TDiskUsageForm::RunPendingChange);
  }
  m_pendingTimer->start(ms);
}

void TDiskUsageForm::RunPendingChange() {
  if (m_pendingChange == PendingChange::None) return;
  if (AutomaticWorkMustWait()) {
    m_pendingTimer->start(kPendingRetryMs);
    return;
  }
  const PendingChange change = m_pendingChange;
  m_pendingChange = PendingChange::None;
  if (change == PendingChange::Gone)
    ShowNearestFolderLeft(std::exchange(m_goneFolder, std::string()));
  else
    ShellChangeNotifierChange(TFSChangeNotifier::kUpdateItem);
}

void TDiskUsageForm::ShellChangeNotifierChange(int32_t) {
  if (AutomaticWorkMustWait()) {
    ArmPendingChange(PendingChange::Changed, kPendingRetryMs);
    return;
  }
  ++m_notifiedRefreshes;
  AutomaticWork automatic(m_automaticRefresh);
  RefreshCmdClick();
}

void TDiskUsageForm::ShellChangeNotifierGone() {
  // Never at once, not even with nothing else running: see kGoneGraceMs.
  m_goneFolder = m_notifier ? m_notifier->folder() : m_currentFolderPath;
  ArmPendingChange(PendingChange::Gone, kGoneGraceMs);
}

void TDiskUsageForm::ShowNearestFolderLeft(const std::string& goneFolder) {
  const std::string gone = platform::withoutTrailingDelim(goneFolder);
  const bool shown = gone == platform::withoutTrailingDelim(m_currentFolderPath);
  ++m_notifiedRefreshes;
  AutomaticWork automatic(m_automaticRefresh);
  if (!FolderIsGone(gone)) {
    // Back again (removed and made anew), or the watch ended for another
    // reason: the window stays, and watches and shows the folder that is
    // there now.
    if (!shown) return;
    if (treePath() == gone)
      RefreshCmdClick();  // watched anew before its listing is read
    else
      WatchFolder(m_currentFolderPath);  // the tree shows another place: only the watch
    return;
  }
  if (shown && m_notifier && !m_notifier->watching()) m_notifier.reset();
  LeaveGoneFolder(gone);
}

void TDiskUsageForm::LeaveGoneFolder(const std::string& goneFolder) {
  const std::string gone = platform::withoutTrailingDelim(goneFolder);
  const std::string left = NearestExistingFolder(gone);
  // Everything from the topmost folder that went: removing an ancestor of the
  // folder shown left the nodes of the folders between in the tree, and a
  // click on one showed the placeholder under the caption of another folder.
  const std::string topmost = TopmostGoneFolder(gone, left);
  const std::string atTree = treePath();
  const bool treeInside = !topmost.empty() && (atTree == topmost || atTree.rfind(platform::withTrailingDelim(topmost), 0) == 0);
  if (treeInside) {
    RememberedSelection.clear();
    // First away from the nodes that go: taking the current node out of the
    // tree would let the view pick another one and show that.
    SelectFolderPath(left);  // the tree, the folder box and the caption follow
  }
  if (!topmost.empty()) TreeModel->forgetPath(topmost);
}
