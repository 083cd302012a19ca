#pragma once
// The desktop's trash, in the freedesktop.org layout that file managers share:
// the home trash ($XDG_DATA_HOME/Trash, a folder or a link to one of the
// user's) for items on its volume, otherwise the volume's own
// ($topdir/.Trash/$uid when the administrator made one, else
// $topdir/.Trash-$uid). The volume is where the item really is: its folder
// with links resolved, on the mount that holds it. Each trashed item gets its
// .trashinfo, so the desktop's trash can put it back. Links are moved as
// links; nothing a link points to is ever touched.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct TrashOutcome {
  // NoTrash: its volume has no trash the user may have (none can be made
  // there, something else stands where it would go, or the item is a mount
  // point, which cannot leave its place); only then may it be deleted for
  // good instead. Failed: anything else, such as a full or read-only volume,
  // with the reason. Gone: another program removed the item first; there is
  // nothing to do.
  enum Kind { Trashed, NoTrash, Failed, Gone } kind = Failed;
  std::string error;      // why not, for NoTrash and Failed
  std::string trashedAs;  // the item's path inside the trash, for Trashed
  std::string infoFile;   // its .trashinfo, for Trashed
};

// Moves one item into the trash of its volume.
TrashOutcome moveToTrash(const std::string& path);

// The home trash folder (not created here).
std::string homeTrashFolder();

// What a deletion for good has to remove or has removed: entries (files,
// folders, links; a folder counts itself) and the bytes of the files.
struct TreeSize {
  uint64_t items = 0;
  uint64_t bytes = 0;
};

// Deleting for good never leaves the volume of the folder the item lies in,
// as rm --one-file-system: a mount point inside (of another volume, or
// another mount of the same one, or the item itself when it is one) is
// neither counted nor entered nor removed, and the folders that hold one
// stay, so they are not counted either. Any depth is walked, with a bounded
// number of open descriptors.

// Counts what is at path, links as links (a link is one entry of no bytes).
// keepGoing sees the count after every entry; when it says false the
// counting stops and *stopped is set.
TreeSize measureTree(const std::string& path, bool* stopped = nullptr,
                     const std::function<bool(const TreeSize& soFar)>& keepGoing = {});
TreeSize measureAll(const std::vector<std::string>& paths);

// Deletes an item for good: a folder with everything inside it, depth first,
// relative to folder descriptors, links as links (never what they point to).
// progress sees what has been removed after every entry; when it says false
// the deletion stops before the next entry (Stopped). Failed stops at the
// first entry that cannot be removed and says which and why in error.
// removed gets what is gone in every case, otherVolumes the mount points met
// (Done then leaves them and the folders that hold them).
enum class DeleteResult { Done, Stopped, Failed };
DeleteResult deleteForGood(const std::string& path, std::string& error, TreeSize& removed,
                           const std::function<bool(const TreeSize& removedSoFar)>& progress = {},
                           std::vector<std::string>* otherVolumes = nullptr);

// Moving items to the trash as the Delete command does: each item to the
// trash; items that have no usable trash are named to askDeleteForGood once,
// all together, and deleted for good only on its yes. Failures come back as
// "name: reason" lines; nothing is removed without an answer.
struct RemoveReport {
  std::vector<std::string> trashed;
  std::vector<std::string> deletedForGood;
  std::vector<std::string> failures;  // "name: reason"
  std::vector<std::string> gone;      // removed by another program first: not a failure
  // Deleting for good: what there was to delete, what went, and when the
  // user stopped it, what is left and the items it is left in.
  bool stopped = false;
  TreeSize toDeleteForGood, removedForGood, leftForGood;
  std::vector<std::string> notDeleted;  // whole or in part, after a stop
  // Mount points met while deleting for good, by path: left whole, and the
  // items that hold them stay (they are in no other list).
  std::vector<std::string> otherVolumes;
};
// What a removal shows while it works; each may be empty. Call order:
// trashing after every item; then, after a yes, counting while the trees to
// delete for good are counted, then deleting after every entry removed.
// counting and deleting stop the work by answering false.
struct RemoveProgress {
  std::function<void(int done, int total)> trashing;
  std::function<bool(const TreeSize& countedSoFar)> counting;
  std::function<bool(const TreeSize& removedSoFar, const TreeSize& total)> deleting;
};
RemoveReport removeItems(const std::vector<std::string>& paths,
                         const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood,
                         const RemoveProgress& progress = {});

}  // namespace platform
