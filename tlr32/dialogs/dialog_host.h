/* The engine's side of its dialogs: the companion library libtlr32dlg.so holds
 * the dialogs (Qt) and reaches the engine's options only through these calls,
 * so that the engine itself never links Qt. Each dialog returns non-zero when
 * something changed (or, for the report, when one was asked for). */
#ifndef TLR32_DIALOG_HOST_H
#define TLR32_DIALOG_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct TlrDialogHost {
  int32_t (*getOption)(const char* name);
  int32_t (*setOption)(const char* name, const char* value);
  /* A text option ("FileSpec", "DriveX") into buf; its length, or -1. */
  int32_t (*getText)(const char* name, char* buf, int32_t size);
  void (*setReportFileName)(const char* name);
};

typedef int32_t (*TlrDialogDriveFn)(uintptr_t owner, int32_t drive, const struct TlrDialogHost* host);
typedef int32_t (*TlrDialogFn)(uintptr_t owner, const struct TlrDialogHost* host);

/* Exported by the companion library. */
int32_t tlrdlg_compute_options(uintptr_t owner, int32_t drive, const struct TlrDialogHost* host);
int32_t tlrdlg_cluster_sizes(uintptr_t owner, int32_t drive, const struct TlrDialogHost* host);
int32_t tlrdlg_file_spec(uintptr_t owner, const struct TlrDialogHost* host);
int32_t tlrdlg_report(uintptr_t owner, int32_t reserved, const struct TlrDialogHost* host);

#ifdef __cplusplus
}
#endif

#endif
