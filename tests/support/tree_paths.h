#pragma once
// The folder tree's nodes as the tests look at them: every node loaded so far,
// as paths, and how many lie at or under a folder.
#include <functional>
#include <string>
#include <vector>

#include "views/folder_tree_model.h"

inline std::vector<std::string> loadedTreePaths(const TFolderTreeModel& m) {
  std::vector<std::string> out;
  std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
    for (int i = 0; i < m.rowCount(parent); ++i) {
      const QModelIndex child = m.index(i, 0, parent);
      out.push_back(m.pathOf(child));
      walk(child);
    }
  };
  walk(m.topIndex());
  return out;
}

inline size_t countAtOrUnder(const std::vector<std::string>& paths, const std::string& folder) {
  size_t n = 0;
  for (const std::string& p : paths)
    if (p == folder || p.rfind(folder + "/", 0) == 0) ++n;
  return n;
}
