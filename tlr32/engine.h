#pragma once
// The engine behind the C interface: options, the worker pool, and the figures
// of the most recent computation. One instance per loaded library. Not thread
// safe by itself: the C exports call it under one gate, so callers on several
// threads see whole computations.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "tlr32/file_spec.h"
#include "tlr32/folder_access.h"
#include "tlr32/options.h"
#include "tlr32/volume.h"
#include "tlr32/walker.h"

namespace tlr {

class Engine {
 public:
  Engine();
  ~Engine();

  bool init(const char* helpFile);
  int32_t calcUsage(const char* path, const char* reportFile);
  // As calcUsage without a report, for an entry directly inside a folder the
  // caller holds open as folderFd: the entry is looked up in it by its name.
  int32_t calcUsageIn(int folderFd, const char* path);
  // A report to an open descriptor in a format named "csv", "json", "html" or "text".
  int32_t calcUsageToFd(const char* folder, int fd, const char* format);
  // The figure computations until endBatch() count a file with several
  // names once among them all (tlr32.h); reports walk on their own.
  bool beginBatch();
  bool endBatch();
  // Why the most recent computation failed, naming the path; empty after a success.
  const char* lastError() const { return m_lastError.c_str(); }
  int32_t statVal(const char* key);
  double statValF(const char* key);
  uint64_t fileTime();
  int32_t getOption(const char* name);
  bool setOption(const char* name, const char* value);
  const char* fileSystemName();
  bool isCustomCluster();
  bool customClustersOn();
  bool fileSpecOn();
  bool saveSettings();
  // A text option ("FileSpec", "DriveX") for the dialogs.
  std::optional<std::string> optionText(const char* name);
  void setReportFileName(const char* name) { m_reportFileName = name ? name : ""; }
  const char* reportFileName() const { return m_reportFileName.c_str(); }

 private:
  // Where a computation's report goes: nowhere, a file (atomic replace) or a descriptor.
  struct ReportTarget {
    const char* file = nullptr;
    int fd = -1;
    int format = 0;  // a ReportFormat, for fd
  };
  int32_t compute(const char* path, const ReportTarget& report, int folderFd = -1);
  const VolumeFacts& volume();  // lazily, once per computation
  WorkerPool& pool();           // created at the first folder walk
  uint64_t ownAllocationUnit(DeviceId dev, const std::string& folder);

  EngineOptions m_options;
  FileSpec m_fileSpec;
  std::string m_helpFile;
  std::unique_ptr<WorkerPool> m_pool;  // created at the first folder walk
  std::unique_ptr<SeenFiles> m_batch;  // while a batch is open
  FolderMemo m_batchFolder;            // of the batch's entries

  std::string m_reportFileName;  // chosen in the report dialog
  std::string m_compareScan;  // "CompareScan": a saved scan the reports compare with; never stored
  int m_reportError = 0;  // errno of the report file the last call failed to write ("ReportError")
  std::string m_path, m_folder;  // the path of the current call, and its folder
  std::string m_lastError;

  // The most recent computation.
  Figures m_figures;
  // The folder lies on a pseudo file system (/proc, /sys): its contents
  // were not counted ("PseudoFileSystem").
  bool m_pseudoFileSystem = false;
  uint64_t m_clusterSize = 0;
  bool m_customCluster = false;
  std::string m_volumeFolder;  // the folder whose volume the figures describe
  DeviceId m_volumeDev = 0;
  bool m_volumeDevKnown = false;
  std::optional<VolumeFacts> m_volume;
  std::string m_fsName;

  std::unordered_map<DeviceId, uint64_t> m_unitCache;
  std::unordered_map<DeviceId, std::string> m_fsNameCache;
};

}  // namespace tlr
