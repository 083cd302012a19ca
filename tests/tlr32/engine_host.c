/* A plain C host of the engine library, without Qt or C++, ending in one of
 * the ways a real host ends. Usage: engine_host LIBRARY MODE [FOLDER]
 *   return        compute FOLDER (if given), return from main without unloading
 *   unload        compute, unload the library, return from main
 *   exit-thread   compute, then exit(0) from a second thread while main waits
 *   exit-busy     a second thread computes FOLDER; main calls exit(0) while it
 *                 runs, so the engine's workers are busy at exit
 *   calls-after   compute, unload nothing; an exit handler of the host calls
 *                 into the engine while the process ends
 *   dialogs       asks for each of the engine's dialogs: a host without Qt
 *                 gets "no" at once, and no Qt library is loaded into it
 * Exit code 0 when the host ended as asked; 2 when the library could not be
 * used. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int32_t (*InitFn)(const char*);
typedef int32_t (*CalcFn)(const char*, const char*);
typedef int32_t (*StatFn)(const char*);

static CalcFn calc;
static StatFn stat_val;
static const char* folder;
static volatile int computing;

static void* compute_then_flag(void* arg) {
  (void)arg;
  computing = 1;
  calc(folder, NULL);
  return NULL;
}

static void* exit_now(void* arg) {
  (void)arg;
  exit(0);
  return NULL;
}

static void call_during_exit(void) {
  /* Whatever the engine answers now, it must answer without crashing. */
  stat_val("Files");
  calc(folder ? folder : "/", NULL);
}

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const char* mode = argv[2];
  folder = argc > 3 ? argv[3] : NULL;
  void* lib = dlopen(argv[1], RTLD_NOW);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  InitFn init = (InitFn)dlsym(lib, "TlrExtInit");
  calc = (CalcFn)dlsym(lib, "TlrCalcUsage");
  stat_val = (StatFn)dlsym(lib, "TlrGetStatVal");
  if (!init || !calc || !stat_val || !(init("") & 0xFF)) return 2;

  if (strcmp(mode, "exit-busy") == 0) {
    pthread_t t;
    pthread_create(&t, NULL, compute_then_flag, NULL);
    while (!computing) usleep(100);
    usleep(2000); /* well inside the walk of a large tree */
    exit(0);
  }
  if (folder && calc(folder, NULL) < 0) return 2;
  if (strcmp(mode, "return") == 0) return 0;
  if (strcmp(mode, "unload") == 0) return dlclose(lib) == 0 ? 0 : 2;
  if (strcmp(mode, "exit-thread") == 0) {
    pthread_t t;
    pthread_create(&t, NULL, exit_now, NULL);
    pthread_join(t, NULL); /* never returns: the process ends first */
    return 2;
  }
  if (strcmp(mode, "dialogs") == 0) {
    typedef int32_t (*DlgDrive)(uintptr_t, int32_t);
    typedef int32_t (*Dlg)(uintptr_t);
    DlgDrive options = (DlgDrive)dlsym(lib, "TlrDlgComputeOptions");
    DlgDrive clusters = (DlgDrive)dlsym(lib, "TlrDlgClusterSizes");
    DlgDrive report = (DlgDrive)dlsym(lib, "TlrDlgReportUsage");
    Dlg patterns = (Dlg)dlsym(lib, "TlrDlgFileSpec");
    if (!options || !clusters || !report || !patterns) return 2;
    if ((options(0, 2) & 0xFF) || (clusters(0, 2) & 0xFF) || (report(0, 0) & 0xFF) || (patterns(0) & 0xFF)) return 3;
    if (dlopen("libQt6Core.so.6", RTLD_NOW | RTLD_NOLOAD)) return 4;
    return 0;
  }
  if (strcmp(mode, "calls-after") == 0) {
    atexit(call_during_exit);
    return 0;
  }
  return 2;
}
