#pragma once
// An earlier state of one folder's entries, kept to show what changed since:
// from the window's own snapshots or from a saved scan (a JSON export). Plain
// C++, no Qt: the window and the command-line report both use it.
#include <cstdint>
#include <string>
#include <vector>

namespace scan {

// One entry of the folder as it was, with the figures the window shows for
// it: its whole subtree, counted by the engine's rules.
struct BaselineRow {
  std::string name;        // the entry's name, its raw bytes
  uint64_t diskBytes = 0;
  uint64_t fileBytes = 0;
  uint64_t folders = 0;    // folders inside the entry (the Directories column)
  uint64_t files = 0;
  int64_t modified = 0;    // newest change, seconds since 1970 UTC; 0 unknown
  bool folder = false;
};

struct Baseline {
  std::vector<BaselineRow> rows;
};

}  // namespace scan
