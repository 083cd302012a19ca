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
#include "model/display_name.h"
#include "model/folder_path.h"
#include "model/repaint_pace.h"
#include "model/usage_totals.h"
#include "model/work_pipe.h"
#include "model/volume_figures.h"
#include "platform/fs.h"
#include "platform/busy_window.h"
#include "platform/input_fence.h"
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

// The longest the window waits for sized entries before it shows the rows it
// has.
constexpr std::chrono::milliseconds kLongestUnseenWait{TRepaintPace::kBeforeFolderMs};

// Holds the hourglass for the length of a refresh, whichever way it ends.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// The entries of one folder sized on a thread of its own, in the listing's
// order, while the window's thread lists the rest and turns what is sized into
// rows and paints. The thread is the engine's only caller until the refresh
// has waited for it (TWorkPipe::finish).
struct TDiskUsageForm::TFolderSizing {
  struct Item {
    int index;
    const TDirectoryItem* entry;  // owned by the listing, which is made before and ends after the sizing
  };

  TFolderSizing(TDiskUsageForm& form, std::string folderPath)
      : window(form),
        folder(std::move(folderPath)),
        // Held while the entries are sized, each looked up in it by name;
        // closed with the refresh, so the volume can be unmounted after it.
        folderFd(platform::openDirectory(folder)),
        // Read before the thread starts: the window's thread asks the engine
        // nothing while it sizes (a call would wait for a whole sub-folder).
        mapDrive(form.m_engine.TlrGetOption("MapDrive", 0)),
        deviceKnown(FolderDevice(folder, folderDevice)),
        batch(form.m_engine),
        pipe([this, &form](const Item& item) { return size(form, item); },
             [](const Item& item) { return item.entry->IsDirectory(); },
             [](const TEntrySizing& s) { return s.outcome == TEntrySizing::Failed; }) {}

  // Hands over the entries listed since the last call. A folder with fewer
  // than two entries is computed as a whole first (ComputeUsage), so nothing
  // goes before there are two.
  void listed(const TDirectoryList& listing, int count) {
    // A large folder takes a while to list; a request to close it waits for
    // the sizing loop, which stops on it.
    closeAsked = closeAsked || platform::stayResponsive(&window);
    if (count < 2) return;
    giveUpTo(listing, count);
  }
  void giveUpTo(const TDirectoryList& listing, int count) {
    std::vector<Item> items;
    items.reserve(static_cast<size_t>(std::max(0, count - given)));
    for (; given < count; ++given) items.push_back({given, listing.Items(given)});
    // Before the thread gets its first entry: a folder computed as a whole
    // first is not part of the batch.
    if (!items.empty()) batch.begin();
    pipe.add(std::move(items));
  }

  TEntrySizing size(TDiskUsageForm& form, const Item& item) {
    TEntrySizing sized = form.SizeEntry(folderFd.get(), folder, *item.entry);
    sized.index = item.index;
    // A folder that cannot be read tells nothing of its volume (0 bytes free,
    // no cluster size): the next entry will. The status bar describes the
    // folder's own volume; the engine describes the last path it computed,
    // which may be a mount point inside the folder.
    if (sized.outcome == TEntrySizing::Sized && !volume && !sized.engineUnread &&
        (mapDrive >= 1 || (deviceKnown && DescribesFolderVolume(*item.entry, folderDevice))))
      volume = form.ReadVolumeFigures();
    return sized;
  }

  QWidget& window;
  bool closeAsked = false;  // the user asked to close the window meanwhile
  const std::string folder;
  const platform::FileDescriptor folderFd;
  const int32_t mapDrive;  // with a target drive, every path has its figures
  dev_t folderDevice = 0;
  const bool deviceKnown;
  std::optional<TVolumeFigures> volume;  // the thread's until it has been waited for
  int given = 0;                         // entries handed over
  // The entries count a file with several names once among them, as
  // `du -s a b` does; ends after the thread (declared before the pipe).
  TUsageEngine::Batch batch;
  TWorkPipe<Item, TEntrySizing> pipe;    // last: its thread uses the rest
};

