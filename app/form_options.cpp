// The option commands of the Options menu and the boxes that open them.
#include <QAction>

#include "app/disk_usage_form.h"

void TDiskUsageForm::ComputeOptionsCmdClick() {
  if (!ComputeOptionsCmd->isEnabled()) return;  // the dialog comes with the option commands
}

void TDiskUsageForm::ClusterSizesCmdClick() {
  if (!ClusterSizesCmd->isEnabled()) return;  // the dialog comes with the option commands
}
