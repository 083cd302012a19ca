// The usage list's columns, sorting, header arrow and sort menu.
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <algorithm>

#include "app/disk_usage_form.h"
#include "views/figure_format.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

void TDiskUsageForm::buildUsageList() {
  UsageModel = new TUsageListModel(this);
  UsageList = new TUsageListView(DetailsPanel);
  UsageList->setObjectName(QStringLiteral("UsageList"));
  UsageList->setModel(UsageModel);
  const int widths[kUsageColumns] = {kListNameWidth, 120, 120, 55, 55, 150, 120};
  for (int c = 0; c < kUsageColumns; ++c) UsageList->header()->resizeSection(c, widths[c]);
  // The Change column sits after the disk bytes, hidden until changes are shown.
  UsageList->header()->moveSection(kChangeColumn, 2);
  UsageList->header()->setSectionHidden(kChangeColumn, true);
  UsageList->header()->setSortIndicator(-1, Qt::AscendingOrder);
  FitColumnsToTexts();
  connect(UsageList, &TUsageListView::textMetricsChanged, this, &TDiskUsageForm::FitColumnsToTexts);
  connect(UsageList->header(), &QHeaderView::sectionClicked, this, &TDiskUsageForm::UsageListColumnClick);
  // A right click (after the list has selected the row under it) opens the item menu.
  UsageList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(UsageList, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { UsageListMouseDown(Qt::RightButton, pos); });
  // The sums and the remembered rows follow the selection as the list shows it.
  connect(UsageList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TDiskUsageForm::UsageListSelectionChange);
  // Double-clicks in the list open the row's item.
  UsageList->viewport()->installEventFilter(this);
  // Enter opens the row's item, Backspace and Alt+Up go up (FormKeyDown).
  UsageList->installEventFilter(this);
}

void TDiskUsageForm::SortByColumn(int column) {
  SortColumn = column;
  // One arrow, on the sort column.
  UsageList->header()->setSortIndicator(SortColumn, SortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
  UsageList->setUpdatesEnabled(false);
  SyncSortMenu();
  UsageModel->sortRows(SortColumn, SortAscending);
  BuildUsageChart();
  UsageList->setUpdatesEnabled(true);
}

void TDiskUsageForm::SyncSortMenu() {
  if (SortColumn >= 0 && SortColumn < 6) SortColumnCmds[SortColumn]->setChecked(true);
  if (SortColumn == kChangeColumn && ChangeSortCmd) ChangeSortCmd->setChecked(true);
  (SortAscending ? AscendingCmd : DescendingCmd)->setChecked(true);
}

void TDiskUsageForm::ClearUsageRows() {
  UsageModel->clearRows();
  m_folderUnread = false;
  m_refreshStopped = false;
}

void TDiskUsageForm::UsageListColumnClick(int column) {
  if (column == SortColumn) SortAscending = !SortAscending;
  SortByColumn(column);
}

void TDiskUsageForm::SortCmdClick(QAction* item) {
  const int column = item->data().toInt();
  SyncSortMenu();  // a click alone moves no check mark
  if (column != SortColumn) SortByColumn(column);
}

void TDiskUsageForm::SortTypeCmdClick(QAction* item) {
  SortAscending = item == AscendingCmd;
  SortByColumn(SortColumn);
}

void TDiskUsageForm::FitColumnsToTexts() {
  // The initial widths are the least: every caption shows whole beside its
  // sort arrow, and the date column holds the widest date of the locale.
  QHeaderView* header = UsageList->header();
  const QFontMetrics fm(UsageList->font());
  for (int c = 1; c < kUsageColumns; ++c) {
    int width = std::max(header->sectionSize(c), header->sectionSizeHint(c));
    if (c == 5)
      for (const QString& date : WidestDateTexts())
        width = std::max(width, fm.horizontalAdvance(date) + UsageList->textMargins() + 1);
    header->resizeSection(c, width);
  }
}

void TDiskUsageForm::FitFigureColumns() {
  // Widths only grow, to the widest figure text plus "XXX". With a font whose
  // digits share one advance the widest text is the longest, the one of the
  // largest figure, so one text per column is measured.
  QHeaderView* header = UsageList->header();
  FigureWidths widths(UsageList->font());
  for (int c = 1; c <= 4; ++c) {
    int width = header->sectionSize(c);
    if (widths.tabular()) {
      double largest = -1;
      for (int i = 0; i < UsageModel->rowCount(); ++i)
        if (!UsageModel->row(i).isPlaceholder()) largest = std::max(largest, UsageModel->row(i).figures[c - 1]);
      if (largest >= 0) width = std::max(width, widths.width(FormatFigure(largest)));
    } else {
      for (int i = 0; i < UsageModel->rowCount(); ++i)
        if (!UsageModel->row(i).isPlaceholder()) width = std::max(width, widths.width(UsageModel->row(i).text(c)));
    }
    header->resizeSection(c, width);
  }
  FitChangeColumn();
  // Dates: in a face whose digits differ in width the widest sample need not
  // be the widest date.
  if (!widths.tabular()) {
    const QFontMetrics fm(UsageList->font());
    int width = header->sectionSize(5);
    for (int i = 0; i < UsageModel->rowCount(); ++i)
      if (!UsageModel->row(i).isPlaceholder())
        width = std::max(width, fm.horizontalAdvance(UsageModel->row(i).text(5)) + UsageList->textMargins() + 1);
    header->resizeSection(5, width);
  }
}

void TDiskUsageForm::FitChangeColumn() {
  // As the figures: the widest change text plus "XXX", the width only grows.
  QHeaderView* header = UsageList->header();
  FigureWidths widths(UsageList->font());
  int width = header->sectionSize(kChangeColumn);
  for (const QString& word : {QStringLiteral("new"), QStringLiteral("gone")}) width = std::max(width, widths.width(word));
  int64_t most = 0, least = 0;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.change != TUsageRow::Change::Same && r.change != TUsageRow::Change::Changed) continue;
    if (!widths.tabular()) width = std::max(width, widths.width(r.text(kChangeColumn)));
    most = std::max(most, r.diskChange);
    least = std::min(least, r.diskChange);
  }
  for (int64_t c : {most, least}) width = std::max(width, widths.width(FormatChange(c)));
  header->resizeSection(kChangeColumn, width);
}
