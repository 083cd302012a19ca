#pragma once
// The desktop's trash, in the freedesktop.org layout that file managers share: the home trash ($XDG_DATA_HOME/Trash) for items on the home volume,
// otherwise the volume's own ($topdir/.Trash/$uid when the administrator made
// one, else $topdir/.Trash-$uid). Each trashed item gets its .trashinfo, so the
// desktop's trash can put it back. Links are moved as links; nothing a link
// points to is ever touched.
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct TrashOutcome {
  enum Kind { Trashed, NoTrash, Failed } kind = Failed;
  std::string error;      // why not, for NoTrash and Failed
  std::string trashedAs;  // the item's path inside the trash, for Trashed
  std::string infoFile;   // its .trashinfo, for Trashed
};

// Moves one item into the trash of its volume.
TrashOutcome moveToTrash(const std::string& path);

// The home trash folder (not created here).
std::string homeTrashFolder();

// Deletes an item for good: a folder with everything inside it, depth first,
// relative to folder descriptors, links as links. Stops at the first entry
// that cannot be removed and says which and why in error. tick is called now
// and then (a long deletion keeps its progress window alive).
bool deleteForGood(const std::string& path, std::string& error, const std::function<void()>& tick = {});

// Moving items to the trash as the Delete command does: each item to the
// trash; items that have no usable trash are named to askDeleteForGood once,
// all together, and deleted for good only on its yes. Failures come back as
// "name: reason" lines; nothing is removed without an answer.
struct RemoveReport {
  std::vector<std::string> trashed;
  std::vector<std::string> deletedForGood;
  std::vector<std::string> failures;  // "name: reason"
};
RemoveReport removeItems(const std::vector<std::string>& paths,
                         const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood,
                         const std::function<void(int done, int total)>& progress = {});

}  // namespace platform
