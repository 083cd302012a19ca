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
#include <algorithm>
#include <cstring>
#include <mutex>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <optional>
#include <string>

#include "tlr32/engine.h"
#include "tlr32/progress.h"
#include "tlr32/dialogs/dialog_host.h"
#include "tlr32/tlr32.h"

namespace {

// Trivially destructible, so they outlive every exit handler.
std::mutex g_gate;
tlr::Engine* g_engine = nullptr;
bool g_ended = false;

#ifdef _WIN32
// On Windows the library stays loaded once its engine exists (it pins
// itself), so a FreeLibrary by the host never unmaps code that idle workers
// still run, and never joins them under the loader lock, which a thread needs
// to end: that deadlocks. At process end the system ends the workers itself;
// DllMain then leaves everything alone (see below).
void pinLibrary() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&pinLibrary), &self);
}
#endif

// Runs f on the engine under the gate; fallback once the engine has ended.
template <typename F, typename R>
R withEngine(F&& f, R fallback) {
  std::lock_guard lock(g_gate);
  if (g_ended) return fallback;
  if (!g_engine) {
#ifdef _WIN32
    pinLibrary();
#endif
    g_engine = new tlr::Engine();
  }
  return f(*g_engine);
}

#ifndef _WIN32
__attribute__((destructor))
#endif
void shutDownEngine() {
  if (!g_gate.try_lock()) return;  // a call is in flight: the process is ending
  g_ended = true;
  delete g_engine;  // joins the idle workers
  g_engine = nullptr;
  g_gate.unlock();
}

int32_t hostGetText(const char* name, char* buf, int32_t size) {
  const std::optional<std::string> text =
      withEngine([&](tlr::Engine& e) { return e.optionText(name); }, std::optional<std::string>());
  if (!text || !buf || size <= 0) return -1;
  const int32_t n = static_cast<int32_t>(std::min<size_t>(text->size(), static_cast<size_t>(size - 1)));
  std::memcpy(buf, text->data(), static_cast<size_t>(n));
  buf[n] = '\0';
  return n;
}

void hostSetReportFileName(const char* name) {
  withEngine(
      [&](tlr::Engine& e) {
        e.setReportFileName(name);
        return 0;
      },
      0);
}

int32_t hostGetOption(const char* name) { return TlrGetOption(name, 0); }

const TlrDialogHost kDialogHost{&hostGetOption, &TlrSetOption, &hostGetText, &hostSetReportFileName};

#ifdef _WIN32
// A function of the companion library tlr32dlg.dll beside the engine; null
// when the host has no Qt of its own or the companion is missing.
void* dialogFunction(const char* name) {
  if (!::GetModuleHandleW(L"Qt6Widgets.dll")) return nullptr;  // the engine never brings Qt in
  static HMODULE companion = [] {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&TlrExtInit), &self))
      return static_cast<HMODULE>(nullptr);
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return static_cast<HMODULE>(nullptr);
    path.resize(n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"tlr32dlg.dll";
    // Never unloaded: Qt's types of it may live on in the host.
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }();
  return companion ? reinterpret_cast<void*>(::GetProcAddress(companion, name)) : nullptr;
}
#else
// A function of the companion library libtlr32dlg.so, which lies beside the
// engine; null when the host has no Qt of its own or the companion is missing.
void* dialogFunction(const char* name) {
  // Qt must be in the host already: the engine never brings it in.
  void* qt = ::dlopen("libQt6Widgets.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!qt) return nullptr;
  ::dlclose(qt);  // only looked at
  static void* companion = [] {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&TlrExtInit), &info) || !info.dli_fname) return static_cast<void*>(nullptr);
    std::string path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "libtlr32dlg.so";
    // Never unloaded: Qt's types of it may live on in the host.
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  }();
  return companion ? ::dlsym(companion, name) : nullptr;
}
#endif

}  // namespace

extern "C" {

#ifdef _WIN32
// Unloaded by FreeLibrary (reserved is null) only before the engine exists,
// since it pins the library: nothing to stop then but the gate's mark. At
// process end (reserved set) the other threads are gone already, perhaps
// holding the gate or the pool's locks: nothing may be waited for, and the
// system frees everything.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && !reserved) shutDownEngine();
  return TRUE;
}
#endif

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

const char* TlrGetReportFileName(void) {
  return withEngine([](tlr::Engine& e) { return e.reportFileName(); }, "");
}

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

int32_t TlrCalcUsageIn(int32_t folderFd, const char* path) {
  return withEngine([&](tlr::Engine& e) { return e.calcUsageIn(folderFd, path); }, TLR_ERR_NO_PATH);
}

int32_t TlrBeginBatch(void) {
  return withEngine([](tlr::Engine& e) { return e.beginBatch() ? 1 : 0; }, 0);
}

int32_t TlrEndBatch(void) {
  return withEngine([](tlr::Engine& e) { return e.endBatch() ? 1 : 0; }, 0);
}

int32_t TlrCalcUsageToFd(const char* folder, int32_t fd, const char* format) {
  return withEngine([&](tlr::Engine& e) { return e.calcUsageToFd(folder, fd, format); }, TLR_ERR_NO_PATH);
}

// Outside the gate on purpose: it is asked while a computation holds it.
int32_t TlrGetProgress(uint64_t* counts, int32_t n) {
  if (!counts || n <= 0) return 0;
  n = std::min<int32_t>(n, tlr::Progress::kCounts);
  for (int32_t i = 0; i < n; ++i) counts[i] = tlr::progress().count(i);
  return n;
}

const char* TlrGetLastError(void) {
  return withEngine([](tlr::Engine& e) { return e.lastError(); }, "");
}

// The dialogs live in a companion library, loaded on first use, so that a
// host without Qt never loads Qt on the engine's account. They run outside the
// gate (a dialog's event loop may bring other calls) and reach the options
// through the same exports as any host.
int32_t TlrDlgComputeOptions(uintptr_t owner, int32_t drive) {
  auto fn = reinterpret_cast<TlrDialogDriveFn>(dialogFunction("tlrdlg_compute_options"));
  return fn ? fn(owner, drive, &kDialogHost) : 0;
}
int32_t TlrDlgClusterSizes(uintptr_t owner, int32_t drive) {
  auto fn = reinterpret_cast<TlrDialogDriveFn>(dialogFunction("tlrdlg_cluster_sizes"));
  return fn ? fn(owner, drive, &kDialogHost) : 0;
}
int32_t TlrDlgFileSpec(uintptr_t owner) {
  auto fn = reinterpret_cast<TlrDialogFn>(dialogFunction("tlrdlg_file_spec"));
  return fn ? fn(owner, &kDialogHost) : 0;
}
int32_t TlrDlgReportUsage(uintptr_t owner, int32_t reserved) {
  auto fn = reinterpret_cast<TlrDialogDriveFn>(dialogFunction("tlrdlg_report"));
  return fn ? fn(owner, reserved, &kDialogHost) : 0;
}

}  // extern "C"
