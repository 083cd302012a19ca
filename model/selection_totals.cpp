// Sums of the selected rows (or of all rows), and the remembered selection
// that a refresh of the same folder selects again.
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <cmath>

#include "app/disk_usage_form.h"
#include "model/tstring.h"
#include "platform/path.h"
#include "views/figure_format.h"
#include "views/gauge.h"
#include "views/status_bar.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

void TDiskUsageForm::ShowSelectionTotals() {
  QItemSelectionModel* sel = UsageList->selectionModel();
  const bool anySelected = sel->hasSelection();
  long double disk = 0, bytes = 0;
  int32_t dirs = 0, files = 0, rows = 0;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.subItems.size() < 2) break;  // the placeholder row ends the walk
    if (anySelected && !sel->isRowSelected(i, {})) continue;
    disk += TString::DigitsToFloat(r.subItems[0]);
    bytes += TString::DigitsToFloat(r.subItems[1]);
    dirs += TString::DigitsToInt(r.subItems[2]);
    files += TString::DigitsToInt(r.subItems[3]);
    ++rows;
  }
  FilesValLabel->setText(FormatFigure(files));
  DirectoriesValLabel->setText(FormatFigure(dirs));
  FileBytesValLabel->setText(FormatFigure(static_cast<double>(bytes)));
  DiskBytesValLabel->setText(FormatFigure(static_cast<double>(disk)));
  if (disk > 0) {
    const int e = static_cast<int>(std::trunc(bytes * 100 / disk));
    EfficiencyGuage->setProgress(100 - e);
    EfficiencyValLabel->setText(QString::number(e) + QLatin1Char('%'));
  }
  StatusBar->setPanelText(0, QString::number(rows) + (anySelected ? QStringLiteral(" selection") : QStringLiteral(" item")) +
                           (rows == 1 ? QString() : QStringLiteral("s")));
  if (!MapDriveValLabel->text().isEmpty()) {
    const long double capacity =
        static_cast<long double>(m_engine.TlrGetStatVal("DiskFree")) * m_engine.TlrGetStatVal("SizeFactor");
    TargetGuage->setForeColor(palette().color(QPalette::Button));
    if (disk < capacity) {
      TargetGuage->setProgress(static_cast<int>(std::trunc(disk * 100 / capacity)));
    } else {
      TargetGuage->setForeColor(disk > capacity ? QColor(255, 0, 0) : QColor(255, 255, 0));
      TargetGuage->setProgress(100);
    }
  }
}

void TDiskUsageForm::RestoreSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  QItemSelectionModel* sel = UsageList->selectionModel();
  QItemSelection selection;
  int first = -1, last = -1;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (!r.entry) continue;
    const std::string name = r.entry->GetName(), shortName = r.entry->GetShortName();
    for (const std::string& p : paths) {
      if (platform::folderPart(p) != m_currentFolderPath) continue;
      const std::string_view part = std::string_view(p).substr(p.rfind(platform::kPathDelim) + 1);
      if (CompareFoldAZ(part, name) == 0 || (!shortName.empty() && CompareFoldAZ(part, shortName) == 0)) {
        selection.select(UsageModel->index(i, 0), UsageModel->index(i, kUsageColumns - 1));
        if (first < 0) first = i;
        last = i;
        break;
      }
    }
  }
  sel->select(selection, QItemSelectionModel::ClearAndSelect);
  if (first >= 0) {
    sel->setCurrentIndex(UsageModel->index(first, 0), QItemSelectionModel::NoUpdate);
    UsageList->scrollTo(UsageModel->index(last, 0));
    if (UsageList->indexAt(QPoint(1, 1)).row() > first) UsageList->scrollTo(UsageModel->index(first, 0));
  }
  if (UsageList->isVisible()) UsageList->setFocus();
}

void TDiskUsageForm::ApplyRememberedSelection() {
  RestoreSelection(RememberedSelection);
  ShowSelectionTotals();
}

namespace {

// Full paths of the selected rows, in list order.
std::vector<std::string> selectedPaths(const TUsageListModel& model, const QItemSelectionModel& sel,
                                       const std::string& folder) {
  std::vector<std::string> paths;
  for (int i = 0; i < model.rowCount(); ++i)
    if (sel.isRowSelected(i, {}) && model.row(i).entry) paths.push_back(folder + model.row(i).entry->GetName());
  return paths;
}

}  // namespace

void TDiskUsageForm::UsageListClick() {
  RememberedSelection = selectedPaths(*UsageModel, *UsageList->selectionModel(), m_currentFolderPath);
  ShowSelectionTotals();
}

void TDiskUsageForm::UsageListKeyUp() { UsageListClick(); }

void TDiskUsageForm::SelectAllCmdClick() {
  UsageList->selectAll();
  RememberedSelection = selectedPaths(*UsageModel, *UsageList->selectionModel(), m_currentFolderPath);
  ShowSelectionTotals();
  if (UsageList->isVisible()) UsageList->setFocus();
}

void TDiskUsageForm::InvertselectionsCmdClick() {
  if (UsageModel->rowCount() > 0) {
    const QItemSelection all(UsageModel->index(0, 0), UsageModel->index(UsageModel->rowCount() - 1, kUsageColumns - 1));
    UsageList->selectionModel()->select(all, QItemSelectionModel::Toggle);
  }
  RememberedSelection = selectedPaths(*UsageModel, *UsageList->selectionModel(), m_currentFolderPath);
  ShowSelectionTotals();
  if (UsageList->isVisible()) UsageList->setFocus();
}

void TDiskUsageForm::UnselectAllCmdClick() {
  RememberedSelection.clear();
  UsageList->clearSelection();
  ShowSelectionTotals();
  if (UsageList->isVisible()) UsageList->setFocus();
}
