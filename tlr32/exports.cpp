// The C exports of libtlr32.so. Each forwards to the one Engine of this
// loaded copy of the library; the engine, and with it the worker threads, is
// destroyed when the library is unloaded (or the process ends), so the
// program may load and release the library as often as it likes.
#include <memory>
#include <mutex>

#include "tlr32/engine.h"
#include "tlr32/tlr32.h"

namespace {

std::unique_ptr<tlr::Engine> g_engine;
std::once_flag g_once;

tlr::Engine& engine() {
  std::call_once(g_once, [] { g_engine = std::make_unique<tlr::Engine>(); });
  return *g_engine;
}

__attribute__((destructor)) void shutDownEngine() { g_engine.reset(); }

}  // namespace

extern "C" {

int32_t TlrExtInit(const char* helpFile) { return engine().init(helpFile); }
int32_t TlrCalcUsage(const char* path, const char* reportFile) { return engine().calcUsage(path, reportFile); }
int32_t TlrGetStatVal(const char* key) { return engine().statVal(key); }
double TlrGetStatValF(const char* key) { return engine().statValF(key); }

int32_t TlrGetFileTime(uint64_t* fileTime) {
  if (!fileTime) return 0;
  *fileTime = engine().fileTime();
  return 1;
}

int32_t TlrGetOption(const char* name, int32_t) { return engine().getOption(name); }
int32_t TlrSetOption(const char* name, const char* value) { return engine().setOption(name, value); }
const char* TlrGetFileSysName(void) { return engine().fileSystemName(); }

// No report dialog yet, so no report file has been chosen.
const char* TlrGetReportFileName(void) { return ""; }

int32_t TlrIsCustomCluster(void) { return engine().isCustomCluster(); }
int32_t TlrCustomClustersOn(void) { return engine().customClustersOn(); }
int32_t TlrFileSpecOn(void) { return engine().fileSpecOn(); }
int32_t TlrSaveSettings(void) { return engine().saveSettings(); }

// The option and report dialogs are not built yet: each answers "nothing
// changed" so the program never recomputes or writes on their account.
int32_t TlrDlgComputeOptions(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgClusterSizes(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgFileSpec(uintptr_t) { return 0; }
int32_t TlrDlgReportUsage(uintptr_t, int32_t) { return 0; }

}  // extern "C"
