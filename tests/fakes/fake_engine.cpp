// A stand-in engine library. Built several times: FAKE_OMIT_SAVE_SETTINGS
// leaves one export out; FAKE_INIT_RESULT is what TlrExtInit answers (0x100
// has a zero low byte, so it means false however wide the value is).
#include "tlr32/tlr32.h"

#ifndef FAKE_INIT_RESULT
#define FAKE_INIT_RESULT 1
#endif

extern "C" {
int32_t TlrExtInit(const char*) { return FAKE_INIT_RESULT; }
int32_t TlrCalcUsage(const char*, const char*) { return 0; }
int32_t TlrGetStatVal(const char*) { return 0; }
double TlrGetStatValF(const char*) { return 0; }
int32_t TlrGetFileTime(uint64_t* t) { *t = 0; return 1; }
int32_t TlrGetOption(const char*, int32_t) { return 0; }
int32_t TlrSetOption(const char*, const char*) { return 0; }
const char* TlrGetFileSysName(void) { return "fakefs"; }
const char* TlrGetReportFileName(void) { return ""; }
int32_t TlrIsCustomCluster(void) { return 0; }
int32_t TlrCustomClustersOn(void) { return 0; }
int32_t TlrFileSpecOn(void) { return 0; }
#ifndef FAKE_OMIT_SAVE_SETTINGS
int32_t TlrSaveSettings(void) { return 1; }
#endif
int32_t TlrDlgComputeOptions(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgClusterSizes(uintptr_t, int32_t) { return 0; }
int32_t TlrDlgFileSpec(uintptr_t) { return 0; }
int32_t TlrDlgReportUsage(uintptr_t, int32_t) { return 0; }
}
