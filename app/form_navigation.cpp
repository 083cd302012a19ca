// The folder tree and the folder combo box, linked both ways.
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QTreeView>

#include "app/disk_usage_form.h"
#include "platform/path.h"
#include "views/folder_tree_model.h"

namespace {
constexpr int kComboPathRole = Qt::UserRole;  // where addItem() puts its data
}

void TDiskUsageForm::buildFolderTree() {
  TreeModel = new TFolderTreeModel(this);
  TreeView = new QTreeView(DetailsPanel);
  TreeView->setObjectName(QStringLiteral("TreeView"));
  TreeView->setModel(TreeModel);
  TreeView->setHeaderHidden(true);
  TreeView->setFrameShape(QFrame::NoFrame);
  TreeView->setIndentation(23);
  TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView->setUniformRowHeights(true);
  TreeView->expand(TreeModel->topIndex());
  QFont f = TreeView->font();
  f.setPixelSize(13);
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
    CurrentDirBox->addItem(TFolderTreeModel::folderIcon(), QString::fromUtf8(path), QByteArray::fromStdString(path));
  CurrentDirBox->setCurrentIndex(-1);
  connect(CurrentDirBox, &QComboBox::activated, this, &TDiskUsageForm::onCurrentDirBoxActivated);
}

std::string TDiskUsageForm::treePath() const { return TreeModel->pathOf(TreeView->currentIndex()); }

std::string TDiskUsageForm::currentDirBoxPath() const {
  return CurrentDirBox->currentData(kComboPathRole).toByteArray().toStdString();
}

void TDiskUsageForm::setCurrentDirBoxPath(const std::string& path) {
  const QByteArray bytes = QByteArray::fromStdString(path);
  int at = CurrentDirBox->findData(bytes, kComboPathRole, Qt::MatchExactly);
  if (at < 0) {
    // A folder that is not one of the places gets one entry of its own,
    // replacing the previous such entry.
    const int places = 1 + static_cast<int>(TreeModel->places().size());
    while (CurrentDirBox->count() > places) CurrentDirBox->removeItem(places);
    CurrentDirBox->addItem(TFolderTreeModel::folderIcon(), QString::fromUtf8(path), bytes);
    at = CurrentDirBox->count() - 1;
  }
  const QSignalBlocker block(CurrentDirBox);
  CurrentDirBox->setCurrentIndex(at);
}

void TDiskUsageForm::onTreeSelectionChanged() {
  setCurrentDirBoxPath(treePath());
  if (m_treeChangeAttached) TreeViewChange();
}

void TDiskUsageForm::onCurrentDirBoxActivated(int index) {
  const std::string path = CurrentDirBox->itemData(index, kComboPathRole).toByteArray().toStdString();
  RememberedSelection.clear();
  if (path == TFolderTreeModel::kVirtualTopPath) {
    if (treePath() != path) TreeView->setCurrentIndex(TreeModel->topIndex());
  } else {
    SelectFolderPath(path);
  }
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
