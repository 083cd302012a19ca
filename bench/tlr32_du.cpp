// Sizes one path through the engine's C interface and prints the figures, so
// that it can be timed side by side with du, ncdu and gdu.
//   tlr32_du [-a] PATH     (-a: disk bytes as allocated blocks, like du)
#include <cstdio>
#include <cstring>

#include "tlr32/tlr32.h"

int main(int argc, char* argv[]) {
  int arg = 1;
  bool allocated = false;
  if (arg < argc && std::strcmp(argv[arg], "-a") == 0) {
    allocated = true;
    ++arg;
  }
  if (arg >= argc) {
    std::fprintf(stderr, "usage: tlr32_du [-a] PATH\n");
    return 2;
  }
  TlrExtInit("");
  TlrSetOption("MapDrive", "0");
  TlrSetOption("FileSpecOn", "0");
  TlrSetOption("AllocatedBlocks", allocated ? "1" : "0");
  int rc = TlrCalcUsage(argv[arg], nullptr);
  if (rc < 0) {
    std::fprintf(stderr, "tlr32_du: cannot size %s (code %d)\n", argv[arg], rc);
    return 1;
  }
  std::printf("%.0f\t%.0f\t%d\t%d\t%s\n", TlrGetStatValF("DiskBytes"), TlrGetStatValF("FileBytes"),
              TlrGetStatVal("Directories"), TlrGetStatVal("Files"), argv[arg]);
  return 0;
}
