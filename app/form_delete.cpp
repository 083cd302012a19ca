// The Delete command: the selected rows' files and folders go to the trash
// after one question. The folder shown is computed again once anything went.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QToolButton>
#include <optional>

#include "app/disk_usage_form.h"
#include "model/display_name.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/trash.h"
#include "support/fs_change_notifier.h"
#include "views/delete_progress.h"
#include "views/figure_format.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

void TDiskUsageForm::DeleteCmdClick() {
  std::vector<std::string> paths;
  std::vector<QString> names;  // as the rows show them
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    if (!UsageList->selectionModel()->isRowSelected(i, {}) || !UsageModel->row(i).entry) continue;
    paths.push_back(m_currentFolderPath + UsageModel->row(i).name());
    names.push_back(UsageModel->row(i).text(0));
  }
  if (paths.empty()) {
    const bool goneOnly = UsageList->selectionModel()->hasSelection();
    platform::showWarning(this, goneOnly ? QStringLiteral("The rows selected are gone: there is nothing to delete.")
                                         : QStringLiteral("No files or folders selected"));
    return;
  }
  // Several items are named too (the first ten, then "and N more"; all of
  // them in the details): rows cut at the end can look alike, and a Yes
  // should never be given to a count alone.
  platform::BoxText question;
  if (paths.size() == 1) {
    question.text = QStringLiteral("Are you sure you want to remove '") + names.front() + QStringLiteral("'?");
  } else {
    question.text = QStringLiteral("Are you sure you want to remove the ") + QString::number(paths.size()) +
                    QStringLiteral(" selected files/folders?");
    question.names = std::move(names);
  }
  if (!platform::askConfirm(this, question)) return;

  RemoveItems(paths, [this](const std::vector<std::string>& names) {
    platform::BoxText question{QStringLiteral("These items cannot be moved to the trash:"), {},
                               QStringLiteral("\n\nDelete them for good? They cannot be restored.")};
    for (const std::string& n : names) question.names.push_back(DisplayName(n));
    return platform::askConfirm(this, question);
  });
}

namespace {

// "1,234 files and folders (5,678 bytes)", "1 file or folder (10 bytes)";
// with part, "(part of 5,678 bytes)".
QString sizeText(const platform::TreeSize& s, std::optional<uint64_t> part = std::nullopt) {
  return FormatFigure(static_cast<double>(s.items)) +
         (s.items == 1 ? QStringLiteral(" file or folder (") : QStringLiteral(" files and folders (")) +
         (part ? FormatFigure(static_cast<double>(*part)) + QStringLiteral(" of ") : QString()) +
         FormatFigure(static_cast<double>(s.bytes)) + QStringLiteral(" bytes)");
}

}  // namespace

