#include "views/folder_tree_model.h"

#include <QDir>
#include <QFileIconProvider>
#include <QIcon>
#include <QStorageInfo>
#include <algorithm>
#include <optional>
#include <set>
#include <sys/stat.h>

#include "platform/fs.h"
#include "platform/path.h"
#include "model/name_compare.h"

QIcon TFolderTreeModel::folderIcon() {
  static const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"), QFileIconProvider().icon(QFileIconProvider::Folder));
  return icon;
}


TFolderTreeModel::TFolderTreeModel(QObject* parent) : QStandardItemModel(parent) {
  auto* top = new QStandardItem(QIcon::fromTheme(QStringLiteral("computer")), QStringLiteral("Computer"));
  top->setData(QByteArray(kVirtualTopPath), PathRole);
  top->setData(true, LoadedRole);
  top->setEditable(false);
  invisibleRootItem()->appendRow(top);

  const std::string home =
      platform::withoutTrailingDelim(QFile::encodeName(QDir::toNativeSeparators(QDir::homePath())).toStdString());
  m_places.emplace_back(QStringLiteral("Home"), home);
#ifdef _WIN32
  // The drives, as the shell lists them under the computer: "C:\" and on.
  for (const std::string& drive : platform::driveRoots()) m_places.emplace_back(QString::fromStdString(drive), drive);
#else
  m_places.emplace_back(QStringLiteral("/"), "/");
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    const std::string root = QFile::encodeName(v.rootPath()).toStdString();
    if (root == "/" || root == home || !v.isValid() || !v.device().startsWith("/dev/")) continue;
    m_places.emplace_back(DisplayName(root), root);
  }
#endif
  for (const auto& [caption, path] : m_places)
    top->appendRow(makeFolderItem(path == home || platform::isRootFolder(path) ? TDisplayName{caption, {}} : DisplayNameMarked(path), path));
}

QStandardItem* TFolderTreeModel::makeFolderItem(const TDisplayName& caption, const std::string& path) {
  auto* item = new QStandardItem(folderIcon(), caption.text);
  if (!caption.escapes.isEmpty()) item->setData(QVariant::fromValue(caption.escapes), kNameEscapesRole);
  item->setData(QByteArray::fromStdString(path), PathRole);
  item->setData(false, LoadedRole);
  item->setEditable(false);  // folder names are never edited in the tree
  return item;
}

bool TFolderTreeModel::isRealFolder(const std::string& path) {
  struct stat st;
  return platform::statPath(path, st, false) && S_ISDIR(st.st_mode);
}

void TFolderTreeModel::setFolderFilter(std::function<bool(const std::string&)> filter) { m_filter = std::move(filter); }

QModelIndex TFolderTreeModel::topIndex() const { return index(0, 0); }

std::string TFolderTreeModel::pathOf(const QModelIndex& idx) const {
  return idx.isValid() ? idx.data(PathRole).toByteArray().toStdString() : std::string();
}

bool TFolderTreeModel::hasChildren(const QModelIndex& parent) const {
  if (parent.isValid() && !parent.data(LoadedRole).toBool()) return true;
  return QStandardItemModel::hasChildren(parent);
}

bool TFolderTreeModel::canFetchMore(const QModelIndex& parent) const {
  return parent.isValid() && !parent.data(LoadedRole).toBool();
}

void TFolderTreeModel::fetchMore(const QModelIndex& parent) {
  if (QStandardItem* item = itemFromIndex(parent)) loadChildren(item);
}

void TFolderTreeModel::loadChildren(QStandardItem* item) {
  if (item->data(LoadedRole).toBool()) return;
  item->setData(true, LoadedRole);
  const std::string path = item->data(PathRole).toByteArray().toStdString();
  const std::string prefix = platform::withTrailingDelim(path);
  std::vector<std::string> names;
  for (std::string& name : platform::folderCandidates(path))
    if (m_filter ? m_filter(prefix + name) : isRealFolder(prefix + name)) names.push_back(std::move(name));
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return CompareFoldAZ(a, b) < 0; });
  QList<QStandardItem*> children;
  for (const std::string& name : names) children.append(makeFolderItem(DisplayNameMarked(name), prefix + name));
  if (!children.isEmpty()) item->appendRows(children);
}

