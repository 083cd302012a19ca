// Navigation: the folder tree and the folder combo box, linked both ways, and
// every way into another folder (up one level, a double-click on a row, a link,
// a drop); opening files with the desktop's application.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QHeaderView>
#include <QTreeView>

#include <QItemSelectionModel>
#include <sys/stat.h>

#include "app/disk_usage_form.h"
#include "model/chart_cursor.h"
#include "model/directory_list.h"
#include "model/display_name.h"
#include "platform/desktop_open.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/shortcut.h"
#include "support/drop_panel.h"
#include "views/chart_panel.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"
#include "views/folder_tree_model.h"
#include "views/name_delegate.h"

namespace {

constexpr int kComboPathRole = Qt::UserRole;  // where addItem() puts its data

// The attribute test of the desktop: true for a folder, and for a path whose
// attributes cannot be read at all.
bool IsFolderOrUnreadable(const std::string& path, bool followLinks) {
  struct stat st;
  if (!platform::statPath(path, st, followLinks)) return true;
  return S_ISDIR(st.st_mode);
}

int FirstSelectedRow(const QItemSelectionModel& sel, int rows) {
  for (int i = 0; i < rows; ++i)
    if (sel.isRowSelected(i, {})) return i;
  return -1;
}

}  // namespace

// A folder entered from the keyboard leaves the keyboard where it was: after
// a click the tree takes it (OpenFolder), and a keyboard user going down a
// few levels would Tab back to the rows at each.
TDiskUsageForm::KeyboardStays::KeyboardStays(TDiskUsageForm* form) : m_form(form), m_focus(QApplication::focusWidget()) {}

TDiskUsageForm::KeyboardStays::~KeyboardStays() {
  if (m_focus && m_focus->window() == m_form && m_focus->isVisible()) m_focus->setFocus(Qt::OtherFocusReason);
}

void TDiskUsageForm::buildFolderTree() {
  TreeModel = new TFolderTreeModel(this);
  TreeView = new QTreeView(DetailsPanel);
  TreeView->setObjectName(QStringLiteral("TreeView"));
  TreeView->setModel(TreeModel);
  TreeView->setItemDelegate(new TNameDelegate(TreeView));  // escapes in a name stand apart
  TreeView->setHeaderHidden(true);
  TreeView->setFrameShape(QFrame::NoFrame);
  TreeView->setIndentation(23);
  TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);  // TreeViewEditing refuses
  TreeModel->setFolderFilter([this](const std::string& path) { return TreeViewAddFolder(path); });
  TreeView->setUniformRowHeights(true);
  TreeView->expand(TreeModel->topIndex());
  QFont f = TreeView->font();
  f.setPointSizeF(9.75);  // 13 pixels at 96 dpi, as the list
  TreeView->setFont(f);
  connect(TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TDiskUsageForm::onTreeSelectionChanged);

  CurrentDirBox = new QComboBox(this);
  CurrentDirBox->setObjectName(QStringLiteral("CurrentDirBox"));
  CurrentDirBox->setFixedWidth(247);
  CurrentDirBox->setMaxVisibleItems(12);
  CurrentDirBox->addItem(TreeModel->topIndex().data(Qt::DecorationRole).value<QIcon>(), QStringLiteral("Computer"),
                         QByteArray(TFolderTreeModel::kVirtualTopPath));
  for (const auto& [caption, path] : TreeModel->places())
    CurrentDirBox->addItem(TFolderTreeModel::folderIcon(), DisplayName(path), QByteArray::fromStdString(path));
  CurrentDirBox->setCurrentIndex(-1);
  connect(CurrentDirBox, &QComboBox::activated, this, &TDiskUsageForm::onCurrentDirBoxActivated);
  // Up one level from the keyboard (FormKeyDown).
  TreeView->installEventFilter(this);
  CurrentDirBox->installEventFilter(this);
}

std::string TDiskUsageForm::treePath() const { return TreeModel->pathOf(TreeView->currentIndex()); }

