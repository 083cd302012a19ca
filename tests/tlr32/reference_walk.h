#pragma once
// A plain single-threaded walk that sizes a path by the engine's documented
// rules, written independently of the engine so the two can be compared.
#include <cstdint>
#include <string>

struct ReferenceFigures {
  int64_t dirs = 0, files = 0;
  uint64_t fileBytes = 0, diskBytes = 0;
  int64_t newestSec = 0;
  long newestNsec = 0;
};

// cluster: rounding unit of regular files (ignored when allocated is true).
ReferenceFigures referenceWalk(const std::string& path, uint64_t cluster, bool allocated);
