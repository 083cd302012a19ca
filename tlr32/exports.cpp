// The C exports of libtlr32.so. Each forwards to the one Engine of this
// loaded copy of the library, through a gate that serialises the calls.
//
// Lifetime: the engine is created by the first call and has exactly one owner,
// the library's destructor function, which runs when the library is unloaded
// and, for a host that never unloads it, when the process exits (after the
// host's atexit handlers). Nothing here has a static destructor of its own:
// an earlier global std::unique_ptr was destroyed by the exit handlers and then
// again by the destructor function (a double free, or a hang on the freed
// pool's mutex).
//
// The destructor function cannot tell an unload from an exit, so it is safe
// for both:
// - no call in flight (every unload, and most exits): the workers are stopped
//   and joined, the engine freed, and the gate marks the engine ended so a
//   host thread that calls in afterwards (during exit) gets a failure answer
//   instead of a freed engine;
// - a call in flight on another host thread (exit() while that thread
//   computes): the engine is left alone, still working, and goes with the
//   process. Waiting for the call could take minutes on a large tree.
#include <mutex>

#include "tlr32/engine.h"
#include "tlr32/tlr32.h"

namespace {

// Trivially destructible, so they outlive every exit handler.
std::mutex g_gate;
tlr::Engine* g_engine = nullptr;
bool g_ended = false;

// Runs f on the engine under the gate; fallback once the engine has ended.
template <typename F, typename R>
R withEngine(F&& f, R fallback) {
  std::lock_guard lock(g_gate);
  if (g_ended) return fallback;
  if (!g_engine) g_engine = new tlr::Engine();
  return f(*g_engine);
}

__attribute__((destructor)) void shutDownEngine() {
  if (!g_gate.try_lock()) return;  // a call is in flight: the process is ending
  g_ended = true;
  delete g_engine;  // joins the idle workers
  g_engine = nullptr;
  g_gate.unlock();
}

}  // namespace

extern "C" {

int32_t TlrExtInit(const char* helpFile) {
  return withEngine([&](tlr::Engine& e) -> int32_t { return e.init(helpFile); }, 0);
}
int32_t TlrCalcUsage(const char* path, const char* reportFile) {
  return withEngine([&](tlr::Engine& e) { return e.calcUsage(path, reportFile); }, TLR_ERR_NO_PATH);
}
int32_t TlrGetStatVal(const char* key) {
  return withEngine([&](tlr::Engine& e) { return e.statVal(key); }, 0);
}
double TlrGetStatValF(const char* key) {
  return withEngine([&](tlr::Engine& e) { return e.statValF(key); }, 0.0);
}

int32_t TlrGetFileTime(uint64_t* fileTime) {
  if (!fileTime) return 0;
  return withEngine(
      [&](tlr::Engine& e) -> int32_t {
        *fileTime = e.fileTime();
        return 1;
      },
      0);
}

int32_t TlrGetOption(const char* name, int32_t) {
  return withEngine([&](tlr::Engine& e) { return e.getOption(name); }, 0);
}
int32_t TlrSetOption(const char* name, const char* value) {
  return withEngine([&](tlr::Engine& e) -> int32_t { return e.setOption(name, value); }, 0);
}
const char* TlrGetFileSysName(void) {
  return withEngine([](tlr::Engine& e) { return e.fileSystemName(); }, "");
}

// No report dialog yet, so no report file has been chosen.
const char* TlrGetReportFileName(void) { return ""; }

int32_t TlrIsCustomCluster(void) {
  return withEngine([](tlr::Engine& e) -> int32_t { return e.isCustomCluster(); }, 0);
}
int32_t TlrCustomClustersOn(void) {
  return withEngine([](tlr::Engine& e) -> int32_t { return e.customClustersOn(); }, 0);
}
int32_t TlrFileSpecOn(void) {
  return withEngine([](tlr::Engine& e) -> int32_t { return e.fileSpecOn(); }, 0);
}
int32_t TlrSaveSettings(void) {
  return withEngine([](tlr::Engine& e) -> int32_t { return e.saveSettings(); }, 0);
}

// The option and report dialogs are not built yet: each answers "nothing
// changed" so the program never recomputes or writes on their account.
int32_t TlrDlgComputeOptions(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgClusterSizes(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgFileSpec(uintptr_t) { return 0; }
int32_t TlrDlgReportUsage(uintptr_t, int32_t) { return 0; }

}  // extern "C"
