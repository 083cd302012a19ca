/* Writes one report of a folder through the engine's C interface, as the
 * window's Report command does: report_bench LIBRARY FOLDER FILE */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: report_bench LIBRARY FOLDER FILE\n");
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW);
  if (!lib) return 2;
  int32_t (*init)(const char*) = (int32_t(*)(const char*))dlsym(lib, "TlrExtInit");
  int32_t (*calc)(const char*, const char*) = (int32_t(*)(const char*, const char*))dlsym(lib, "TlrCalcUsage");
  if (!init || !calc) return 2;
  init("");
  return calc(argv[2], argv[3]) < 0;
}
