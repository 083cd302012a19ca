/* The usage engine's C interface. Every operation is looked up by exactly this
 * name. Strings are zero-terminated in the platform's narrow encoding (UTF-8
 * here; file names are passed as their raw bytes). A truth value is the low
 * byte of an int32_t result, non-zero meaning true. A returned string lives in
 * the engine's own storage until the next call; copy it at once, never free it.
 * Queries describe the path of the most recent TlrCalcUsage call. */
#ifndef TLR32_H
#define TLR32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define TLR_API /* TLR32.DLL exports exactly the names of tlr32.def */
#else
#define TLR_API __attribute__((visibility("default")))
#endif

/* Failure codes of TlrCalcUsage. */
#define TLR_ERR_NO_PATH (-1)         /* missing, empty or unreadable path */
#define TLR_ERR_TARGET (-2)          /* the target drive's folder cannot be reached */
#define TLR_ERR_REPORT (-3)          /* a report was asked for and not written */
/* After TLR_ERR_REPORT, TlrGetOption("ReportError", 0) is the errno of the
 * report file that could not be written, 0 when the folder was the cause. */

TLR_API int32_t TlrExtInit(const char* helpFile);
TLR_API int32_t TlrCalcUsage(const char* path, const char* reportFile);
TLR_API int32_t TlrGetStatVal(const char* key);
TLR_API double TlrGetStatValF(const char* key);
TLR_API int32_t TlrGetFileTime(uint64_t* fileTime);
TLR_API int32_t TlrGetOption(const char* name, int32_t reserved);
TLR_API int32_t TlrSetOption(const char* name, const char* value);
TLR_API const char* TlrGetFileSysName(void);
TLR_API const char* TlrGetReportFileName(void);
TLR_API int32_t TlrIsCustomCluster(void);
TLR_API int32_t TlrCustomClustersOn(void);
TLR_API int32_t TlrFileSpecOn(void);
TLR_API int32_t TlrSaveSettings(void);
TLR_API int32_t TlrDlgComputeOptions(uintptr_t owner, int32_t drive);
TLR_API int32_t TlrDlgClusterSizes(uintptr_t owner, int32_t drive);
TLR_API int32_t TlrDlgFileSpec(uintptr_t owner);
TLR_API int32_t TlrDlgReportUsage(uintptr_t owner, int32_t reserved);

/* As TlrCalcUsage without a report, for an entry directly inside a folder
 * the caller holds open: folderFd is that folder's descriptor, path the
 * entry's whole path, whose last component is looked up in folderFd (a
 * symbolic link is sized as the link). The queries then describe the entry as
 * after TlrCalcUsage(path, NULL). A host sizing every entry of a large folder
 * saves the walk along the path for each; the window looks it up, and uses
 * TlrCalcUsage where an engine lacks it. On Windows, which has no folder
 * descriptors to hand across, a valid folderFd is any non-negative number and
 * the entry is looked up by its whole path. */
TLR_API int32_t TlrCalcUsageIn(int32_t folderFd, const char* path);

/* One refresh of a host: the computations from TlrBeginBatch to TlrEndBatch
 * count a file with several names (hard links) once among them all, at the
 * first name computed, as `du -s a b` does: a later name counts as a file
 * without bytes. Outside a batch each computation counts on its own. A host
 * looks them up where it can and does without them; a batch begun while
 * another is open begins anew. Truth values: done. */
TLR_API int32_t TlrBeginBatch(void);
TLR_API int32_t TlrEndBatch(void);

/* For hosts without a window (the command-line report). None of these is
 * looked up by the window, which works without them. */

/* As TlrCalcUsage with a report, but the report goes to the open descriptor
 * fd (left open, written from its current position, no temporary file) in
 * the named format: "csv", "json", "html" or "text". The folder's figures are
 * ready afterwards, as after TlrCalcUsage. */
TLR_API int32_t TlrCalcUsageToFd(const char* folder, int32_t fd, const char* format);

/* The counts of the computation in flight, or of the last one: counts[0]
 * files, [1] folders, [2] file bytes, [3] disk bytes; the first n are filled
 * (n up to 4). Callable from any thread while TlrCalcUsage runs on another:
 * it never waits for the computation. Returns the number filled. */
TLR_API int32_t TlrGetProgress(uint64_t* counts, int32_t n);

/* Why the most recent TlrCalcUsage or TlrCalcUsageToFd failed, naming the
 * path: "cannot read /srv: Permission denied"; empty after a success. */
TLR_API const char* TlrGetLastError(void);

/* Options beside those the window stores, for the same TlrSetOption:
 * "CompareScan", the name of a saved scan (a JSON export of this engine, of
 * ncdu or of gdu) that the CSV, HTML and text reports compare the folder
 * with: their rows are then the folder's entries, each with a Change column
 * of disk bytes after the disk bytes ("new" for an entry the scan lacks),
 * largest growth first, then the scan's entries that are gone, marked
 * "gone" with their figures in the scan. The JSON export is written as
 * always. "" compares with nothing. Never stored. A scan that cannot be
 * read, or that lacks the folder, fails the report (TLR_ERR_REPORT) with
 * TlrGetLastError naming the scan and the reason, before any walk. */

/* Statistics beside those the window reads, for the same TlrGetStatVal:
 * "UnreadableDirectories", the folders whose contents could not be read,
 * wholly or in part (an entry that could not be looked at); and
 * "PseudoFileSystem", 1 when the folder lies on a pseudo file system such as
 * /proc or /sys, whose contents are never counted. */

/* Pointer types for callers that look the operations up at run time. */
typedef int32_t (*TlrExtInitFn)(const char*);
typedef int32_t (*TlrCalcUsageFn)(const char*, const char*);
typedef int32_t (*TlrGetStatValFn)(const char*);
typedef double (*TlrGetStatValFFn)(const char*);
typedef int32_t (*TlrGetFileTimeFn)(uint64_t*);
typedef int32_t (*TlrGetOptionFn)(const char*, int32_t);
typedef int32_t (*TlrSetOptionFn)(const char*, const char*);
typedef const char* (*TlrGetStringFn)(void);
typedef int32_t (*TlrQueryFn)(void);
typedef int32_t (*TlrDlgDriveFn)(uintptr_t, int32_t);
typedef int32_t (*TlrDlgFn)(uintptr_t);
typedef int32_t (*TlrCalcUsageInFn)(int32_t, const char*);
typedef int32_t (*TlrCalcUsageToFdFn)(const char*, int32_t, const char*);
typedef int32_t (*TlrGetProgressFn)(uint64_t*, int32_t);

#ifdef __cplusplus
}
#endif

#endif
