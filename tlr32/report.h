#pragma once
// Usage reports of a folder, written by TlrCalcUsage when it is given a file
// name. The format follows the name's extension (case does not matter):
//   .csv          RFC 4180, UTF-8: a few lines naming the folder, the time
//                 and the options, an empty line, a header, the totals (Type
//                 "Total"), then one line per entry, largest first; names
//                 that are not UTF-8 have their stray bytes replaced.
//   .json         the export format of ncdu (version 1.2 of its dump): the
//                 whole tree with every file, as ncdu and gdu import it;
//                 names are written as ncdu writes them, raw bytes included.
//   .html, .htm   one self-contained page (XHTML): the totals, then a table
//                 of the entries, largest first, with human sizes, exact
//                 bytes, shares and bars; a small script inside sorts it by a
//                 clicked column. Every name escaped, nothing loaded from
//                 outside.
//   anything else plain text: the totals, then aligned columns, one line an
//                 entry whatever its name holds.
// Rows come largest first (disk bytes, then name); rows of a deeper report
// sit under their parent in the same order. The report is written from the
// engine's parallel walk, one walk for the figures and the report, and the
// same tree gives the same report whatever the number of threads.
// A report is written to a temporary file beside the target and renamed onto
// it only when complete; when it cannot be written nothing is left behind and
// a file already there stays as it was.
#include <optional>
#include <string>

#include "scan/scan_read_ahead.h"
#include "tlr32/walker.h"

namespace tlr {

struct ReportOptions {
  int depth = 0;                // rows below the folder's entries: 0 none, -1 all
  std::string targetDrive;      // "none" or "D: (/mnt/d)"
  uint64_t clusterSize = 0;     // the unit disk bytes are rounded to
  bool customCluster = false;
  std::string fileSpec;         // "off" or the patterns in force
  std::string programVersion;   // for the JSON header
  // A saved scan of the folder to compare with: the CSV, HTML and text
  // reports then list the folder's entries only, each with its change of
  // disk bytes ("new" for an entry the scan lacks), largest growth first,
  // then the scan's entries that are gone. The JSON export is unchanged.
  // The scan may still be being read while the folder is walked; a scan
  // that cannot be read fails the report, with the reader's message.
  scan::ScanReadAhead* compare = nullptr;
};

enum class ReportFormat { Csv, Json, Html, Text };
ReportFormat reportFormatFor(const std::string& fileName);
// By name: "csv", "json", "html", "text"; nothing for any other name.
std::optional<ReportFormat> reportFormatNamed(const std::string& name);

// Walks folder on pool with the counting rules of settings and writes the
// report. False when the folder cannot be read or the file cannot be
// written; error then names the path and the reason ("cannot read /srv:
// Permission denied"). total receives the folder's figures (the same as a
// walk without a report gives). fileError, when given, receives the errno of
// a report file that could not be written (left alone when the folder
// failed). The file replaced keeps its mode, and a link to it stays a link.
bool writeReport(WorkerPool& pool, const std::string& folder, const std::string& file, const WalkSettings& settings,
                 const ReportOptions& options, Figures& total, std::string& error, int* fileError = nullptr);

// The same report written to the open descriptor fd (from its current
// position, left open, no temporary file), for a host that sends it down a
// pipe. Nothing is written when the folder cannot be read.
bool writeReportTo(WorkerPool& pool, int fd, ReportFormat format, const std::string& folder,
                   const WalkSettings& settings, const ReportOptions& options, Figures& total, std::string& error);

}  // namespace tlr
