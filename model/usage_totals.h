#pragma once
// What the totals panel shows, computed without the window: running sums of
// usage rows, the storage efficiency, the fit on the target drive, and which
// listing entries make rows at all.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TUsageTotals {
  int32_t files = 0;  // counts are 32-bit and wrap like the engine's
  int32_t dirs = 0;
  long double fileBytes = 0;
  long double diskBytes = 0;
  int32_t rows = 0;

  void add(int32_t rowFiles, int32_t rowDirs, long double rowFileBytes, long double rowDiskBytes);
  // The share of disk bytes that holds file data, truncated to whole per cent;
  // none while there are no disk bytes (the panel then keeps what it showed)
  // or when the figures make no number. Sparse files make it large: a 1 TiB
  // file with one 4 KiB block written is 26,843,545,600 per cent, shown as
  // such; beyond 64 bits it is clamped, never wrapped.
  std::optional<int64_t> efficiency() const;
};

// The efficiency gauge's progress, 100 - e clamped into 0..100, so that its
// sky-blue part is e per cent; any e, however large or negative.
int EfficiencyGaugeProgress(int64_t efficiency);

// How the target gauge shows a number of disk bytes against the target's
// free capacity.
struct TTargetFit {
  enum Colour { Normal, Yellow, Red };
  int progress = 0;  // 0..100
  Colour colour = Normal;
  bool operator==(const TTargetFit&) const = default;
};

// After a refresh: full and yellow when the folder does not fit, or when the
// target has no free space at all (even an empty folder then cannot be
// placed); otherwise the truncated share.
TTargetFit TargetFitAfterRefresh(long double diskBytes, long double capacity);
// For a selection: the truncated share while it fits with room to spare, full
// and yellow at exactly the capacity, full and red beyond it.
TTargetFit TargetFitOfSelection(long double diskBytes, long double capacity);

// What the engine told of one listing entry, read where it was sized.
struct TEntrySizing {
  enum Outcome {
    Skipped,     // not an entry of the folder's rows
    Sized,       // figures below
    Gone,        // vanished since the listing: no row
    OutOfReach,  // there, but not to be looked at (inside a folder that cannot be entered)
    Failed       // the engine's failure rc; the refresh stops there
  };
  Outcome outcome = Skipped;
  int index = -1;  // in the listing
  int32_t rc = 0;
  std::array<double, 4> figures{};  // disk bytes, file bytes, folders, files
  uint64_t fileTime = 0;
  bool engineUnread = false;      // the engine could not read all of it
  bool unreadableItself = false;  // a folder that cannot be opened at all
};

// Whether a listing entry belongs to the rows of folder (a path with its
// closing "/"): it lies directly inside it and is not "..".
bool IsEntryOfFolder(std::string_view fullPath, std::string_view name, std::string_view folder);
// Whether sized figures make a row: an entry with no folder, no file and less
// than one disk byte (every file excluded by the file specification, say)
// shows nothing worth a row.
bool HasUsage(int32_t dirs, int32_t files, double diskBytes);
