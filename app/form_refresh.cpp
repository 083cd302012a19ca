// The refresh: list the folder chosen in the tree and turn each entry into a
// usage row with running totals, then sort and fill the status bar.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>
#include <QTreeView>
#include <optional>

#include "app/disk_usage_form.h"
#include "model/directory_list.h"
#include "model/folder_path.h"
#include "model/repaint_pace.h"
#include "model/usage_totals.h"
#include "model/volume_figures.h"
#include "platform/fs.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "support/fs_change_notifier.h"
#include "views/chart_panel.h"
#include "views/figure_format.h"
#include "views/folder_tree_model.h"
#include "views/gauge.h"
#include "views/status_bar.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

const QString kPlaceholderCaption = QStringLiteral("<Selected item not sizeable>");

// Holds the hourglass for the length of a refresh, whichever way it ends.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void TDiskUsageForm::TreeViewChange() {
  const std::string path = treePath();
  if (path.empty()) return;
  // Every absolute path is a file-system folder; anything else is a virtual place.
  if (path[0] == platform::kPathDelim)
    CurrentDirBoxChange();
  else
    ItemNotSizeable();
}

void TDiskUsageForm::CurrentDirBoxChange() {
  const std::string path = currentDirBoxPath();
  // The watch of a folder newly shown starts before its listing is read: a
  // change made while the folder is read and computed is then reported once
  // the refresh is over, and brings one more. Started after the computation,
  // it missed an entry made in between until F5.
  std::unique_ptr<TFSChangeNotifier> watch = PrepareWatch(platform::withTrailingDelim(path));
  TDirectoryList listing;
  if (!listing.ReadDirectory(path)) {
    // A folder that is gone (the one shown, the parent the window was moving
    // to, a node of the tree chosen after its folder went): the nearest folder
    // left, not a placeholder under the caption of another folder. The watch
    // of the folder last listed stays.
    if (FolderIsGone(path)) {
      if (m_automaticRefresh) {
        LeaveGoneFolder(path);
      } else {
        // Chosen with a click in the tree, which is still being handled:
        // nodes taken out under it made the click select whichever node then
        // lay under the pointer. Once it is over.
        QTimer::singleShot(0, this, [this, path] { LeaveGoneFolder(path); });
      }
      return;
    }
    ItemNotSizeable();
    return;
  }
  m_currentFolderPath = platform::withTrailingDelim(path);
  ShowFolderCaption(path);
  FollowFolderInTree(path, listing);
  WatchFolder(m_currentFolderPath, std::move(watch));  // also when the computation stops on a failure
  ComputeUsage(listing);
}

void TDiskUsageForm::FollowFolderInTree(const std::string& path, const TDirectoryList& listing) {
  // A sub-folder made or removed since the tree read the folder shows so
  // there too: one removed and made anew by a build was otherwise missing.
  std::vector<std::string> candidates;
  for (int i = 0; i < listing.Count(); ++i) {
    const TDirectoryItem* entry = listing.Items(i);
    if ((entry->IsDirectory() || entry->IsLink()) && entry->Name() != ".." && entry->Name() != ".") candidates.push_back(entry->GetName());
  }
  TreeModel->followFolder(path, candidates);
}

void TDiskUsageForm::ShowFolderCaption(const std::string& path) {
  // Qt reads "[*]" in a caption as the place of its modified mark and drops
  // it; doubled, it stands for itself. A folder's name is data.
  QString caption = QCoreApplication::applicationName() + QStringLiteral(" - ") + QString::fromUtf8(path);
  caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
  setWindowTitle(caption);
}

void TDiskUsageForm::ItemNotSizeable() {
  ClearUsageRows();
  ClearChart();
  UsageModel->setGreyText(true);
  TUsageRow placeholder;
  placeholder.caption = kPlaceholderCaption;
  UsageModel->appendRow(std::move(placeholder));
  for (QLabel* l : {FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel, EfficiencyValLabel})
    l->clear();
  StatusBar->setPanelText(0, QString());
}

void TDiskUsageForm::RefreshCmdClick() {
  TreeViewChange();
  if (!m_automaticRefresh) FocusActiveView();  // a change on the disk leaves the keys where they were
  ApplyRememberedSelection();
}

void TDiskUsageForm::FocusActiveView() {
  if (TreeView->isVisible())
    TreeView->setFocus();
  else if (ChartPanel->isVisible())
    ChartPanel->setFocus();
  else if (UsageList->isVisible())
    UsageList->setFocus();
}

