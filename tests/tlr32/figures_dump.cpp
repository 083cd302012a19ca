// The Linux engine's figures of paths below a root, for the Windows engine's
// tests to compare with: reads relative paths (one a line) from standard
// input and writes, for each, "ALLOCATED<TAB>PATH<TAB>rc dirs files
// fileBytes diskBytes fileTime" with ALLOCATED 0 and then 1 where the path is
// named with the prefix "both:" (only 0 otherwise).
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <string>

#include "tlr32/tlr32.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string root = argv[1];
  TlrExtInit("");
  for (const char* name : {"MapDrive", "CustomClusters", "FileSpecOn"}) TlrSetOption(name, "0");
  for (std::string line; std::getline(std::cin, line);) {
    const bool both = line.rfind("both:", 0) == 0;
    const std::string rel = both ? line.substr(5) : line;
    for (int allocated = 0; allocated <= (both ? 1 : 0); ++allocated) {
      TlrSetOption("AllocatedBlocks", allocated ? "1" : "0");
      const int32_t rc = TlrCalcUsage((rel.empty() ? root : root + "/" + rel).c_str(), nullptr);
      uint64_t fileTime = 0;
      TlrGetFileTime(&fileTime);
      std::printf("%d\t%s\t%d %d %d %.0f %.0f %" PRIu64 "\n", allocated, rel.c_str(), rc, TlrGetStatVal("Directories"),
                  TlrGetStatVal("Files"), TlrGetStatValF("FileBytes"), TlrGetStatValF("DiskBytes"), fileTime);
    }
  }
  return 0;
}