std::string TDiskUsageForm::currentDirBoxPath() const {
  return CurrentDirBox->currentData(kComboPathRole).toByteArray().toStdString();
}

void TDiskUsageForm::setCurrentDirBoxPath(const std::string& path) {
  // After the places, the folder and each of its parents from the top down,
  // so that a parent can be picked from the box; these replace the previous
  // folder's. A parent that is one of the places is not offered twice.
  const int places = 1 + static_cast<int>(TreeModel->places().size());
  while (CurrentDirBox->count() > places) CurrentDirBox->removeItem(places);
  std::vector<std::string> chain;
  if (path != TFolderTreeModel::kVirtualTopPath && !path.empty()) {
    for (std::string p = path;;) {
      chain.push_back(p);
      const size_t slash = p.rfind(platform::kPathDelim);
      if (slash == std::string::npos || platform::isRootFolder(p)) break;
      p = slash + 1 == platform::rootLength(p) ? p.substr(0, slash + 1) : p.substr(0, slash);
    }
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const QByteArray bytes = QByteArray::fromStdString(*it);
    if (CurrentDirBox->findData(bytes, kComboPathRole, Qt::MatchExactly) < 0)
      CurrentDirBox->addItem(TFolderTreeModel::folderIcon(), DisplayName(*it), bytes);
  }
  const int at = CurrentDirBox->findData(QByteArray::fromStdString(path), kComboPathRole, Qt::MatchExactly);
  const QSignalBlocker block(CurrentDirBox);
  CurrentDirBox->setCurrentIndex(at);
}

void TDiskUsageForm::onTreeSelectionChanged() {
  setCurrentDirBoxPath(treePath());
  if (m_treeChangeAttached) TreeViewChange();
}

void TDiskUsageForm::onCurrentDirBoxActivated(int index) {
  // The box's link to the tree: the tree's change does the refresh.
  const std::string path = CurrentDirBox->itemData(index, kComboPathRole).toByteArray().toStdString();
  RememberedSelection.clear();
  if (path == TFolderTreeModel::kVirtualTopPath) {
    if (treePath() != path) TreeView->setCurrentIndex(TreeModel->topIndex());
  } else {
    SelectFolderPath(path);
  }
  CurrentDirBoxClick();
}

void TDiskUsageForm::CurrentDirBoxClick() {
  RememberedSelection.clear();
  FocusActiveView();
}

void TDiskUsageForm::SelectFolderPath(const std::string& given) {
  const std::string path = platform::withoutTrailingDelim(given);
  setCurrentDirBoxPath(path);
  if (treePath() == path) return;  // already there: nothing to refresh
  const QModelIndex index = TreeModel->indexForPath(path);
  if (!index.isValid()) return;
  TreeView->setCurrentIndex(index);  // runs TreeViewChange synchronously
  TreeView->scrollTo(index);
}

void TDiskUsageForm::OpenFolder(const std::string& path) {
  TDirectoryList listing;
  if (listing.ReadDirectory(path)) {
    SelectFolderPath(platform::withTrailingDelim(path));
    if (TreeView->isVisible()) TreeView->setFocus();
  }
  RememberedSelection.clear();
}

std::string TDiskUsageForm::ResolveShortcut(const std::string& path) { return platform::resolveShortcut(path); }

void TDiskUsageForm::UsageListDblClick() {
  const int first = FirstSelectedRow(*UsageList->selectionModel(), UsageModel->rowCount());
  if (first < 0 || !UsageModel->row(first).entry) return;
  OpenItem(m_currentFolderPath + UsageModel->row(first).name());  // what the desktop says is not shown
}

bool TDiskUsageForm::OpenItem(const std::string& path) {
  // A link is no folder itself (its own attributes are read, not its
  // target's); one that cannot be read at all counts as a folder, which
  // OpenFolder then ignores.
  if (IsFolderOrUnreadable(path, false)) {
    OpenFolder(path);
    return true;
  }
  const std::string target = ResolveShortcut(path);
  if (target.empty()) return platform::openWithDefaultApplication(path);
  if (IsFolderOrUnreadable(target, true)) {
    OpenFolder(target);
    return true;
  }
  return platform::openWithDefaultApplication(target);
}

