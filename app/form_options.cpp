// The report and option commands: the engine's dialogs, the wait window while
// a report is written, the check marks and button picture that show what is in
// force, and the folder computed again after an option changed.
#include <QAction>
#include <QApplication>
#include <QToolButton>
#include <cstring>

#include "app/disk_usage_form.h"
#include "model/display_name.h"
#include "platform/message_box.h"
#include "tlr32/tlr32.h"
#include "support/artwork.h"
#include "support/report_wait_form.h"
#include "views/gauge.h"

int32_t TDiskUsageForm::DriveIndex() const {
  // The first character's code minus that of "A", used as it is: every
  // absolute path here starts with "/", which gives -18.
  if (m_currentFolderPath.empty()) return 2;
  return static_cast<unsigned char>(m_currentFolderPath[0]) - 65;
}

void TDiskUsageForm::RefreshAfterOptions() {
  // As a pick in the folder box: the tree's selection is not read again and
  // the focus stays where it is.
  CurrentDirBoxChange();
  ApplyRememberedSelection();
}

void TDiskUsageForm::ReportCmdClick() {
  if (!TUsageEngine::truth(m_engine.TlrDlgReportUsage(static_cast<uintptr_t>(winId()), 0))) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  repaint();
  TReportWaitForm wait(this);
  wait.show();
  // Painted before the computation, which holds the user-interface thread.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  wait.repaint();
  const std::string file = m_engine.TlrGetReportFileName();
  const int32_t rc = m_engine.TlrCalcUsage(m_currentFolderPath.c_str(), file.c_str());
  // While the wait window is up. A file that could not be written is named
  // with the reason; a failure of the folder keeps the folder's message.
  const int32_t fileError = rc == TLR_ERR_REPORT ? m_engine.TlrGetOption("ReportError", 0) : 0;
  if (fileError > 0)
    platform::showError(this, QStringLiteral("Cannot write the report file '") + DisplayName(file) +
                                  QStringLiteral("': ") + QString::fromLocal8Bit(std::strerror(fileError)) +
                                  QLatin1Char('.'));
  else if (rc < 0)
    ShowCalcFailure(m_currentFolderPath, rc);
  wait.hide();
  QApplication::restoreOverrideCursor();
}

void TDiskUsageForm::ComputeOptionsCmdClick() {
  if (!TUsageEngine::truth(m_engine.TlrDlgComputeOptions(static_cast<uintptr_t>(winId()), DriveIndex()))) return;
  TargetGuage->setForeColor(palette().color(QPalette::Button));
  TargetGuage->setProgress(100);
  RefreshAfterOptions();
}

void TDiskUsageForm::ClusterSizesCmdClick() {
  if (!TUsageEngine::truth(m_engine.TlrDlgClusterSizes(static_cast<uintptr_t>(winId()), DriveIndex()))) return;
  ClusterSizesCmd->setChecked(TUsageEngine::truth(m_engine.TlrCustomClustersOn()));
  RefreshAfterOptions();
}

void TDiskUsageForm::ShowFileSelectPicture() {
  FileSelectBtn->setIcon(QIcon(FileSelectCmd->isChecked() ? FileSelectOnImage() : FileSelectOffImage()));
}

void TDiskUsageForm::FileSelectCmdClick() {
  const bool changed = TUsageEngine::truth(m_engine.TlrDlgFileSpec(static_cast<uintptr_t>(winId())));
  // Whatever the answer, the mark, the picture and the button show what is in force.
  FileSelectCmd->setChecked(TUsageEngine::truth(m_engine.TlrFileSpecOn()));
  ShowFileSelectPicture();
  FileSelectBtn->setCheckable(true);  // pressed from the first use on
  FileSelectBtn->setChecked(FileSelectCmd->isChecked());
  FileSelectBtn->repaint();
  if (changed) RefreshAfterOptions();
}
