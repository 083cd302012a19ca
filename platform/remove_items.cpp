// The Delete command's course, the same on every platform: each item to the
// trash, then the ones without a trash deleted for good after one question.
#include "platform/path.h"
#include "platform/trash.h"

namespace platform {

TreeSize measureAll(const std::vector<std::string>& paths) {
  TreeSize all;
  for (const std::string& p : paths) {
    const TreeSize one = measureTree(p);
    all.items += one.items;
    all.bytes += one.bytes;
  }
  return all;
}

RemoveReport removeItems(const std::vector<std::string>& paths,
                         const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood,
                         const RemoveProgress& progress) {
  RemoveReport report;
  std::vector<std::string> noTrash;
  const int total = static_cast<int>(paths.size());
  int done = 0;
  for (const std::string& p : paths) {
    const TrashOutcome o = moveToTrash(p);
    if (o.kind == TrashOutcome::Trashed)
      report.trashed.push_back(p);
    else if (o.kind == TrashOutcome::NoTrash)
      noTrash.push_back(p);
    else if (o.kind == TrashOutcome::Gone)
      report.gone.push_back(p);
    else
      report.failures.push_back(baseName(p) + ": " + o.error);
    if (progress.trashing) progress.trashing(++done, total);
  }
  if (noTrash.empty()) return report;
  std::vector<std::string> names;
  for (const std::string& p : noTrash) names.push_back(baseName(p));
  if (!askDeleteForGood || !askDeleteForGood(names)) return report;  // kept, as the answer says

  // What is to be deleted, counted first: the progress runs over the files
  // and folders of the trees, not over the items chosen (one folder of
  // 150,000 files is one item).
  TreeSize whole;
  for (const std::string& p : noTrash) {
    bool stopped = false;
    const TreeSize before = whole;
    const TreeSize one = measureTree(p, &stopped, [&](const TreeSize& soFar) {
      return !progress.counting || progress.counting({before.items + soFar.items, before.bytes + soFar.bytes});
    });
    whole.items += one.items;
    whole.bytes += one.bytes;
    if (stopped) {
      report.stopped = true;
      report.notDeleted = noTrash;
      report.leftForGood = measureAll(noTrash);
      return report;
    }
  }
  report.toDeleteForGood = whole;
  for (size_t i = 0; i < noTrash.size(); ++i) {
    const std::string& p = noTrash[i];
    std::string error;
    TreeSize removed;
    const TreeSize before = report.removedForGood;
    std::vector<std::string> mountPoints;
    const DeleteResult result = deleteForGood(
        p, error, removed,
        [&](const TreeSize& soFar) {
          return !progress.deleting ||
                 progress.deleting({before.items + soFar.items, before.bytes + soFar.bytes}, whole);
        },
        &mountPoints);
    report.removedForGood.items += removed.items;
    report.removedForGood.bytes += removed.bytes;
    report.otherVolumes.insert(report.otherVolumes.end(), mountPoints.begin(), mountPoints.end());
    if (result == DeleteResult::Done) {
      if (mountPoints.empty()) report.deletedForGood.push_back(p);  // else it stays, holding them
    } else if (result == DeleteResult::Stopped) {
      report.stopped = true;
      report.notDeleted.assign(noTrash.begin() + static_cast<std::ptrdiff_t>(i), noTrash.end());
      break;
    } else if (error.compare(0, p.size() + 1, withoutTrailingDelim(p) + ":") == 0) {
      report.failures.push_back(baseName(p) + error.substr(withoutTrailingDelim(p).size()));
    } else {
      report.failures.push_back(baseName(p) + ": only partly deleted, stopped at " + error);
    }
  }
  if (report.stopped) report.leftForGood = measureAll(report.notDeleted);
  return report;
}

}  // namespace platform
