// What changed since an earlier look: the Change column and the gone rows,
// the totals' change line, the snapshots each refresh keeps while changes are
// shown, and saved scans to compare with instead.
#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <cmath>

#include "app/disk_usage_form.h"
#include "model/display_name.h"
#include "model/snapshot_store.h"
#include "platform/message_box.h"
#include "scan/change.h"
#include "scan/scan_reader.h"
#include "views/figure_format.h"
#include "views/totals_box.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

QString lookText(const QDateTime& taken) { return QLocale().toString(taken, QStringLiteral("ddd d MMM yyyy HH:mm")); }

uint64_t bytesOf(double figure) { return figure <= 0 ? 0 : figure >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(std::llround(figure)); }

// The rows that are there now, as a snapshot keeps them.
scan::Baseline presentRows(const TUsageListModel& model) {
  scan::Baseline rows;
  rows.rows.reserve(static_cast<size_t>(model.presentRowCount()));
  constexpr int64_t k1601To1970 = 11644473600LL;
  for (int i = 0; i < model.presentRowCount(); ++i) {
    const TUsageRow& r = model.row(i);
    if (!r.entry) continue;
    scan::BaselineRow b;
    b.name = r.entry->Name();
    b.diskBytes = bytesOf(r.figures[0]);
    b.fileBytes = bytesOf(r.figures[1]);
    b.folders = bytesOf(r.figures[2]);
    b.files = bytesOf(r.figures[3]);
    b.modified = r.fileTime ? static_cast<int64_t>(r.fileTime / 10000000ULL) - k1601To1970 : 0;
    b.folder = r.entry->IsDirectory();
    rows.rows.push_back(std::move(b));
  }
  return rows;
}

// The counting rules in force, as the folder's rows were computed.
scan::ReadSettings scanReadSettings(TUsageEngine& engine, const TVolumeFigures& volume) {
  scan::ReadSettings settings;
  settings.counting = engine.TlrGetOption("AllocatedBlocks", 0) ? scan::DiskCounting::AllocatedBlocks
                                                                 : scan::DiskCounting::ClusterRounded;
  settings.clusterSize = volume.clusterSize > 0 ? static_cast<uint64_t>(volume.clusterSize) : 0;
  return settings;
}

}  // namespace

