// Tallorin's entry. Until the main window exists, the program loads the usage
// engine and prints one line per entry of the folder given (or the current
// folder): disk bytes, file bytes, directories, files, name.
#include <QApplication>
#include <cstdio>
#include <unistd.h>

#include "engine/usage_engine.h"
#include "model/directory_list.h"
#include "platform/dynamic_library.h"
#include "platform/path.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallorin");
  TUsageEngine engine;
  if (!engine.load(nullptr, platform::executableFolder() + "TALLOR.CHM")) return 1;

  std::string folder;
  if (argc > 1) {
    folder = argv[1];
  } else {
    char cwd[4096];
    folder = getcwd(cwd, sizeof cwd) ? cwd : ".";
  }
  TDirectoryList list;
  if (!list.ReadDirectory(folder)) {
    std::fprintf(stderr, "Not a folder: %s\n", folder.c_str());
    return 2;
  }
  const std::string current = platform::withTrailingDelim(folder);
  std::printf("%16s %16s %10s %10s  %s\n", "Disk Bytes", "File Bytes", "Dirs", "Files", "Name");
  for (int i = 0; i < list.Count(); ++i) {
    TDirectoryItem* item = list.Items(i);
    if (item->GetName() == "..") continue;
    int32_t rc = engine.TlrCalcUsage(item->FullPath.c_str(), nullptr);
    if (rc < 0) {
      std::fprintf(stderr, "Cannot access %s (code %d).\n", item->FullPath.c_str(), rc);
      return 3;
    }
    std::printf("%16.0f %16.0f %10d %10d  %s\n", engine.TlrGetStatValF("DiskBytes"),
                engine.TlrGetStatValF("FileBytes"), engine.TlrGetStatVal("Directories"),
                engine.TlrGetStatVal("Files"), item->GetName().c_str());
  }
  std::printf("File system: %s, cluster size %d\n", engine.TlrGetFileSysName(), engine.TlrGetStatVal("ClusterSize"));
  return 0;
}