void TDiskUsageForm::TreeViewChange() {
  const std::string path = treePath();
  if (path.empty()) return;
  // Every absolute path is a file-system folder; anything else is a virtual place.
  if (platform::isAbsolutePath(path))
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
  const std::string folder = platform::withTrailingDelim(path);
  std::unique_ptr<TFSChangeNotifier> watch = PrepareWatch(folder);
  // The entries are sized as they are listed, a few hundred at a time. The
  // listing is declared first so that it outlives the sizing thread, which
  // holds pointers to its entries, whichever way this returns.
  TDirectoryList listing;
  ChangesBeforeRefresh(folder);  // asks the engine: before the sizing thread has it
  TFolderSizing sizing(*this, folder);
  if (!listing.ReadDirectory(path, [&](int count) { sizing.listed(listing, count); })) {
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
  m_currentFolderPath = folder;
  ShowFolderCaption(path);
  FollowFolderInTree(path, listing);
  WatchFolder(m_currentFolderPath, std::move(watch));  // also when the computation stops on a failure
  ComputeUsage(listing, sizing);
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
  QString caption = QCoreApplication::applicationName() + QStringLiteral(" - ") + DisplayName(path);
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
  TFolderSizing sizing(*this, m_currentFolderPath);
  ComputeUsage(listing, sizing);
}

void TDiskUsageForm::ComputeUsage(TDirectoryList& listing, TFolderSizing& sizing) {
  WaitCursor wait;
  const QScopedValueRollback refreshing(m_refreshing, true);
  // Clicks and keys that waited for the refresh were aimed at rows it has
  // replaced: they are dropped, whichever way it ends.
  const struct DropWaitingInput {
    TDiskUsageForm& form;
    ~DropWaitingInput() { form.m_inputFence->dropEarlierInput(&form); }
  } dropWaitingInput{*this};
  ClearUsageRows();

  ResetTotals(sizing.mapDrive);
  StatusBar->clearPanels();

  if (listing.Count() < 2) {
    const int32_t rc = m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), nullptr);
    if (rc >= 0) {
      sizing.volume = ReadVolumeFigures();
    } else if (!PathIsGone(m_currentFolderPath)) {  // gone: the watch moves the window
      ShowCalcFailure(m_currentFolderPath, rc);
      return;
    }
  }
  sizing.giveUpTo(listing, listing.Count());
  sizing.pipe.close();
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

  std::vector<TEntrySizing> batch;
  while (sizing.pipe.take(batch, kLongestUnseenWait)) {
    // The window is to close: no reason to keep it up until every entry is
    // sized. What is there shows, said to be stopped, and is kept nowhere.
    sizing.closeAsked = sizing.closeAsked || platform::stayResponsive(this);
    if (sizing.closeAsked) break;
    // Nothing new for a while (a large folder, a slow disk): the rows so far
    // show meanwhile.
    if (batch.empty() && pace.folderNext()) showSoFar();
    for (TEntrySizing& sized : batch) {
      switch (sized.outcome) {
        case TEntrySizing::Skipped:
        // Gone between the listing and its sizing (an editor's temporary
        // file, a download moved away): not a failure, just no row.
        case TEntrySizing::Gone: continue;
        // There, but not to be looked at: an entry of a folder that may be
        // listed but not entered (mode 644). The folder shows as one that
        // could not be read; a box for each of its entries told nothing more.
        case TEntrySizing::OutOfReach: ++outOfReach; continue;
        case TEntrySizing::Failed:
          sizing.pipe.finish();
          showSoFar();
          arrivals.end();
          ShowCalcFailure(listing.Items(sized.index)->FullPath, sized.rc);
          return;
        case TEntrySizing::Sized: break;
      }
      TUsageRow row;
      row.figures = sized.figures;
      row.fileTime = sized.fileTime;
      row.unreadableItself = sized.unreadableItself;
      row.unreadable = sized.engineUnread || sized.unreadableItself;
      const auto dirs = static_cast<int32_t>(row.figures[2]), files = static_cast<int32_t>(row.figures[3]);
      if (!HasUsage(dirs, files, row.figures[0])) continue;
      row.entry = listing.Take(sized.index);
      arrived.push_back(std::move(row));
      totals.add(files, dirs, arrived.back().figures[1], arrived.back().figures[0]);
      // The user sees the rows arrive, at a pace that costs the refresh
      // nothing measurable (see TRepaintPace).
      if (pace.rowArrived()) showSoFar();
    }
    batch.clear();
  }
  sizing.pipe.finish();  // the engine is this thread's again
  sizing.batch.end();
  std::optional<TVolumeFigures>& volume = sizing.volume;
  UsageModel->appendRows(arrived);  // the event loop paints the rest
  ShowTotals(totals);

  FitFigureColumns();
  SetUpChartScroll(UsageModel->rowCount());
  SortByColumn(SortColumn);  // and the chart is built from the sorted rows

  // Nothing to count, because nothing could be looked at: said so, rather
  // than "0 items" as for an empty folder.
  m_refreshStopped = sizing.closeAsked;
  if (m_refreshStopped) {
    StatusBar->setPanelText(0, RefreshStoppedText());
    return;
  }
  m_folderUnread = UsageModel->rowCount() == 0 && (outOfReach > 0 || !FolderCanBeRead(m_currentFolderPath));
  StatusBar->setPanelText(0, m_folderUnread ? FolderUnreadText() : ItemCountText(UsageModel->rowCount()));
  // Every entry was another volume (a folder of mount points only): the
  // folder itself, once more, for its own figures.
  if (!volume && m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), nullptr) >= 0) volume = ReadVolumeFigures();
  if (volume) ShowVolumeStatus(*volume);
  if (!MapDriveValLabel->text().isEmpty()) ShowTargetFit(TargetFitAfterRefresh(totals.diskBytes, TargetCapacity()));
  // After the rows are shown, never on the way to them.
  ChangesAfterRefresh();
}

