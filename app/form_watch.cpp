// The folder on display follows the disk: a change inside it, by any program,
// computes it again with the selection kept.
#include "app/disk_usage_form.h"
#include "support/fs_change_notifier.h"

void TDiskUsageForm::WatchFolder(const std::string& folder) {
  // The same folder still watched keeps its notifier: changes made while the
  // refresh ran are pending there and bring one more refresh. A new notifier
  // would start after the refresh and miss them.
  if (m_notifier && m_notifier->folder() == folder && m_notifier->watching()) return;
  m_notifier.reset();
  m_notifier = std::make_unique<TFSChangeNotifier>(folder);
  m_notifier->OnChange = [this](int32_t eventCode) { ShellChangeNotifierChange(eventCode); };
}

void TDiskUsageForm::ShellChangeNotifierChange(int32_t) {
  ++m_notifiedRefreshes;
  RefreshCmdClick();
}