void TDiskUsageForm::ParentDirBtnClick() {
  if (m_currentFolderPath.empty()) return;
  const std::string stripped = platform::withoutTrailingDelim(m_currentFolderPath);
  if (stripped != m_currentFolderPath) OpenFolder(std::string(platform::folderPart(stripped)));
}

void TDiskUsageForm::UpOneLevelCmdClick() {
  const std::string before = m_currentFolderPath;
  {
    const KeyboardStays stays(this);
    ParentDirBtnClick();
  }
  // The keyboard lands on the folder it came from, as in a file browser: its
  // row is the current one, and in the list the selected one.
  if (m_currentFolderPath == before || before.size() <= m_currentFolderPath.size()) return;
  const std::string left = platform::withoutTrailingDelim(before).substr(m_currentFolderPath.size());
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    if (!UsageModel->row(i).entry || UsageModel->row(i).name() != left) continue;
    if (UsageList->isVisible()) {
      UsageList->selectionModel()->setCurrentIndex(UsageModel->index(i, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      UsageList->scrollTo(UsageModel->index(i, 0));
    }
    if (i < ChartRowCount()) ShowChartCursor(ShowChartRow({i, ChartScroll->value()}, ChartRowCount(), ChartRowsPerPage()));
    break;
  }
}

bool TDiskUsageForm::FormKeyDown(QObject* watched, QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool up = (event->key() == Qt::Key_Backspace && modifiers == Qt::NoModifier) ||
                  (event->key() == Qt::Key_Up && modifiers == Qt::AltModifier);
  if (up && (watched == UsageList || watched == ChartPanel || watched == TreeView || watched == CurrentDirBox)) {
    // A key held down goes up once: its repeats would each wait for a refresh.
    if (!event->isAutoRepeat()) UpOneLevelCmdClick();
    return true;
  }
  if (watched == UsageList) return UsageListKeyDown(event);
  if (watched == ChartPanel) return ChartPanelKeyDown(event);
  return false;
}

bool TDiskUsageForm::UsageListKeyDown(QKeyEvent* event) {
  if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) ||
      (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
    return false;
  if (event->isAutoRepeat()) return true;
  // The row the keyboard is on when it is selected, else the first selected
  // one, as for a double-click; a row the user sees unselected is not opened.
  QItemSelectionModel* sel = UsageList->selectionModel();
  const QModelIndex current = UsageList->currentIndex();
  const int row = current.isValid() && sel->isRowSelected(current.row(), {})
                      ? current.row()
                      : FirstSelectedRow(*sel, UsageModel->rowCount());
  if (row < 0 || !UsageModel->row(row).entry) return true;
  const KeyboardStays stays(this);
  OpenItem(m_currentFolderPath + UsageModel->row(row).name());
  return true;
}

bool TDiskUsageForm::TreeViewAddFolder(const std::string& path) const {
  // Real folders only: a link to a folder is a file of the folder it lies in.
  struct stat st;
  return platform::statPath(path, st, false) && S_ISDIR(st.st_mode);
}

void TDiskUsageForm::MainPanelFileDrop(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  const std::string folder(platform::folderPart(paths.front()));
  TDirectoryList listing;
  if (listing.ReadDirectory(folder)) SelectFolderPath(platform::withoutTrailingDelim(folder));
  if (paths.front() == folder) {
    UnselectAllCmdClick();  // a dropped root: nothing in it to select
  } else {
    RememberedSelection = paths;
    RestoreSelection(RememberedSelection);
    ShowSelectionTotals();
  }
}

void TDiskUsageForm::AcceptDrops() {
  // Set again after every change of the window that may renew it.
  MainPanel->setOnFileDrop([this](TDropPanel*, const std::vector<std::string>& files, QPoint) {
    MainPanelFileDrop(files);  // the list is copied there
  });
}
