// A fake engine steered by the environment, for the window's tests:
//   FAKE_FAIL_NAME   a path whose last name is this fails...
//   FAKE_FAIL_CODE   ...with this code (default -1)
//   FAKE_MAP_DRIVE   what the option "MapDrive" reads
//   FAKE_DISK_FREE, FAKE_DISK_TOTAL, FAKE_SIZE_FACTOR, FAKE_CLUSTER  volume figures
//   FAKE_DLG_REPORT, FAKE_DLG_OPTIONS, FAKE_DLG_CLUSTERS, FAKE_DLG_FILESPEC
//                    what the dialogs answer (default 0)
//   FAKE_REPORT_NAME what TlrGetReportFileName gives; FAKE_REPORT_CODE what a
//                    computation with a report file returns (default 0);
//                    FAKE_REPORT_ERROR what the option "ReportError" reads
//   FAKE_FILESPEC_ON, FAKE_CUSTOM_CLUSTERS_ON  the engine's state
//   FAKE_CALC_MS     how long each computation takes (default 0), as a slow
//                    disk would make it
//   FAKE_VANISH_NAME a path whose last name is this is removed (as another
//                    program would, between the listing and the sizing) and
//                    answered -1
//   FAKE_UNREADABLE_NAME  a folder of this name answers as an unreadable one:
//                    itself counted, nothing inside
//   FAKE_VOLUME_BY_DEVICE  the volume figures are those of the device the
//                    path is reckoned on (a folder's own, anything else its
//                    folder's), as the real engine's: free space the device
//                    number, file system "dev" and the number
// Every other path is one file of (name length) bytes on 4,096 disk bytes.
// FakeCalcCount() tells how many computations were asked for,
// FakeReportCount() how many of them asked for a report, and
// FakeLastDriveIndex() the drive index the last option dialog received.
// FakeSetCalcHook(f) has f called with the path at the start of every
// computation (tests look at the window in the middle of a refresh).
// FakeOverlappingCalls() counts calls made while another thread computed.
// FakeBatchCalcs() counts the computations made inside a batch
// (TlrBeginBatch to TlrEndBatch), FakeBatchOpen() tells whether one is open.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tlr32/tlr32.h"

namespace {
std::string g_last;
std::atomic<int> g_calls{0};  // counted on the sizing thread, read by the test
int g_reports = 0;
int32_t g_driveIndex = 12345;
std::string g_reportName;
void (*g_hook)(const char*) = nullptr;
bool g_unreadable = false;
dev_t g_device = 0;  // of the last path's volume, FAKE_VOLUME_BY_DEVICE
std::string g_fsName;
int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : fallback;
}
// A call made while another thread computes: the real engine would hold it
// until the computation ends.
std::atomic<std::thread::id> g_computing{};
std::atomic<int> g_overlapping{0};
std::atomic<bool> g_batchOpen{false};
std::atomic<int> g_batchCalcs{0};
void noteCall() {
  const std::thread::id computing = g_computing.load();
  if (computing != std::thread::id() && computing != std::this_thread::get_id()) ++g_overlapping;
}
struct Computing {
  Computing() { g_computing = std::this_thread::get_id(); }
  ~Computing() { g_computing = std::thread::id(); }
};
std::string lastName() { return g_last.substr(g_last.rfind('/') + 1); }
bool nameIs(const char* variable) {
  const char* v = std::getenv(variable);
  return v && lastName() == v;
}
}  // namespace

