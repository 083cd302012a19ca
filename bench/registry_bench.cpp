// The settings store on a large file: a key of N values (default 107,000,
// about 10 MB) beside the window's and the engine's keys. Prints the median of
// RUNS runs (default 5) of the window's load (the file read, parsed and its
// nineteen values looked up), a placement save (seven values written) and a
// save that changes nothing (no write), and the same file with a tenth of the
// values, to show the time grows with the file, not its square.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/registry_store.h"

namespace {

const char* kSettings = "\\SOFTWARE\\Quorlan\\Tallorin\\Settings";
const char* kNames[] = {"Width",      "Height", "Left",      "Top",          "FullWidth",  "FullHeight", "WindowState",
                        "TreeViewWidth", "LVNameWidth", "ToolBar", "StatusBar", "TreeView", "Hints", "StayOnTop",
                        "SaveOnExit", "ChartVisible", "View", "SortOrder", "SortColumn"};

std::string makeFile(int values) {
  std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Quorlan\\Tallorin\\Settings]\n";
  for (const char* name : kNames) text += std::string("\"") + name + "\"=dword:00000001\n";
  text += "\n[HKEY_CURRENT_USER\\SOFTWARE\\Someone\\Big]\n";
  const std::string filler(73, 'f');
  for (int i = 0; i < values; ++i) text += "\"Value" + std::to_string(i) + "\"=\"" + filler + std::to_string(i) + "\"\n";
  return text;
}

template <typename Fn>
double medianMs(int runs, Fn fn) {
  std::vector<double> ms;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void run(const std::string& file, int values, int runs) {
  const std::string text = makeFile(values);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  volatile int sink = 0;  // the values read, so that the reads are not optimised away
  const double load = medianMs(runs, [&] {
    platform::RegistryKey key(kSettings, file);
    if (key.exists())
      for (const char* name : kNames) sink = sink + key.readInteger(name).value_or(0);
  });
  int width = 100;
  const double save = medianMs(runs, [&] {
    platform::RegistryKey key(kSettings, file);
    for (int i = 0; i < 7; ++i) key.writeInteger(kNames[i], ++width);
    if (!key.save()) std::fprintf(stderr, "save failed: %s\n", key.fileProblem().c_str());
  });
  const double same = medianMs(runs, [&] {
    platform::RegistryKey key(kSettings, file);
    for (int i = 0; i < 7; ++i) key.writeInteger(kNames[i], width);
    key.save();
  });
  std::printf("%7d values, %5.1f MB: load %7.1f ms, placement save %7.1f ms, save of unchanged values %7.1f ms\n",
              values, text.size() / 1e6, load, save, same);
}

}  // namespace

int main(int argc, char** argv) {
  const int values = argc > 1 ? std::atoi(argv[1]) : 107000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  char dir[] = "/tmp/tallorin-registry-bench-XXXXXX";
  if (!::mkdtemp(dir)) return 1;
  const std::string file = std::string(dir) + "/registry.reg";
  run(file, values / 10, runs);
  run(file, values, runs);
  ::unlink(file.c_str());
  ::rmdir(dir);
  return 0;
}
