#pragma once
// The folder tree and its model: folders only (hidden ones included; which
// entries count as folders a filter decides, real folders by default), under
// a virtual top node that is no file-system path and
// holds the home folder, "/" and the mounted volumes. Sub-folders are read when
// a node is first expanded or a path is selected through it.
// Paths are raw bytes (kept in PathRole), so no name is lost to decoding.
#include <QIcon>
#include <QStandardItemModel>
#include <functional>
#include <string>

#include "model/display_name.h"

class TFolderTreeModel : public QStandardItemModel {
  Q_OBJECT
 public:
  static constexpr int PathRole = Qt::UserRole + 1;
  static constexpr int LoadedRole = Qt::UserRole + 2;
  // The virtual top node's path: not a file-system path, so it cannot be sized.
  static constexpr const char* kVirtualTopPath = "::computer";

  explicit TFolderTreeModel(QObject* parent = nullptr);

  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  QModelIndex topIndex() const;
  // The themed folder icon every folder node shows.
  static QIcon folderIcon();
  std::string pathOf(const QModelIndex& index) const;
  // The node for an absolute folder path, creating the nodes down to it;
  // invalid when the path is not absolute.
  QModelIndex indexForPath(const std::string& path);
  // Takes every node of a folder that no longer exists out of the tree, with
  // everything below it, under whichever places hold one; reads nothing and
  // makes no node. The places of the top node themselves stay.
  void forgetPath(const std::string& path);
  // Brings the children of a folder's nodes already read up to date with the
  // names of its entries that may be sub-folders (the filter decides, as when
  // they are first read): gone ones leave, new ones come in sorted.
  void followFolder(const std::string& path, const std::vector<std::string>& candidates);
  // Decides which sub-folders show, given their paths; asked once per entry
  // when a folder's children are read.
  void setFolderFilter(std::function<bool(const std::string& path)> filter);
  static bool isRealFolder(const std::string& path);  // the default: lstat says folder
  // The places under the virtual top node: (caption, path).
  const std::vector<std::pair<QString, std::string>>& places() const { return m_places; }

 private:
  QStandardItem* makeFolderItem(const TDisplayName& caption, const std::string& path);
  void loadChildren(QStandardItem* item);
  std::vector<QStandardItem*> nodesOf(const std::string& path) const;  // the nodes read so far

  std::vector<std::pair<QString, std::string>> m_places;
  std::function<bool(const std::string&)> m_filter;
};

