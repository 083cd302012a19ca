#include "cli/command_line.h"

#include <climits>
#include <getopt.h>

namespace cli {

const char* const kUsage =
    "Usage: tallorin-report [OPTION]... FOLDER\n"
    "Writes a disk usage report of FOLDER: for each entry of the folder the bytes it\n"
    "takes on disk, the bytes its files hold, its folders, files and newest date.\n"
    "\n"
    "  -o, --output=FILE    write the report to FILE, in the format its extension\n"
    "                       names: .csv, .json, .html or .htm, else plain text;\n"
    "                       FILE is replaced only by a complete report.\n"
    "                       -o - writes to standard output (the default); a\n"
    "                       device, a pipe or a descriptor (/dev/stdout,\n"
    "                       /dev/fd/N) is written to, never replaced\n"
    "      --format=FORMAT  the format on standard output, or on a device, pipe\n"
    "                       or descriptor given to -o: text (the default), csv,\n"
    "                       json or html\n"
    "      --depth=N        rows for N levels below the folder's entries too;\n"
    "                       0 (the default) none, up to 2147483647, all for every\n"
    "                       level\n"
    "      --allocated      disk bytes as the blocks the file system allocated\n"
    "      --compare=SCAN   compare with SCAN, a JSON export written earlier (by\n"
    "                       tallorin-report -o FILE.json, the window, ncdu -o or\n"
    "                       gdu -o): a Change column of disk bytes after the disk\n"
    "                       bytes, \"new\" for an entry SCAN lacks, SCAN's entries\n"
    "                       that are gone marked \"gone\", largest growth first;\n"
    "                       for the text, CSV and HTML reports of the folder's\n"
    "                       entries (not with --depth or JSON)\n"
    "  -q, --quiet          no progress on standard error\n"
    "      --help           show this help and end\n"
    "      --version        show the version and end\n"
    "\n"
    "Exit status: 0 when the report is written; 1 when FOLDER or SCAN cannot be\n"
    "read or the report cannot be written; 2 for wrong usage.\n";

namespace {

enum LongOnly { kFormat = 256, kDepth, kAllocated, kHelp, kVersion, kCompare };

// Digits only, or "all": a sign, a blank or a fraction is a typing slip
// the program should not guess at.
bool parseDepth(const std::string& text, int& depth) {
  if (text == "all") {
    depth = -1;
    return true;
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const auto first = text.find_first_not_of('0');
  const std::string digits = first == std::string::npos ? "0" : text.substr(first);
  const std::string max = std::to_string(INT_MAX);
  if (digits.size() > max.size() || (digits.size() == max.size() && digits > max)) return false;
  depth = std::stoi(digits);
  return true;
}

// The option getopt stopped at: a short one by its letter, a long one as written.
std::string optionText(char** argv, int shortOption) {
  if (shortOption > 0 && shortOption < 256) return std::string("-") + static_cast<char>(shortOption);
  std::string text = argv[optind - 1];
  return text.substr(0, text.find('='));
}

}  // namespace

Action parseCommandLine(int argc, char** argv, ReportRequest& request, std::string& error) {
  static const option kLong[] = {
      {"output", required_argument, nullptr, 'o'},   {"format", required_argument, nullptr, kFormat},
      {"depth", required_argument, nullptr, kDepth}, {"allocated", no_argument, nullptr, kAllocated},
      {"quiet", no_argument, nullptr, 'q'},          {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},   {"compare", required_argument, nullptr, kCompare},
      {nullptr, 0, nullptr, 0}};
  opterr = 0;  // our own messages, one line each
  optind = 0;  // a fresh scan (GNU: 0 also resets its internal state)
  for (;;) {
    int longIndex = -1;
    const int c = getopt_long(argc, argv, ":o:q", kLong, &longIndex);
    if (c == -1) break;
    switch (c) {
      case 'o':
        if (*optarg == '\0') {
          error = "no report FILE given: the name given to -o is empty";
          return Action::UsageError;
        }
        request.output = optarg;
        break;
      case 'q': request.quiet = true; break;
      case kFormat: {
        const std::string f = optarg;
        if (f != "csv" && f != "json" && f != "html" && f != "text") {
          error = "unknown format '" + f + "' (csv, json, html or text)";
          return Action::UsageError;
        }
        request.format = f;
        request.formatGiven = true;
        break;
      }
      case kDepth:
        if (!parseDepth(optarg, request.depth)) {
          error = "--depth takes a whole number from 0 to " + std::to_string(INT_MAX) + ", or all, not '" +
                  std::string(optarg) + "'";
          return Action::UsageError;
        }
        break;
      case kAllocated: request.allocated = true; break;
      case kCompare:
        if (*optarg == '\0') {
          error = "no SCAN given: the name given to --compare is empty";
          return Action::UsageError;
        }
        request.compare = optarg;
        break;
      case kHelp: return Action::Help;
      case kVersion: return Action::Version;
      case ':':
        error = "option '" + optionText(argv, optopt) + "' needs a value";
        return Action::UsageError;
      default:
        error = "unknown option '" + optionText(argv, optopt) + "'";
        return Action::UsageError;
    }
  }
  if (optind >= argc) {
    error = "no FOLDER given";
    return Action::UsageError;
  }
  if (argc - optind > 1) {
    error = "one FOLDER only, not also '" + std::string(argv[optind + 1]) + "'";
    return Action::UsageError;
  }
  request.folder = argv[optind];
  if (!request.compare.empty() && request.depth != 0) {
    error = "--compare lists the folder's entries only; it takes no --depth";
    return Action::UsageError;
  }
  if (request.folder.empty()) {
    error = "no FOLDER given: its name is empty";
    return Action::UsageError;
  }
  return Action::Report;
}

std::string formatForFileName(const std::string& fileName) {
  const auto slash = fileName.rfind('/');
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "text";
  std::string ext = fileName.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (ext == "csv" || ext == "json" || ext == "html") return ext;
  return ext == "htm" ? "html" : "text";
}

}  // namespace cli
