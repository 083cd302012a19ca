#pragma once
// The reports people read: CSV, HTML and plain text, written from rows that
// are already in their order (largest first, children under their parent),
// and the text helpers they share.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "tlr32/walker.h"

namespace tlr {

class ReportFile;

struct ReportRow {
  std::string path;  // relative to the reported folder, '/'-separated, raw bytes
  size_t nameAt = 0; // where the last component starts in path
  Figures f;
  bool folder = false;
  int depth = 0;     // 0: an entry of the reported folder
  // Compared with a saved scan: the change of disk bytes since, or what the
  // entry is to it.
  enum class Change { Changed, New, Gone };
  Change change = Change::Changed;
  int64_t diskChange = 0;
};

struct ReportHeader {
  std::string folder;        // raw bytes
  struct timespec written {0, 0};
  std::string targetDrive;   // "none" or "D: (/mnt/d)"
  uint64_t clusterSize = 0;
  bool customCluster = false;
  bool allocatedBlocks = false;
  std::string fileSpec;      // "off" or the patterns in force
  int depth = 0;             // rows below the folder's entries: 0 none, -1 all
  // Compared with a saved scan: rows carry a Change column.
  bool compared = false;
  std::string comparedWith;  // the scan's file, raw bytes
  int64_t comparedAt = 0;    // when the scan was made, seconds since 1970; 0 unknown
  int64_t totalChange = 0;   // of the folder's disk bytes
};

// Text helpers, exposed for their tests.
std::string groupDigits(uint64_t v);             // 1234567 -> "1,234,567"
std::string humanSize(uint64_t bytes);           // "512 B", "1.5 KiB", "12.0 MiB", "3.4 GiB"
std::string isoTime(const struct timespec& t);   // UTC, "2026-12-07T13:25:38Z"; "" for kNoTime
std::string localTime(const struct timespec& t); // "7 Dec 2026 14:25", local time; "" for kNoTime
// RFC 4180 cell of a name or text as platform::visibleName shows it; a cell
// a spreadsheet would take for a formula gets a leading apostrophe.
std::string csvCell(std::string_view raw);
std::string htmlText(std::string_view utf8);  // & < > " ' as references
// A name as page text: escapes (platform::shownName) in <span class="esc">,
// a backslash of the name once.
std::string htmlName(std::string_view raw);
// A change as the reports write it: "+1,234", "-56", "0"; "new", "gone".
std::string changeText(const ReportRow& row, bool grouped);
// Puts compared rows in their order: largest growth first (a new entry
// grows by its whole size), then the gone entries, largest first.
void orderByChange(std::vector<ReportRow>& rows);

void writeCsv(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total);
void writeText(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total);
void writeHtml(ReportFile& out, const ReportHeader& h, const std::vector<ReportRow>& rows, const Figures& total);

}  // namespace tlr