// A saved scan read on a thread of its own, which owns result until it posts
// it to the window; stop ends an abandoned read soon. The window keeps an
// abandoned read until its thread is over.
struct TDiskUsageForm::TScanRead {
  std::string folder;
  bool userAsked = false;  // a failure is said in a box
  // The rules the read counts by: a read begun before the folder's volume
  // was known is read again when they turn out otherwise.
  scan::DiskCounting counting;
  uint64_t clusterSize;
  bool countsAs(const scan::ReadSettings& s) const { return s.counting == counting && s.clusterSize == clusterSize; }
  std::atomic<bool> stop{false};
  scan::ScanResult result;
  std::future<void> work;
  bool over() const { return work.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

void TDiskUsageForm::buildChangeCommands(QMenu* file, QMenu* view, QMenu* sort) {
  CompareWithScanCmd = new QAction(QStringLiteral("Compare With &Scan..."), this);
  CompareWithScanCmd->setStatusTip(QStringLiteral("Show each row's change against a saved scan (JSON) of this folder."));
  file->insertAction(file->actions().value(1), CompareWithScanCmd);
  connect(CompareWithScanCmd, &QAction::triggered, this, &TDiskUsageForm::CompareWithScanCmdClick);

  ShowChangesCmd = new QAction(QStringLiteral("Show Chan&ges"), this);
  ShowChangesCmd->setCheckable(true);
  ShowChangesCmd->setStatusTip(QStringLiteral("Show each row's change since an earlier look at this folder."));
  connect(ShowChangesCmd, &QAction::triggered, this, [this] { SetShowChanges(ShowChangesCmd->isChecked()); });
  CompareWithMenu = new QMenu(QStringLiteral("Compare &With"), this);
  connect(CompareWithMenu, &QMenu::aboutToShow, this, &TDiskUsageForm::FillCompareWithMenu);
  QAction* before = view->actions().value(view->actions().indexOf(StayOnTopCmd) + 1);
  view->insertAction(before, ShowChangesCmd);
  view->insertMenu(before, CompareWithMenu);

  ChangeSortCmd = new QAction(QStringLiteral("by C&hange"), this);
  ChangeSortCmd->setCheckable(true);
  ChangeSortCmd->setData(kChangeColumn);
  ChangeSortCmd->setVisible(false);
  sort->insertAction(sort->actions().value(6), ChangeSortCmd);  // before the directions' separator
  m_sortColumnGroup->addAction(ChangeSortCmd);
  connect(ChangeSortCmd, &QAction::triggered, this, [this] { SortCmdClick(ChangeSortCmd); });
}

void TDiskUsageForm::SetShowChanges(bool on) {
  ShowChangesCmd->setChecked(on);
  UsageList->header()->setSectionHidden(kChangeColumn, !on);
  ChangeSortCmd->setVisible(on);
  if (!on) {
    ForgetBaseline();
    m_scanFile.clear();
    m_baselineDay = QDate();
    ShowComparison();
    // Sorted by a column no longer shown: by the disk bytes, as at first.
    if (SortColumn == kChangeColumn) SortByColumn(1);
    return;
  }
  if (!m_currentFolderPath.empty() && UsageModel->presentRowCount() > 0 && !UsageModel->row(0).isPlaceholder()) {
    KeepSnapshot();
    CompareRows();
  }
}

void TDiskUsageForm::ForgetBaseline() {
  if (m_scanRead) {
    m_scanRead->stop.store(true);
    // Waited for where the window ends; meanwhile the read stops soon, and
    // what it posts finds another read in its place, or none.
    std::erase_if(m_abandonedReads, [](const std::shared_ptr<TScanRead>& r) { return r->over(); });
    m_abandonedReads.push_back(std::move(m_scanRead));
  }
  m_baseline.reset();
  m_baselineFolder.clear();
  m_baselineText.clear();
}

void TDiskUsageForm::ChangesBeforeRefresh(const std::string& folder) {
  // Coming to another folder with a saved scan in force: its read runs while
  // the folder is computed rather than after, with the rules of the volume
  // last shown (CompareRows reads it again should this one's differ).
  if (ShowChangesCmd->isChecked() && !m_scanFile.isEmpty() && m_baselineFolder != folder && m_folderVolume.clusterSize > 0)
    ReadScan(false, folder);
}

void TDiskUsageForm::ChangesAfterRefresh() {
  if (!ShowChangesCmd->isChecked()) return;
  KeepSnapshot();
  CompareRows();
}

void TDiskUsageForm::KeepSnapshot() {
  if (m_snapshotWrite.valid()) m_snapshotWrite.wait();  // one write at a time
  m_snapshotWrite = std::async(std::launch::async,
                               [store = TSnapshotStore(TSnapshotStore::DefaultFolder()), folder = m_currentFolderPath,
                                taken = QDateTime::currentDateTime(), rows = presentRows(*UsageModel)] {
                                 // A store that cannot be written costs the comparisons to come,
                                 // not this refresh: nothing to say now.
                                 store.save(folder, taken, rows);
                               });
}

void TDiskUsageForm::WaitForSnapshotWrite() {
  if (m_snapshotWrite.valid()) m_snapshotWrite.wait();
}

void TDiskUsageForm::LoadEarlierLook() {
  ForgetBaseline();
  m_baselineFolder = m_currentFolderPath;
  const TSnapshotStore store(TSnapshotStore::DefaultFolder());
  const std::optional<TSnapshot> look = m_baselineDay.isValid() ? store.load(m_currentFolderPath, m_baselineDay)
                                                                : store.newestBefore(m_currentFolderPath, QDate::currentDate());
  if (look) {
    m_baseline = look->rows;
    m_baselineText = QStringLiteral("since ") + lookText(look->taken);
  } else {
    m_baselineText = m_baselineDay.isValid() ? QStringLiteral("no look at this folder kept of ") + QLocale().toString(m_baselineDay, QStringLiteral("ddd d MMM yyyy"))
                                             : QStringLiteral("no earlier look at this folder kept yet");
  }
}

void TDiskUsageForm::CompareRows() {
  // The earlier look is found again at each refresh (the day may have
  // turned); a day chosen was the folder's it was chosen in. A scan is read
  // once for each folder shown.
  if (m_scanFile.isEmpty()) {
    if (m_baselineFolder != m_currentFolderPath) m_baselineDay = QDate();
    LoadEarlierLook();
  } else if (m_baselineFolder != m_currentFolderPath || (m_scanRead && !m_scanRead->countsAs(scanReadSettings(m_engine, m_folderVolume)))) {
    ReadScan(false, m_currentFolderPath);
  }
  ShowComparison();
}

void TDiskUsageForm::ShowComparison() {
  UsageModel->compareWith(m_baseline ? &*m_baseline : nullptr);
  if (m_baseline && (SortColumn == kChangeColumn || UsageModel->rowCount() > UsageModel->presentRowCount()))
    SortByColumn(SortColumn);
  FitChangeColumn();
  ShowChangeLine();
  ShowSelectionTotals();  // gone rows came or went, and selected ones with them
}

void TDiskUsageForm::ShowChangeLine() {
  auto* group = static_cast<TTotalsGroup*>(TotalsGroup);
  if (!ShowChangesCmd->isChecked()) {
    group->setChangeLine(QString());
    return;
  }
  if (!m_baseline) {
    group->setChangeLine(QStringLiteral("Change: ") + m_baselineText);
    return;
  }
  uint64_t now = 0, before = 0;
  for (int i = 0; i < UsageModel->presentRowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (!r.isPlaceholder()) now = std::min<uint64_t>(UINT64_MAX - bytesOf(r.figures[0]), now) + bytesOf(r.figures[0]);
  }
  for (const scan::BaselineRow& b : m_baseline->rows) before = std::min<uint64_t>(UINT64_MAX - b.diskBytes, before) + b.diskBytes;
  group->setChangeLine(QStringLiteral("Change ") + m_baselineText + QStringLiteral(": ") +
                       FormatChange(scan::byteChange(now, before)) + QStringLiteral(" disk bytes"));
}

void TDiskUsageForm::FillCompareWithMenu() {
  CompareWithMenu->clear();
  auto* group = new QActionGroup(CompareWithMenu);
  auto item = [&](const QString& caption, bool checked, const std::function<void()>& choose) {
    QAction* a = CompareWithMenu->addAction(caption);
    a->setCheckable(true);
    a->setChecked(checked);
    group->addAction(a);
    connect(a, &QAction::triggered, this, choose);
  };
  const bool shown = ShowChangesCmd->isChecked();
  item(QStringLiteral("&Newest Look Before Today"), shown && m_scanFile.isEmpty() && !m_baselineDay.isValid(), [this] {
    ChooseBaseline(QString(), QDate());
  });
  if (!m_currentFolderPath.empty()) {
    const std::vector<TSnapshotDay> days = TSnapshotStore(TSnapshotStore::DefaultFolder()).days(m_currentFolderPath);
    if (!days.empty()) CompareWithMenu->addSeparator();
    for (const TSnapshotDay& d : days)
      item(lookText(d.taken), shown && m_scanFile.isEmpty() && m_baselineDay == d.day,
           [this, day = d.day] { ChooseBaseline(QString(), day); });
  }
  if (!m_scanFile.isEmpty()) {
    CompareWithMenu->addSeparator();
    item(QStringLiteral("Scan ") + QFileInfo(m_scanFile).fileName(), shown, [] {});
  }
  CompareWithMenu->addSeparator();
  CompareWithMenu->addAction(CompareWithScanCmd);
}

void TDiskUsageForm::ChooseBaseline(const QString& scanFile, const QDate& day) {
  ForgetBaseline();
  m_scanFile = scanFile;
  m_baselineDay = day;
  if (!ShowChangesCmd->isChecked()) {
    SetShowChanges(true);  // keeps the snapshot and compares
    return;
  }
  if (m_scanFile.isEmpty()) LoadEarlierLook();
  CompareRows();
}

void TDiskUsageForm::CompareWithScanCmdClick() {
  const QString file = ScanFileChooser ? ScanFileChooser()
                                       : QFileDialog::getOpenFileName(this, QStringLiteral("Compare With Scan"), QString(),
                                                                      QStringLiteral("Saved scans (*.json);;All files (*)"));
  if (file.isEmpty()) return;
  ForgetBaseline();
  m_scanFile = file;
  m_baselineDay = QDate();
  if (!ShowChangesCmd->isChecked()) {
    ShowChangesCmd->setChecked(true);
    UsageList->header()->setSectionHidden(kChangeColumn, false);
    ChangeSortCmd->setVisible(true);
  }
  ReadScan(true, m_currentFolderPath);
  ShowComparison();  // none until the scan is read
}

void TDiskUsageForm::ReadScan(bool userAsked, const std::string& folder) {
  ForgetBaseline();
  if (folder.empty()) return;
  m_baselineFolder = folder;
  m_baselineText = QStringLiteral("reading ") + QFileInfo(m_scanFile).fileName() + QStringLiteral("...");
  m_scanRead = std::make_shared<TScanRead>();
  m_scanRead->folder = folder;
  m_scanRead->userAsked = userAsked;
  scan::ReadSettings settings = scanReadSettings(m_engine, m_folderVolume);
  m_scanRead->counting = settings.counting;
  m_scanRead->clusterSize = settings.clusterSize;
  TScanRead* read = m_scanRead.get();
  settings.stop = &read->stop;
  read->work = std::async(std::launch::async, [this, read, file = QFile::encodeName(m_scanFile).toStdString(), settings] {
    read->result = scan::readScan(file, read->folder, settings);
    QMetaObject::invokeMethod(this, [this, read] { ScanRead(read); }, Qt::QueuedConnection);
  });
}

void TDiskUsageForm::ScanRead(const TScanRead* done) {
  if (!m_scanRead || m_scanRead.get() != done) return;  // abandoned meanwhile
  m_scanRead->work.wait();
  const std::shared_ptr<TScanRead> read = std::move(m_scanRead);
  scan::ScanResult& result = read->result;
  if (read->folder != m_currentFolderPath || result.error == scan::ScanError::Cancelled) return;
  const QString name = QFileInfo(m_scanFile).fileName();
  if (result.ok()) {
    m_baseline = std::move(result.baseline);
    m_baselineText = QStringLiteral("since the scan ") + name;
    if (result.timestamp > 0) m_baselineText += QStringLiteral(" of ") + lookText(QDateTime::fromSecsSinceEpoch(result.timestamp));
  } else {
    m_baselineText = result.error == scan::ScanError::FolderMissing ? QStringLiteral("the scan ") + name + QStringLiteral(" does not contain this folder")
                                                                     : QStringLiteral("the scan ") + name + QStringLiteral(" cannot be read");
    if (read->userAsked) platform::showError(this, DisplayName(result.message));
  }
  ShowComparison();
}

void TDiskUsageForm::EndChangeWork() {
  ForgetBaseline();
  for (const std::shared_ptr<TScanRead>& r : m_abandonedReads) r->work.wait();
  m_abandonedReads.clear();
  if (m_snapshotWrite.valid()) m_snapshotWrite.wait();
}