void TDiskUsageForm::ComputeUsage(TDirectoryList& listing) {
  WaitCursor wait;
  const QScopedValueRollback refreshing(m_refreshing, true);
  ClearUsageRows();

  ResetTotals();
  StatusBar->clearPanels();

  // The status bar describes the folder's own volume; the engine describes
  // the last path it computed, which may be a mount point inside the folder.
  std::optional<TVolumeFigures> volume;
  dev_t folderDevice = 0;
  const bool targetDrive = !MapDriveValLabel->text().isEmpty();  // the same figures for every path
  const bool deviceKnown = FolderDevice(m_currentFolderPath, folderDevice);

  if (listing.Count() < 2) {
    const int32_t rc = m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), nullptr);
    if (rc >= 0) {
      volume = ReadVolumeFigures();
    } else if (!PathIsGone(m_currentFolderPath)) {  // gone: the watch moves the window
      ShowCalcFailure(m_currentFolderPath, rc);
      return;
    }
  }
  if (!m_automaticRefresh) FocusActiveView();

  TUsageTotals totals;
  int outOfReach = 0;  // entries there that could not be looked at
  TRepaintPace pace;
  TUsageListView::Arrivals arrivals(UsageList);
  std::vector<TUsageRow> arrived;  // rows computed since the window was last brought up to date
  // Room for every row at once: growing by doubling moved the rows of a
  // folder of 100,000 files about twice over.
  arrived.reserve(static_cast<size_t>(listing.Count()));
  UsageModel->reserveRows(static_cast<size_t>(listing.Count()));
  // Brings the list and the totals up to date: the rows so far, then their sums.
  auto showSoFar = [&] {
    const int firstNew = UsageModel->rowCount();
    UsageModel->appendRows(arrived);
    ShowTotals(totals);
    RepaintTotals();
    UsageList->repaintArrivedRows(firstNew);
  };

  // Held while the entries are sized, each looked up in it by name; closed
  // with the refresh, so the folder's volume can be unmounted after it.
  const platform::FileDescriptor folder(platform::openDirectory(m_currentFolderPath));
  for (int i = 0; i < listing.Count(); ++i) {
    TDirectoryItem* entry = listing.Items(i);
    if (!IsEntryOfFolder(entry->FullPath, entry->Name(), m_currentFolderPath)) continue;
    if (entry->IsDirectory() && pace.folderNext()) showSoFar();
    const int32_t rc = m_engine.CalcEntryUsage(folder.get(), entry->FullPath.c_str());
    if (rc < 0) {
      // Gone between the listing and its sizing (an editor's temporary file,
      // a download moved away): not a failure, just no row.
      if (PathIsGone(entry->FullPath)) continue;
      // There, but not to be looked at: an entry of a folder that may be
      // listed but not entered (mode 644). The folder shows as one that
      // could not be read; a box for each of its entries told nothing more.
      if (PathIsOutOfReach(entry->FullPath)) {
        ++outOfReach;
        continue;
      }
      showSoFar();
      arrivals.end();
      ShowCalcFailure(entry->FullPath, rc);
      return;
    }
    // A folder that cannot be read tells nothing of its volume (0 bytes free,
    // no cluster size): the next entry will.
    if (!volume && (targetDrive || (deviceKnown && DescribesFolderVolume(*entry, folderDevice))) &&
        m_engine.TlrGetStatVal("UnreadableDirectories") == 0)
      volume = ReadVolumeFigures();
    TUsageRow row;
    for (int c = 1; c <= 4; ++c) {
      const TUsageListAttrs& a = UsageListAttrs[c];
      row.figures[c - 1] = a.kind == 2 ? a.getFloat(a.statKey) : a.getInt(a.statKey);
    }
    // The engine's figures do not tell a folder it could not open from one
    // it read whose only content it could not (both: Dirs 1, no files, one
    // folder unread), nor, in some versions, a folder it could list but not
    // enter from an empty one (no figures at all); the folder itself does.
    // Such a folder counts as the one folder it is known to be, as one that
    // does not open.
    const bool engineUnread = m_engine.TlrGetStatVal("UnreadableDirectories") > 0;
    row.unreadableItself = entry->IsDirectory() && !entry->IsLink() && !FolderCanBeRead(entry->FullPath);
    row.unreadable = engineUnread || row.unreadableItself;
    if (row.unreadableItself && row.figures[2] < 1) row.figures[2] = 1;
    const auto dirs = static_cast<int32_t>(row.figures[2]), files = static_cast<int32_t>(row.figures[3]);
    if (!HasUsage(dirs, files, row.figures[0])) continue;
    m_engine.TlrGetFileTime(&row.fileTime);
    row.entry = listing.Take(i);
    arrived.push_back(std::move(row));
    totals.add(files, dirs, arrived.back().figures[1], arrived.back().figures[0]);
    // The user sees the rows arrive, at a pace that costs the refresh nothing
    // measurable (see TRepaintPace).
    if (pace.rowArrived()) showSoFar();
  }
  UsageModel->appendRows(arrived);  // the event loop paints the rest
  ShowTotals(totals);

  FitFigureColumns();
  SetUpChartScroll(UsageModel->rowCount());
  SortByColumn(SortColumn);  // and the chart is built from the sorted rows

  // Nothing to count, because nothing could be looked at: said so, rather
  // than "0 items" as for an empty folder.
  const bool unread = UsageModel->rowCount() == 0 && (outOfReach > 0 || !FolderCanBeRead(m_currentFolderPath));
  StatusBar->setPanelText(0, unread ? FolderUnreadText() : ItemCountText(UsageModel->rowCount()));
  // Every entry was another volume (a folder of mount points only): the
  // folder itself, once more, for its own figures.
  if (!volume && m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), nullptr) >= 0) volume = ReadVolumeFigures();
  if (volume) ShowVolumeStatus(*volume);
  if (!MapDriveValLabel->text().isEmpty()) ShowTargetFit(TargetFitAfterRefresh(totals.diskBytes, TargetCapacity()));
}

void TDiskUsageForm::ShowCalcFailure(const std::string& path, int32_t code) {
  const int32_t target = m_engine.TlrGetOption("MapDrive", 0);
  QString text;
  if (code == -2 && target > 0)
    text = QStringLiteral("Cannot access target ") + QChar(64 + target) + QStringLiteral(":\\");
  else
    text = QStringLiteral("Cannot access ") + QString::fromUtf8(path) + QStringLiteral(" (code ") +
           QString::number(code) + QStringLiteral(").");
  if (m_automaticRefresh)
    ShowAutomaticFailure(text);  // nobody asked: no box
  else
    platform::showError(this, text);
}
