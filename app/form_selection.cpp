// Sums of the selected rows (or of all rows), and the remembered selection
// that a refresh of the same folder selects again.
#include <QItemSelectionModel>
#include <QLabel>

#include "app/disk_usage_form.h"
#include "model/name_compare.h"
#include "model/usage_totals.h"
#include "platform/path.h"
#include "views/status_bar.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

void TDiskUsageForm::ShowSelectionTotals() {
  QItemSelectionModel* sel = UsageList->selectionModel();
  const bool anySelected = sel->hasSelection();
  TUsageTotals totals;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.isPlaceholder()) break;  // the placeholder row ends the walk
    if (anySelected && !sel->isRowSelected(i, {})) continue;
    // The figures the row's texts show; they read back from those texts exactly.
    totals.add(static_cast<int32_t>(r.figures[3]), static_cast<int32_t>(r.figures[2]), r.figures[1], r.figures[0]);
  }
  ShowTotals(totals);
  StatusBar->setPanelText(0, QString::number(totals.rows) +
                                 (anySelected ? QStringLiteral(" selection") : QStringLiteral(" item")) +
                                 (totals.rows == 1 ? QString() : QStringLiteral("s")));
  if (!MapDriveValLabel->text().isEmpty()) ShowTargetFit(TargetFitOfSelection(totals.diskBytes, TargetCapacity()));
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
