// Reading a large saved scan: writes one of about the size asked for (a
// volume's worth of folders and files), then reads the rows of one folder
// from it and prints the time and the peak memory. Usage:
//   scan_read_bench FILE [MEGABYTES [FOLDER [RUNS]]]
// writes FILE when it does not exist; reads FOLDER (default /vol, the folder
// of the written scan) RUNS times (default 1) and gives the median.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "scan/scan_reader.h"

namespace {

long peakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// /vol with 64 top folders, each of folders of 200 files, until the size.
void writeScan(const std::string& file, uint64_t bytes) {
  std::FILE* f = std::fopen(file.c_str(), "w");
  std::fputs("[1,2,{\"progname\":\"bench\",\"timestamp\":1},\n[{\"name\":\"/vol\",\"dsize\":4096}", f);
  uint64_t written = 0, n = 0;
  for (int top = 0; written < bytes; top = (top + 1) % 64) {
    std::fprintf(f, ",\n[{\"name\":\"top%d-%llu\",\"dsize\":4096,\"mtime\":1600000000}", top,
                 static_cast<unsigned long long>(n));
    for (int d = 0; d < 50 && written < bytes; ++d) {
      written += static_cast<uint64_t>(std::fprintf(f, ",\n[{\"name\":\"dir%d\",\"dsize\":4096}", d));
      for (int i = 0; i < 200; ++i, ++n)
        written += static_cast<uint64_t>(std::fprintf(
            f, ",\n{\"name\":\"file-%llu.dat\",\"asize\":%llu,\"dsize\":%llu,\"ino\":%llu,\"mtime\":1700000000}",
            static_cast<unsigned long long>(n), static_cast<unsigned long long>(n % 100000),
            static_cast<unsigned long long>((n % 100000 + 4095) / 4096 * 4096), static_cast<unsigned long long>(n)));
      std::fputs("]", f);
    }
    std::fputs("]", f);
  }
  std::fputs("]]\n", f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: scan_read_bench FILE [MEGABYTES [FOLDER [RUNS]]]\n");
    return 2;
  }
  const std::string file = argv[1];
  const uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  const std::string folder = argc > 3 ? argv[3] : "/vol";
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  struct stat st;
  if (::stat(file.c_str(), &st) != 0) writeScan(file, megabytes << 20);
  ::stat(file.c_str(), &st);
  const long before = peakKiB();
  scan::ReadSettings s;
  s.clusterSize = 4096;
  scan::ScanResult r;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    r = scan::readScan(file, folder, s);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(times.begin(), times.end());
  const double seconds = times[times.size() / 2];
  if (!r.ok()) {
    std::fprintf(stderr, "%s\n", r.message.c_str());
    return 1;
  }
  std::printf("scan %.0f MB, %zu rows: read in %.3f s (%.0f MB/s), peak memory %ld KiB (%ld KiB before)\n",
              static_cast<double>(st.st_size) / 1e6, r.baseline.rows.size(), seconds,
              static_cast<double>(st.st_size) / 1e6 / seconds, peakKiB(), before);
  return 0;
}
