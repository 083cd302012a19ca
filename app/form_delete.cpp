// The Delete command: the selected rows' files and folders go to the trash
// after one question. The list follows through the folder change notifier.
#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QToolButton>

#include "app/disk_usage_form.h"
#include "platform/message_box.h"
#include "platform/trash.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

void TDiskUsageForm::DeleteCmdClick() {
  std::vector<std::string> paths;
  QString lastName;
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    if (!UsageList->selectionModel()->isRowSelected(i, {}) || !UsageModel->row(i).entry) continue;
    paths.push_back(m_currentFolderPath + UsageModel->row(i).name());
    lastName = UsageModel->row(i).text(0);
  }
  if (paths.empty()) {
    platform::showWarning(this, QStringLiteral("No files or folders selected"));
    return;
  }
  const QString question =
      paths.size() == 1
          ? QStringLiteral("Are you sure you want to remove '") + lastName + QStringLiteral("'?")
          : QStringLiteral("Are you sure you want to remove the ") + QString::number(paths.size()) +
                QStringLiteral(" selected files/folders?");
  if (!platform::askConfirm(this, question)) return;

  // Its own progress window, shown only when the work takes more than a moment.
  QProgressDialog progress(QString(), QString(), 0, static_cast<int>(paths.size()), this);
  progress.setWindowTitle(QStringLiteral("Delete Files and Folders"));
  progress.setLabelText(QStringLiteral("Moving to the trash..."));
  progress.setMinimumDuration(400);
  progress.setWindowModality(Qt::WindowModal);
  progress.setAutoClose(false);
  const platform::RemoveReport report = platform::removeItems(
      paths,
      [this](const std::vector<std::string>& names) {
        platform::BoxText question{QStringLiteral("These items cannot be moved to the trash:"), {},
                                   QStringLiteral("\n\nDelete them for good? They cannot be restored.")};
        for (const std::string& n : names) question.names.push_back(QString::fromUtf8(n));
        return platform::askConfirm(this, question);
      },
      [&progress](int done, int) {
        progress.setValue(done);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      });
  progress.reset();
  if (!report.failures.empty()) {
    platform::BoxText text{QStringLiteral("Some items could not be removed:"), {}, {}};
    for (const std::string& f : report.failures) text.names.push_back(QString::fromUtf8(f));
    platform::showError(this, text);
  }
}