QModelIndex TFolderTreeModel::indexForPath(const std::string& given) {
  if (!platform::isAbsolutePath(given)) return {};
  const std::string path = platform::withoutTrailingDelim(given);
  // Start from the place whose path is the longest leading part of the path.
  QStandardItem* top = itemFromIndex(topIndex());
  QStandardItem* node = nullptr;
  size_t nodeLen = 0;
  for (int i = 0; i < top->rowCount(); ++i) {
    const std::string p = top->child(i)->data(PathRole).toByteArray().toStdString();
    const bool under = platform::isRootFolder(p) ? path.compare(0, p.size(), p) == 0
                                                 : path == p || (path.compare(0, p.size(), p) == 0 &&
                                                                 path[p.size()] == platform::kPathDelim);
    if (under && (!node || p.size() > nodeLen)) {
      node = top->child(i);
      nodeLen = p.size();
    }
  }
  if (!node) return {};
  size_t pos = nodeLen;
  while (pos < path.size()) {
    while (pos < path.size() && path[pos] == platform::kPathDelim) ++pos;
    if (pos >= path.size()) break;
    size_t end = path.find(platform::kPathDelim, pos);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(pos, end - pos);
    loadChildren(node);
    QStandardItem* next = nullptr;
    for (int i = 0; i < node->rowCount() && !next; ++i)
      if (node->child(i)->data(PathRole).toByteArray().toStdString() == path.substr(0, end)) next = node->child(i);
    if (!next) {
      // Not listed (made since, or not readable): the path still leads here.
      next = makeFolderItem(DisplayNameMarked(name), path.substr(0, end));
      node->appendRow(next);
    }
    node = next;
    pos = end;
  }
  return indexFromItem(node);
}

std::vector<QStandardItem*> TFolderTreeModel::nodesOf(const std::string& given) const {
  std::vector<QStandardItem*> found;
  if (!platform::isAbsolutePath(given)) return found;
  const std::string path = platform::withoutTrailingDelim(given);
  // The same folder may hold a node under several places (below Home, and
  // below "/" once the user expanded it that way). Only nodes already read
  // are looked at: indexForPath would make nodes for a folder that is gone.
  QStandardItem* top = itemFromIndex(topIndex());
  for (int i = 0; i < top->rowCount(); ++i) {
    QStandardItem* node = top->child(i);
    const std::string place = node->data(PathRole).toByteArray().toStdString();
    if (path == place) continue;  // the places themselves are not asked for
    const std::string prefix = platform::withTrailingDelim(place);
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    // Down from the place, one name at a time, through the children read so far.
    for (size_t pos = prefix.size(); node;) {
      const size_t end = std::min(path.find(platform::kPathDelim, pos), path.size());
      const std::string stepPath = path.substr(0, end);
      QStandardItem* next = nullptr;
      for (int row = 0; row < node->rowCount() && !next; ++row)
        if (node->child(row)->data(PathRole).toByteArray().toStdString() == stepPath) next = node->child(row);
      if (next && end == path.size()) found.push_back(next);
      node = end == path.size() ? nullptr : next;
      pos = end + 1;
    }
  }
  return found;
}

void TFolderTreeModel::forgetPath(const std::string& path) {
  for (QStandardItem* node : nodesOf(path)) node->parent()->removeRow(node->row());
}

void TFolderTreeModel::followFolder(const std::string& path, const std::vector<std::string>& candidates) {
  const std::string prefix = platform::withTrailingDelim(path);
  std::optional<std::set<std::string>> names;  // asked of the filter once, for the first node read
  for (QStandardItem* node : nodesOf(path)) {
    if (!node->data(LoadedRole).toBool()) continue;  // read when first expanded
    if (!names) {
      names.emplace();
      for (const std::string& name : candidates)
        if (m_filter ? m_filter(prefix + name) : isRealFolder(prefix + name)) names->insert(name);
    }
    std::set<std::string> present;
    for (int row = node->rowCount() - 1; row >= 0; --row) {
      const std::string child = node->child(row)->data(PathRole).toByteArray().toStdString();
      const std::string name = child.substr(std::min(prefix.size(), child.size()));
      if (names->count(name))
        present.insert(name);
      else
        node->removeRow(row);  // gone, with everything below it
    }
    for (const std::string& name : *names) {
      if (present.count(name)) continue;
      // Before the first child that sorts after it.
      int row = 0;
      while (row < node->rowCount()) {
        const std::string child = node->child(row)->data(PathRole).toByteArray().toStdString();
        if (CompareFoldAZ(std::string_view(child).substr(std::min(prefix.size(), child.size())), name) > 0) break;
        ++row;
      }
      node->insertRow(row, makeFolderItem(DisplayNameMarked(name), prefix + name));
    }
  }
}
