// The refresh: list the folder chosen in the tree and turn each entry into a
// usage row with running totals, then sort and fill the status bar.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <cmath>

#include "app/disk_usage_form.h"
#include "model/directory_list.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "views/figure_format.h"
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
  TDirectoryList listing;
  const std::string path = currentDirBoxPath();
  if (!listing.ReadDirectory(path)) {
    ItemNotSizeable();
    return;
  }
  m_currentFolderPath = platform::withTrailingDelim(path);
  setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" - ") + QString::fromUtf8(path));
  ComputeUsage(listing);
  // The folder watch comes with the change notifier.
}

void TDiskUsageForm::ItemNotSizeable() {
  ClearUsageRows();  // the chart is cleared here too once it exists
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
  FocusActiveView();
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
  ClearUsageRows();

  int32_t fileCount = 0, dirCount = 0;
  double fileBytes = 0, diskBytes = 0;
  for (QLabel* l : {FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel})
    l->setText(QStringLiteral("0"));
  EfficiencyValLabel->setText(QStringLiteral("100%"));
  EfficiencyGuage->setProgress(0);
  TargetGuage->setForeColor(palette().color(QPalette::Button));

  const int32_t mapDrive = m_engine.TlrGetOption("MapDrive", 0);
  if (mapDrive >= 1)
    MapDriveValLabel->setText(QString(QChar(64 + mapDrive)) + QLatin1Char(':'));
  else
    MapDriveValLabel->clear();
  MapDrivePanel->repaint();

  StatusBar->clearPanels();

  auto fail = [&](const std::string& path, int32_t code) {
    QString text;
    const int32_t target = m_engine.TlrGetOption("MapDrive", 0);
    if (code == -2 && target > 0)
      text = QStringLiteral("Cannot access target ") + QChar(64 + target) + QStringLiteral(":\\");
    else
      text = QStringLiteral("Cannot access ") + QString::fromUtf8(path) + QStringLiteral(" (code ") +
             QString::number(code) + QStringLiteral(").");
    platform::showError(this, text);
  };

  if (listing.Count() < 2) {
    const int32_t rc = m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), nullptr);
    if (rc < 0) {
      fail(m_currentFolderPath, rc);
      return;
    }
  }
  FocusActiveView();

  QHeaderView* header = UsageList->header();
  std::array<int, kUsageColumns> widths;
  for (int c = 0; c < kUsageColumns; ++c) widths[c] = header->sectionSize(c);
  FigureWidths figureWidths(UsageList->font());

  for (int i = 0; i < listing.Count(); ++i) {
    TDirectoryItem* entry = listing.Items(i);
    if (platform::folderPart(entry->FullPath) != m_currentFolderPath || entry->GetName() == "..") continue;
    const int32_t rc = m_engine.TlrCalcUsage(entry->FullPath.c_str(), nullptr);
    if (rc < 0) {
      fail(entry->FullPath, rc);
      return;
    }
    const int32_t dirs = m_engine.TlrGetStatVal("Directories");
    if (dirs == 0 && m_engine.TlrGetStatVal("Files") == 0 && m_engine.TlrGetStatValF("DiskBytes") < 1.0) continue;

    TUsageRow row;
    row.caption = QString::fromUtf8(entry->GetName());
    for (int c = 1; c <= 4; ++c) {
      const TUsageListAttrs& a = UsageListAttrs[c];
      const double figure = a.kind == 2 ? a.getFloat(a.statKey) : a.getInt(a.statKey);
      const QString text = FormatFigure(figure);
      row.subItems.append(text);
      widths[c] = std::max(widths[c], figureWidths.width(text));
    }
    uint64_t fileTime = 0;
    m_engine.TlrGetFileTime(&fileTime);
    row.subItems.append(DateText(fileTime, QLocale(), &row.date));
    row.entry = listing.Take(i);
    UsageModel->appendRow(std::move(row));

    fileCount += m_engine.TlrGetStatVal("Files");
    dirCount += dirs;
    fileBytes += m_engine.TlrGetStatValF("FileBytes");
    diskBytes += m_engine.TlrGetStatValF("DiskBytes");
    FilesValLabel->setText(FormatFigure(fileCount));
    DirectoriesValLabel->setText(FormatFigure(dirCount));
    FileBytesValLabel->setText(FormatFigure(fileBytes));
    DiskBytesValLabel->setText(FormatFigure(diskBytes));
    if (diskBytes > 0) {
      const int e = static_cast<int>(std::trunc(fileBytes * 100 / diskBytes));
      EfficiencyValLabel->setText(QString::number(e) + QLatin1Char('%'));
      EfficiencyGuage->setProgress(100 - e);
    }
    // Show the rows and totals so far at once. Only the list and the totals
    // change while rows arrive; painting the rest of the window again (tree,
    // tool bar, status bar) showed nothing new and cost 1.5 s of a 100,000-file
    // refresh.
    if (dirs > 0 || i % 127 == 0) {
      UsageList->viewport()->repaint();
      TotalsGroup->repaint();
    }
  }

  for (int c = 0; c < kUsageColumns; ++c) header->resizeSection(c, widths[c]);
  SortByColumn(SortColumn);

  const int32_t cluster = m_engine.TlrGetStatVal("ClusterSize");
  const int32_t sizeFactor = m_engine.TlrGetStatVal("SizeFactor");
  const int32_t diskFree = m_engine.TlrGetStatVal("DiskFree");
  const int32_t diskTotal = m_engine.TlrGetStatVal("DiskTotal");
  StatusBar->setPanelText(0, ItemCountText(UsageModel->rowCount()));
  StatusBar->setPanelText(3, QString::fromUtf8(m_engine.TlrGetFileSysName()));
  StatusBar->setPanelText(2, ClusterText(cluster));
  StatusBar->setPanelText(1, FreeSpaceText(diskFree, diskTotal, sizeFactor));

  if (!MapDriveValLabel->text().isEmpty()) {
    const double free = double(diskFree) * double(sizeFactor);
    // A target with no free space cannot take even an empty folder's worth:
    // full and yellow, as the selection totals show it, rather than 0 / 0.
    if (diskBytes > free || free <= 0) {
      TargetGuage->setForeColor(QColor(255, 255, 0));
      TargetGuage->setProgress(100);
    } else {
      TargetGuage->setProgress(static_cast<int>(std::trunc(diskBytes * 100 / free)));
    }
  }
}
