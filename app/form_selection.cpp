// Sums of the selected rows (or of all rows), and the remembered selection
// that a refresh of the same folder selects again.
#include <QItemSelectionModel>
#include <QLabel>
#include <algorithm>
#include <unordered_set>

#include "app/disk_usage_form.h"
#include "model/usage_totals.h"
#include "platform/path.h"
#include "views/figure_format.h"
#include "views/status_bar.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

// Which rows are selected, by row index: one pass over the selection's ranges
// and one over the rows. Asking isRowSelected row by row costs a search of
// every range per row; with 1,000 rows ctrl-clicked in a list of 100,000 that
// was 10^8 range tests at every change.
std::vector<char> selectedRows(const QItemSelectionModel& sel, int rowCount) {
  std::vector<char> marks(static_cast<size_t>(rowCount), 0);
  for (const QItemSelectionRange& r : sel.selection())
    for (int i = std::max(r.top(), 0); i <= r.bottom() && i < rowCount; ++i) marks[static_cast<size_t>(i)] = 1;
  return marks;
}

// Full paths of the selected rows, in list order.
std::vector<std::string> selectedPaths(const TUsageListModel& model, const QItemSelectionModel& sel,
                                       const std::string& folder) {
  const std::vector<char> marks = selectedRows(sel, model.rowCount());
  std::vector<std::string> paths;
  for (int i = 0; i < model.rowCount(); ++i)
    if (marks[static_cast<size_t>(i)] && model.row(i).entry) paths.push_back(folder + model.row(i).entry->GetName());
  return paths;
}

}  // namespace

void TDiskUsageForm::ShowSelectionTotals() {
  const std::vector<char> marks = selectedRows(*UsageList->selectionModel(), UsageModel->rowCount());
  const bool anySelected = UsageList->selectionModel()->hasSelection();
  TUsageTotals totals;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.isPlaceholder()) break;  // the placeholder row ends the walk
    if (anySelected && !marks[static_cast<size_t>(i)]) continue;
    // Without a selection the sums are the folder's as it is now; a gone
    // row counts only where the user selected it.
    if (!anySelected && r.isGone()) continue;
    // The figures the row's texts show; they read back from those texts exactly.
    totals.add(static_cast<int32_t>(r.figures[3]), static_cast<int32_t>(r.figures[2]), r.figures[1], r.figures[0]);
  }
  ShowTotals(totals);
  // A folder that could not be read has no rows to sum: its panel keeps
  // saying so after F5 or a change on the disk, not "0 items" as if empty.
  if (m_refreshStopped)
    StatusBar->setPanelText(0, RefreshStoppedText());
  else if (m_folderUnread && UsageModel->rowCount() == 0)
    StatusBar->setPanelText(0, FolderUnreadText());
  else
    StatusBar->setPanelText(0, QString::number(totals.rows) +
                                   (anySelected ? QStringLiteral(" selection") : QStringLiteral(" item")) +
                                   (totals.rows == 1 ? QString() : QStringLiteral("s")));
  if (!MapDriveValLabel->text().isEmpty()) ShowTargetFit(TargetFitOfSelection(totals.diskBytes, TargetCapacity()));
}

void TDiskUsageForm::RestoreSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  // Names match exactly, byte for byte: the file systems we list tell Ax and
  // ax apart, and folding them selected (and offered for deletion) an item
  // the user never chose. The names of this folder's paths, hashed once: a
  // refresh after Select All on 100,000 rows compared every row with every
  // path before.
  std::unordered_set<std::string_view> names;
  for (const std::string& p : paths)
    if (platform::folderPart(p) == m_currentFolderPath) names.insert(std::string_view(p).substr(m_currentFolderPath.size()));
  QItemSelectionModel* sel = UsageList->selectionModel();
  QItemSelection selection;
  int first = -1, last = -1;
  for (int i = 0; i < UsageModel->rowCount() && !names.empty(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (!r.entry) continue;
    const std::string shortName = r.entry->GetShortName();
    if (names.count(r.entry->Name()) || (!shortName.empty() && names.count(shortName))) {
      selection.select(UsageModel->index(i, 0), UsageModel->index(i, kUsageColumns - 1));
      if (first < 0) first = i;
      last = i;
    }
  }
  sel->select(selection, QItemSelectionModel::ClearAndSelect);
  // The list's selection changes reach RememberedSelection; when they were
  // taken in this folder and it shows none of them now (all gone), it shows
  // nothing selected and remembers as much, so a name that comes back later
  // is not selected behind the user's back.
  if (!names.empty()) RememberedSelection = selectedPaths(*UsageModel, *sel, m_currentFolderPath);
  if (first >= 0) {
    sel->setCurrentIndex(UsageModel->index(first, 0), QItemSelectionModel::NoUpdate);
    UsageList->scrollTo(UsageModel->index(last, 0));
    if (UsageList->indexAt(QPoint(1, 1)).row() > first) UsageList->scrollTo(UsageModel->index(first, 0));
  }
  if (UsageList->isVisible() && !m_automaticRefresh) UsageList->setFocus();  // a change on the disk moves no focus
}

void TDiskUsageForm::ApplyRememberedSelection() {
  RestoreSelection(RememberedSelection);
  ShowSelectionTotals();
}

// Every change of the list's selection, whatever made it (a click, a plain
// click on a selected row that the list applies on release, Ctrl, Shift,
// keys held down, a drag, the Edit commands, a right click, a drop): the sums
// and the remembered rows are those shown selected after it. A refresh
// clears the rows with a model reset, which changes the selection without
// this signal, so the remembered rows survive it to be selected again.
void TDiskUsageForm::UsageListSelectionChange() {
  RememberedSelection = selectedPaths(*UsageModel, *UsageList->selectionModel(), m_currentFolderPath);
  ShowSelectionTotals();
}

void TDiskUsageForm::SelectAllCmdClick() {
  UsageList->selectAll();
  UsageListSelectionChange();  // also when every row was selected already
  if (UsageList->isVisible()) UsageList->setFocus();
}

void TDiskUsageForm::InvertselectionsCmdClick() {
  if (UsageModel->rowCount() > 0) {
    const QItemSelection all(UsageModel->index(0, 0), UsageModel->index(UsageModel->rowCount() - 1, kUsageColumns - 1));
    UsageList->selectionModel()->select(all, QItemSelectionModel::Toggle);
  }
  UsageListSelectionChange();
  if (UsageList->isVisible()) UsageList->setFocus();
}

void TDiskUsageForm::UnselectAllCmdClick() {
  UsageList->clearSelection();
  UsageListSelectionChange();
  if (UsageList->isVisible()) UsageList->setFocus();
}
