/* A plain C host of TLR32.DLL, without Qt or C++, ending in one of the ways a
 * Windows program ends. Usage: engine_host_win MODE [FOLDER]
 *   return          compute FOLDER (if given), return from main, DLL loaded
 *   unload          compute, FreeLibrary, return from main
 *   exit-thread     compute, then exit(0) from a second thread
 *   exit-busy       a second thread computes FOLDER; main calls exit(0) meanwhile
 *   exitprocess-busy  the same with ExitProcess(0)
 *   calls-after     compute; an exit handler calls into the engine at exit
 *   walk-on         a second thread computes FOLDER over and over; main
 *                   waits for ever (ended from outside with TerminateProcess)
 *   dialogs         each dialog says "no" at once, and no Qt comes in
 * Exit code 0 when the host ended as asked; 2 when the library could not be
 * used. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef int32_t (*InitFn)(const char*);
typedef int32_t (*CalcFn)(const char*, const char*);
typedef int32_t (*StatFn)(const char*);

static CalcFn calc;
static StatFn stat_val;
static const char* folder;
static volatile LONG computing;

static DWORD WINAPI compute_then_flag(LPVOID again) {
  do {
    InterlockedExchange(&computing, 1);
    calc(folder, NULL);
  } while (again);
  return 0;
}

static DWORD WINAPI exit_now(LPVOID arg) {
  (void)arg;
  exit(0);
}

static void call_during_exit(void) {
  stat_val("Files");
  calc(folder ? folder : "C:\\", NULL);
}

static void wait_until_computing(void) {
  while (!InterlockedCompareExchange(&computing, 1, 1)) Sleep(0);
  Sleep(2); /* inside the walk of a large tree */
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  folder = argc > 2 ? argv[2] : NULL;
  HMODULE lib = LoadLibraryW(L"TLR32.DLL");
  if (!lib) return 2;
  InitFn init = (InitFn)(void*)GetProcAddress(lib, "TlrExtInit");
  calc = (CalcFn)(void*)GetProcAddress(lib, "TlrCalcUsage");
  stat_val = (StatFn)(void*)GetProcAddress(lib, "TlrGetStatVal");
  if (!init || !calc || !stat_val || !(init("") & 0xFF)) return 2;

  if (strcmp(mode, "exit-busy") == 0 || strcmp(mode, "exitprocess-busy") == 0) {
    CreateThread(NULL, 0, compute_then_flag, NULL, 0, NULL);
    wait_until_computing();
    if (mode[4] == 'p') ExitProcess(0);
    exit(0);
  }
  if (strcmp(mode, "walk-on") == 0) {
    CreateThread(NULL, 0, compute_then_flag, (LPVOID)1, 0, NULL);
    wait_until_computing();
    puts("walking");
    fflush(stdout);
    Sleep(INFINITE);
  }
  if (folder && calc(folder, NULL) < 0) return 2;
  if (strcmp(mode, "return") == 0) return 0;
  if (strcmp(mode, "unload") == 0) return FreeLibrary(lib) ? 0 : 2;
  if (strcmp(mode, "exit-thread") == 0) {
    HANDLE t = CreateThread(NULL, 0, exit_now, NULL, 0, NULL);
    WaitForSingleObject(t, INFINITE); /* never returns: the process ends first */
    return 2;
  }
  if (strcmp(mode, "calls-after") == 0) {
    atexit(call_during_exit);
    return 0;
  }
  if (strcmp(mode, "dialogs") == 0) {
    typedef int32_t (*DlgDrive)(uintptr_t, int32_t);
    typedef int32_t (*Dlg)(uintptr_t);
    DlgDrive options = (DlgDrive)(void*)GetProcAddress(lib, "TlrDlgComputeOptions");
    DlgDrive clusters = (DlgDrive)(void*)GetProcAddress(lib, "TlrDlgClusterSizes");
    DlgDrive report = (DlgDrive)(void*)GetProcAddress(lib, "TlrDlgReportUsage");
    Dlg patterns = (Dlg)(void*)GetProcAddress(lib, "TlrDlgFileSpec");
    if (!options || !clusters || !report || !patterns) return 2;
    if ((options(0, 2) & 0xFF) || (clusters(0, 2) & 0xFF) || (report(0, 0) & 0xFF) || (patterns(0) & 0xFF)) return 3;
    if (GetModuleHandleW(L"Qt6Core.dll") || GetModuleHandleW(L"Qt6Widgets.dll")) return 4;
    return 0;
  }
  return 2;
}