TEntrySizing TDiskUsageForm::SizeEntry(int folderFd, const std::string& folder, const TDirectoryItem& entry) {
  TEntrySizing sized;
  if (!IsEntryOfFolder(entry.FullPath, entry.Name(), folder)) return sized;
  const int32_t rc = m_engine.CalcEntryUsage(folderFd, entry.FullPath.c_str());
  if (rc < 0) {
    sized.rc = rc;
    sized.outcome = PathIsGone(entry.FullPath)         ? TEntrySizing::Gone
                    : PathIsOutOfReach(entry.FullPath) ? TEntrySizing::OutOfReach
                                                       : TEntrySizing::Failed;
    return sized;
  }
  sized.outcome = TEntrySizing::Sized;
  for (int c = 1; c <= 4; ++c) {
    const TUsageListAttrs& a = UsageListAttrs[c];
    sized.figures[c - 1] = a.kind == 2 ? a.getFloat(a.statKey) : a.getInt(a.statKey);
  }
  // The engine's figures do not tell a folder it could not open from one
  // it read whose only content it could not (both: Dirs 1, no files, one
  // folder unread), nor, in some versions, a folder it could list but not
  // enter from an empty one (no figures at all); the folder itself does.
  // Such a folder counts as the one folder it is known to be, as one that
  // does not open.
  sized.engineUnread = m_engine.TlrGetStatVal("UnreadableDirectories") > 0;
  sized.unreadableItself = entry.IsDirectory() && !entry.IsLink() && !FolderCanBeRead(entry.FullPath);
  if (sized.unreadableItself && sized.figures[2] < 1) sized.figures[2] = 1;
  m_engine.TlrGetFileTime(&sized.fileTime);
  return sized;
}

void TDiskUsageForm::ShowCalcFailure(const std::string& path, int32_t code) {
  const int32_t target = m_engine.TlrGetOption("MapDrive", 0);
  QString text;
  if (code == -2 && target > 0)
    text = QStringLiteral("Cannot access target ") + QChar(64 + target) + QStringLiteral(":\\");
  else
    text = QStringLiteral("Cannot access ") + DisplayName(path) + QStringLiteral(" (code ") +
           QString::number(code) + QStringLiteral(").");
  if (m_automaticRefresh)
    ShowAutomaticFailure(text);  // nobody asked: no box
  else
    platform::showError(this, text);
}
