#pragma once
// Reads one folder's rows out of a saved scan: a JSON export in the format
// the reports write with .json (and that other disk-usage tools write and
// read). The file is read as a stream, never held whole: memory grows with
// the folder's entries and the files with several names inside it, not with
// the file (a scan of a whole volume is a gigabyte of text).
//
// Each row is one entry directly inside the folder, with its whole subtree
// summed by the engine's counting rules (tlr32/walker.h):
// - folders: the folders inside the entry, the entry not counted, except a
//   folder entry that could not be read at all, which counts itself (1);
// - files: every entry that is not a folder, regular or not, unless the
//   settings' file filter leaves it out or the scan marks it excluded;
// - file bytes: regular files' sizes ("asize");
// - disk bytes: regular files' sizes rounded up to the cluster size, or,
//   counting allocated blocks, "dsize" of every entry, folders included;
// - a file with several names (marked with "hlnkc", by device and inode)
//   counts its bytes once in the folder, at the first name met: in the order
//   of the folder's listing (as the window computes them; the order the
//   scan gives the entries in, or the places the engine's own reports write
//   as "tallorin_at") or, for a
//   report, at the first name by path; a name marked without a count of
//   names ("nlink") is one whose bytes the scan gave to another name, and
//   counts as a file without bytes;
// - the newest date of the entry and everything in it.
// Reentrant: any number of reads may run at once on any threads.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "scan/baseline.h"

namespace scan {

enum class DiskCounting {
  ClusterRounded,   // regular files' sizes rounded up to clusterSize
  AllocatedBlocks,  // the blocks the file system allocated, every entry
};

enum class SharedFileOrder {
  Listing,  // the first name in the scan's order, as the window counts
  Path,     // the first name by its path's bytes, as a report counts
};

struct ReadSettings {
  DiskCounting counting = DiskCounting::ClusterRounded;
  uint64_t clusterSize = 0;  // 0: no rounding
  SharedFileOrder sharedOrder = SharedFileOrder::Listing;
  // Which file names count (the engine's file specification); empty: every
  // file. Folders always count.
  std::function<bool(std::string_view name)> fileCounts;
  // Set from another thread to stop the read soon; it then ends Cancelled.
  const std::atomic<bool>* stop = nullptr;
};

enum class ScanError {
  None,
  CannotOpen,     // the file cannot be opened or read
  NotJson,        // not JSON, or cut short
  NotAScan,       // JSON, but not a disk-usage export
  BadValue,       // a value no scan holds: a negative size, a name with "/"...
  FolderMissing,  // the scan does not contain the folder
  FolderTwice,    // the scan holds the folder more than once
  Cancelled,      // the stop flag was set
};

struct ScanResult {
  ScanError error = ScanError::None;
  // For a person, naming the file and the reason:
  // "cannot read the scan /tmp/a.json: it is cut short at byte 1200";
  // "the scan /tmp/a.json does not contain /srv/www". Empty when read.
  std::string message;
  Baseline baseline;     // the folder's entries, in the scan's order
  BaselineRow folder;    // the folder itself, by the same rules (name: its path in the scan)
  std::string root;      // the scan's root folder, as the scan names it
  std::string program;   // "progname" of the scan, when given
  int64_t timestamp = 0; // when the scan was made, seconds since 1970 UTC; 0 unknown
  bool ok() const { return error == ScanError::None; }
};

// Reads the rows of folder from the scan in file. folder is an absolute
// path; it is found by its components below the scan's root (raw bytes,
// matched exactly; a trailing "/" and repeated "/" do not matter). When the
// path as given is not in the scan, the path with its symbolic links
// resolved is looked for too.
ScanResult readScan(const std::string& file, const std::string& folder, const ReadSettings& settings);

// The same from text in memory; fileName only names it in messages.
ScanResult readScanText(std::string_view text, const std::string& folder, const ReadSettings& settings,
                        const std::string& fileName = "the scan");

// Whether file opens as a scan (a file, not a folder); when not, failure
// is what readScan would give.
bool scanOpens(const std::string& file, ScanResult& failure);

}  // namespace scan