void TDiskUsageForm::RemoveItems(const std::vector<std::string>& paths,
                                 const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood) {
  // Moving to the trash is a rename per item: its window shows only when
  // that takes more than a moment.
  QProgressDialog trashing(QStringLiteral("Moving to the trash..."), QString(), 0, static_cast<int>(paths.size()), this);
  trashing.setWindowTitle(QStringLiteral("Delete Files and Folders"));
  trashing.setMinimumDuration(400);
  trashing.setWindowModality(Qt::WindowModal);
  trashing.setAutoClose(false);
  std::unique_ptr<TDeleteProgress> deleting;  // made after the yes to deleting for good

  // The folder watch reports while the events are handled below; its refresh
  // waits until the work is over (it would list a folder half deleted).
  int32_t heldChange = 0;
  bool changed = false;
  TFSChangeNotifier* watch = m_notifier.get();
  std::function<void(int32_t)> watchHandler;
  if (watch) {
    watchHandler = watch->OnChange;
    watch->OnChange = [&](int32_t code) {
      if (!changed) heldChange = code;
      changed = true;
    };
  }

  // Events are handled (Cancel, repaints) at most every 50 ms and after the
  // first entry: a call per entry would cost more than deleting it.
  QElapsedTimer sinceShown;
  auto due = [&sinceShown](bool first) {
    if (!first && sinceShown.isValid() && sinceShown.elapsed() < 50) return false;
    sinceShown.restart();
    return true;
  };
  auto deletingWindow = [&] {
    if (!deleting) {
      trashing.reset();
      trashing.hide();
      deleting = std::make_unique<TDeleteProgress>(this);
      deleting->show();
    }
    return deleting.get();
  };
  platform::RemoveProgress progress;
  progress.trashing = [&trashing](int done, int) {
    trashing.setValue(done);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  progress.counting = [&](const platform::TreeSize& counted) {
    TDeleteProgress* w = deletingWindow();
    if (due(counted.items == 1)) {
      w->showCounting(counted.items);
      QApplication::processEvents();
    }
    return !w->wasCanceled();
  };
  progress.deleting = [&](const platform::TreeSize& removed, const platform::TreeSize& total) {
    TDeleteProgress* w = deletingWindow();
    if (due(removed.items == 1)) {
      w->showDeleting(removed.items, removed.bytes, total.items, total.bytes);
      QApplication::processEvents();
    }
    return !w->wasCanceled();
  };
  const platform::RemoveReport report = platform::removeItems(paths, askDeleteForGood, progress);
  trashing.reset();
  deleting.reset();
  if (watch && m_notifier.get() == watch) watch->OnChange = watchHandler;
  // Computed again whenever anything went, before the boxes that tell of it:
  // the folder watch sees the folder shown, not what went inside its
  // sub-folders (a deletion for good that was stopped, or left a mount point).
  const bool removedAny = !report.trashed.empty() || !report.deletedForGood.empty() || !report.gone.empty() ||
                          report.removedForGood.items > 0;
  if (removedAny || (changed && watch && m_notifier.get() == watch))
    ShellChangeNotifierChange(changed ? heldChange : TFSChangeNotifier::kUpdateItem);

  if (report.stopped) {
    // Stopped while counting, nothing is gone yet.
    const QString gone = report.removedForGood.items == 0
                             ? QStringLiteral("Nothing was deleted.")
                             : QStringLiteral("Deleted: ") + FormatFigure(static_cast<double>(report.removedForGood.items)) +
                                   QStringLiteral(" of ") +
                                   sizeText(report.toDeleteForGood, report.removedForGood.bytes) + QLatin1Char('.');
    platform::BoxText text{QStringLiteral("Deleting for good was stopped.\n\n") + gone + QStringLiteral("\nLeft: ") +
                               sizeText(report.leftForGood) + QStringLiteral(", in:"),
                           {}, {}};
    for (const std::string& p : report.notDeleted)
      text.names.push_back(QLatin1Char('\'') + DisplayName(std::string_view(p).substr(p.rfind(platform::kPathDelim) + 1)) + QLatin1Char('\''));
    platform::showWarning(this, text);
  }
  if (!report.otherVolumes.empty()) {
    // Named from the folder shown, where the user can find them.
    const QString deleted = report.stopped                      ? QString()
                            : report.removedForGood.items == 0 ? QStringLiteral("Nothing was deleted.\n\n")
                                                               : QStringLiteral("Deleted: ") +
                                                                     sizeText(report.removedForGood) +
                                                                     QStringLiteral(".\n\n");
    platform::BoxText text{deleted + QStringLiteral("Not deleted: mount points of other volumes, which deleting for "
                                                    "good never enters. They stay, and so do the folders that hold them:"),
                           {}, {}};
    for (const std::string& p : report.otherVolumes) {
      const bool inside = p.compare(0, m_currentFolderPath.size(), m_currentFolderPath) == 0;
      text.names.push_back(QLatin1Char('\'') + DisplayName(inside ? p.substr(m_currentFolderPath.size()) : p) +
                           QLatin1Char('\''));
    }
    platform::showWarning(this, text);
  }
  if (!report.failures.empty()) {
    platform::BoxText text{QStringLiteral("Some items could not be removed:"), {}, {}};
    // "name: reason": the reason is plain prose, shown as it is by the same rule.
    for (const std::string& f : report.failures) text.names.push_back(DisplayName(f));
    platform::showError(this, text);
  }
}
