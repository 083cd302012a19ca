#pragma once
// Usage reports of a folder, written by TlrCalcUsage when it is given a file
// name. The format follows the name's extension (case does not matter):
//   .csv          RFC 4180, UTF-8: a few lines naming the folder, the time
//                 and the options, an empty line, a header, one line per
//                 entry, and the totals; a cell that starts with = + - @ gets
//                 a leading apostrophe so that no spreadsheet runs it.
//   .json         the export format of ncdu (version 1.2 of its dump): the
//                 whole tree with every file, as ncdu and gdu import it;
//                 names are written as ncdu writes them, raw bytes included.
//   .html, .htm   one self-contained page (XHTML, no scripts), every name
//                 escaped, figures right-aligned, a bar per row.
//   anything else plain text in aligned columns.
// A report is written to a temporary file beside the target and renamed onto
// it only when complete; when it cannot be written nothing is left behind and
// a file already there stays as it was.
#include <optional>
#include <string>

#include "tlr32/walker.h"

namespace tlr {

struct ReportOptions {
  int depth = 0;                // rows below the folder's entries: 0 none, -1 all
  std::string targetDrive;      // "none" or "D: (/mnt/d)"
  uint64_t clusterSize = 0;     // the unit disk bytes are rounded to
  bool customCluster = false;
  std::string fileSpec;         // "off" or the patterns in force
  std::string programVersion;   // for the JSON header
};

enum class ReportFormat { Csv, Json, Html, Text };
ReportFormat reportFormatFor(const std::string& fileName);
// By name: "csv", "json", "html", "text"; nothing for any other name.
std::optional<ReportFormat> reportFormatNamed(const std::string& name);

// Walks folder (on its own, one thread) with the counting rules of settings
// and writes the report. False when the folder cannot be read or the file
// cannot be written; error then names the path and the reason
// ("cannot read /srv: Permission denied").
// total receives the folder's figures (the same as the engine's walk gives).
// fileError, when given, receives the errno of a report file that could not
// be written (left alone when the folder failed). The file replaced keeps its
// mode, and a link to it stays a link (ReplacingFile).
bool writeReport(const std::string& folder, const std::string& file, const WalkSettings& settings,
                 const ReportOptions& options, Figures& total, std::string& error, int* fileError = nullptr);

// The same report written to the open descriptor fd (from its current
// position, left open, no temporary file), for a host that sends it down a
// pipe. Nothing is written when the folder cannot be read.
bool writeReportTo(int fd, ReportFormat format, const std::string& folder, const WalkSettings& settings,
                   const ReportOptions& options, Figures& total, std::string& error);

}  // namespace tlr
