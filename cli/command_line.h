#pragma once
// The command line of tallorin-report, read into plain values.
#include <string>

namespace cli {

struct ReportRequest {
  std::string folder;
  std::string output;         // empty or "-": standard output
  std::string format = "text";  // for standard output: csv, json, html, text
  bool formatGiven = false;
  int depth = 0;              // the engine's report depth: 0 none, N levels, -1 all
  bool allocated = false;
  bool quiet = false;
  std::string compare;        // a saved scan (JSON export) to compare with; empty: none
  bool toStandardOutput() const { return output.empty() || output == "-"; }
};

enum class Action { Report, Help, Version, UsageError };

// Reads argv. On a usage error, error holds the one-line reason. Whether
// --format fits the output is for the caller, who can look at the file.
Action parseCommandLine(int argc, char** argv, ReportRequest& request, std::string& error);

// The format a report file's name asks for, as the engine reads it: .csv,
// .json, .html or .htm (any case), else "text". For a name the program
// writes to directly (a device, a pipe, a descriptor), where the engine does
// not choose.
std::string formatForFileName(const std::string& fileName);

extern const char* const kUsage;

}  // namespace cli