extern "C" {
TLR_API int32_t FakeCalcCount(void) { return g_calls; }
TLR_API int32_t FakeReportCount(void) { return g_reports; }
TLR_API int32_t FakeLastDriveIndex(void) { return g_driveIndex; }
TLR_API void FakeSetCalcHook(void (*hook)(const char*)) { g_hook = hook; }
TLR_API int32_t FakeOverlappingCalls(void) { return g_overlapping; }
TLR_API int32_t FakeBatchCalcs(void) { return g_batchCalcs; }
TLR_API int32_t FakeBatchOpen(void) { return g_batchOpen ? 1 : 0; }
int32_t TlrBeginBatch(void) {
  noteCall();
  g_batchOpen = true;
  return 1;
}
int32_t TlrEndBatch(void) {
  noteCall();
  g_batchOpen = false;
  return 1;
}
int32_t TlrExtInit(const char*) { return 1; }
int32_t TlrCalcUsage(const char* path, const char* report) {
  noteCall();
  const Computing computing;
  ++g_calls;
  if (g_batchOpen) ++g_batchCalcs;
  g_last = path;
  if (g_hook) g_hook(path);
  if (const int ms = envInt("FAKE_CALC_MS", 0); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  g_unreadable = nameIs("FAKE_UNREADABLE_NAME");
  if (nameIs("FAKE_VANISH_NAME")) {
    ::unlink(path);
    ::rmdir(path);
    return -1;
  }
  if (std::getenv("FAKE_VOLUME_BY_DEVICE")) {
    struct stat st;
    if (::lstat(path, &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) {
      const std::string folder = g_last.substr(0, g_last.rfind('/') + 1);
      if (::stat(folder.c_str(), &st) != 0) return -1;
    }
    g_device = st.st_dev;
    g_fsName = "dev" + std::to_string(static_cast<unsigned long long>(g_device));
  }
  if (report && *report) {
    ++g_reports;
    return envInt("FAKE_REPORT_CODE", 0);
  }
  const char* fail = std::getenv("FAKE_FAIL_NAME");
  if (fail && lastName() == fail) return envInt("FAKE_FAIL_CODE", -1);
  return 0;
}
int32_t TlrGetStatVal(const char* key) {
  noteCall();
  const std::string k = key;
  if (g_unreadable) {
    if (k == "Directories" || k == "UnreadableDirectories") return 1;
    if (k == "Files") return 0;
  }
  if (std::getenv("FAKE_VOLUME_BY_DEVICE")) {
    if (k == "DiskFree") return static_cast<int32_t>(g_device % 1000000) + 1;
    if (k == "DiskTotal") return 2000000;
  }
  if (k == "Files") return 1;
  if (k == "ClusterSize") return envInt("FAKE_CLUSTER", 4096);
  if (k == "SizeFactor") return envInt("FAKE_SIZE_FACTOR", 1024);
  if (k == "DiskFree") return envInt("FAKE_DISK_FREE", 4000000);
  if (k == "DiskTotal") return envInt("FAKE_DISK_TOTAL", 100000000);
  return 0;
}
double TlrGetStatValF(const char* key) {
  const std::string k = key;
  if (g_unreadable) return 0;
  if (k == "FileBytes") return static_cast<double>(lastName().size());
  if (k == "DiskBytes") return 4096;
  return 0;
}
int32_t TlrGetFileTime(uint64_t* t) {
  *t = 133000000000000000ULL;
  return 1;
}
int32_t TlrGetOption(const char* name, int32_t) {
  noteCall();
  if (std::strcmp(name, "ReportError") == 0) return envInt("FAKE_REPORT_ERROR", 0);
  return std::strcmp(name, "MapDrive") == 0 ? envInt("FAKE_MAP_DRIVE", 0) : 0;
}
int32_t TlrSetOption(const char*, const char*) { return 0; }
const char* TlrGetFileSysName(void) { return std::getenv("FAKE_VOLUME_BY_DEVICE") ? g_fsName.c_str() : "fakefs"; }
const char* TlrGetReportFileName(void) {
  const char* name = std::getenv("FAKE_REPORT_NAME");
  g_reportName = name ? name : "";
  return g_reportName.c_str();
}
int32_t TlrIsCustomCluster(void) { return 0; }
int32_t TlrCustomClustersOn(void) { return envInt("FAKE_CUSTOM_CLUSTERS_ON", 0); }
int32_t TlrFileSpecOn(void) { return envInt("FAKE_FILESPEC_ON", 0); }
int32_t TlrSaveSettings(void) { return 1; }
int32_t TlrDlgComputeOptions(uintptr_t, int32_t drive) {
  g_driveIndex = drive;
  return envInt("FAKE_DLG_OPTIONS", 0);
}
int32_t TlrDlgClusterSizes(uintptr_t, int32_t drive) {
  g_driveIndex = drive;
  return envInt("FAKE_DLG_CLUSTERS", 0);
}
int32_t TlrDlgFileSpec(uintptr_t) { return envInt("FAKE_DLG_FILESPEC", 0); }
int32_t TlrDlgReportUsage(uintptr_t, int32_t) { return envInt("FAKE_DLG_REPORT", 0); }
}
