// The item menu: a right click in the list opens a menu of what one does
// with the first selected item. Changes it makes to the folder reach the
// list through the folder watch.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLocale>
#include <sys/stat.h>

#include "app/disk_usage_form.h"
#include "model/display_name.h"
#include "platform/desktop_open.h"
#include "platform/fs.h"
#include "platform/item_actions.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/trash.h"
#ifdef _WIN32
#include "platform/shell_menu.h"
#endif
#include "views/figure_format.h"
#include "views/folder_tree_model.h"
#include "views/item_menu.h"
#include "views/item_properties.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

// The code the desktop's shell gives for the same cause, as an HRESULT.
uint32_t hresultOf(int err) {
  switch (err) {
    case ENOENT: return 0x80070002;        // the file cannot be found
    case ENOTDIR: return 0x8007010B;       // the directory name is invalid
    case EACCES: case EPERM: return 0x80070005;  // access denied
    case ENAMETOOLONG: return 0x800700CE;  // the name is too long
    default: return 0x80004005;            // unspecified
  }
}

QString oleError(int step, uint32_t hr) {
  return QStringLiteral("OLE error [%1] code ").arg(step) + QString::number(hr, 16).toUpper();
}

[[maybe_unused]] QString sizeText(uint64_t bytes) { return FormatFigure(static_cast<double>(bytes)) + QStringLiteral(" bytes"); }

}  // namespace

void TDiskUsageForm::UsageListMouseDown(Qt::MouseButton button, const QPoint& pos) {
  if (button != Qt::RightButton) return;
  int first = -1;
  for (int i = 0; i < UsageModel->rowCount() && first < 0; ++i)
    if (UsageList->selectionModel()->isRowSelected(i, {})) first = i;
  if (first < 0) return;
  const TUsageRow& row = UsageModel->row(first);
  if (row.isGone()) {
    // Nothing there to open, copy, rename or delete: the row is a memory.
    platform::showWarning(this, QStringLiteral("'") + row.text(0) + QStringLiteral("' is gone: it was there at the earlier look, and there is nothing to act on now."));
    return;
  }

  // The folder, the folder opened, the item in it: each step fails as the
  // shell's would, with its number and code.
  const std::string folder = treePath();
  const bool virtualPlace = !platform::isAbsolutePath(folder);
  struct stat st;
  if (!virtualPlace && !platform::statPath(folder, st, true)) {
    platform::showError(this, oleError(1, hresultOf(errno)));
    return;
  }
  if (!virtualPlace) {
    platform::FileDescriptor opened(platform::openDirectory(folder));
    if (!opened.valid()) {
      platform::showError(this, oleError(2, hresultOf(errno)));
      return;
    }
  }
  const std::string path = platform::withTrailingDelim(folder) + row.name();
  if (virtualPlace || !row.entry || !platform::statPath(path, st, false)) {
    // A virtual place holds no file of that name; nor does any folder hold
    // the placeholder row's text.
    platform::showError(this, oleError(3, virtualPlace || !row.entry ? 0x80070002 : hresultOf(errno)));
    return;
  }
  ShowItemMenu(path, UsageList->viewport()->mapToGlobal(pos));
}

#ifdef _WIN32
void TDiskUsageForm::ShowItemMenu(const std::string& path, const QPoint& globalPos) {
  // The shell's own menu: Explorer's verbs and those of every shell extension.
  if (const auto failure = platform::showShellMenu(this, path, globalPos))
    platform::showError(this, failure->reason.empty() ? oleError(failure->step, failure->hresult)
                                                      : QStringLiteral("No menu for ") + DisplayName(path) +
                                                            QStringLiteral(": ") + QString::fromStdString(failure->reason));
}
#else
void TDiskUsageForm::ShowItemMenu(const std::string& path, const QPoint& globalPos) {
  const std::vector<platform::DesktopApp> apps = platform::applicationsFor(platform::mimeTypeOf(path));
  QStringList appNames;
  for (const auto& a : apps) appNames << QString::fromStdString(a.name);
  const std::string target = ResolveShortcut(path);
  TItemMenu menu(appNames, !target.empty(), this);
  QAction* chosen = ItemMenuChooser ? ItemMenuChooser(menu) : menu.exec(globalPos);
  if (!chosen) return;  // dismissed
  const std::string_view rawName = std::string_view(path).substr(path.rfind(platform::kPathDelim) + 1);
  const QString name = DisplayName(rawName);  // as the boxes show it
  if (chosen == menu.OpenAct) {
    if (!OpenItem(path))
      platform::showError(this, QStringLiteral("Cannot open '") + name +
                                    QStringLiteral("': the desktop's program for opening files could not be started."));
  } else if (const qsizetype app = menu.OpenWithActs.indexOf(chosen); app >= 0) {
    const std::string why = platform::launch(apps[static_cast<size_t>(app)], path);
    if (!why.empty())
      platform::showError(this, QStringLiteral("Cannot start ") + appNames[app] + QStringLiteral(" for '") + name +
                                    QStringLiteral("': ") + DisplayName(why) + QLatin1Char('.'));
  } else if (chosen == menu.OpenContainingAct) {
    OpenFolder(std::string(platform::folderPart(target)));
  } else if (chosen == menu.CutAct || chosen == menu.CopyAct) {
    QApplication::clipboard()->setMimeData(platform::clipboardData({path}, chosen == menu.CutAct));
  } else if (chosen == menu.CopyPathAct) {
    QApplication::clipboard()->setText(QString::fromStdString(platform::pathText(path)));
  } else if (chosen == menu.RenameAct) {
    // The box starts from the name itself, to be edited, not from how it shows.
    const QString realName = QString::fromUtf8(rawName.data(), static_cast<qsizetype>(rawName.size()));
    const std::optional<QString> newName = platform::askText(this, QStringLiteral("Rename"), QStringLiteral("New name:"), realName);
    if (newName && *newName != realName) {
      const std::string error = platform::renameItem(path, newName->toStdString());
      if (!error.empty())
        platform::showError(this, QStringLiteral("Cannot rename '") + name + QStringLiteral("': ") +
                                      DisplayName(error) + QLatin1Char('.'));
    }
  } else if (chosen == menu.TrashAct) {
    RemoveItems({path}, [this](const std::vector<std::string>& names) {
      return platform::askConfirm(this, QStringLiteral("'") + DisplayName(names.front()) +
                                            QStringLiteral("' cannot be moved to the trash.\n\nDelete it for good? It "
                                                           "cannot be restored."));
    });
  } else if (chosen == menu.PropertiesAct) {
    ShowItemProperties(path);
  }
}

void TDiskUsageForm::ShowItemProperties(const std::string& path) {
  platform::ItemFacts f;
  const QString name = DisplayName(std::string_view(path).substr(path.rfind(platform::kPathDelim) + 1));
  if (!platform::itemFacts(path, f)) {
    platform::showError(this, QStringLiteral("Cannot read the properties of '") + name + QStringLiteral("'."));
    return;
  }
  // A folder's size is the row's: what the engine counted inside it.
  for (int i = 0; i < UsageModel->rowCount(); ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.entry && r.entry->FullPath == path && r.entry->IsDirectory()) {
      f.diskBytes = static_cast<uint64_t>(r.figures[0]);
      f.bytes = static_cast<uint64_t>(r.figures[1]);
    }
  }
  std::vector<std::pair<QString, QString>> rows = {
      {QStringLiteral("Type"), DisplayName(f.type)},  // "Link to " and the link's target
      {QStringLiteral("Location"), DisplayName(f.location)},
      {QStringLiteral("Size"), sizeText(f.bytes)},
      {QStringLiteral("Size on disk"), sizeText(f.diskBytes)},
      {QStringLiteral("Owner"), QString::fromStdString(f.owner + " (group " + f.group + ")")},
      {QStringLiteral("Permissions"), QString::fromStdString(f.permissions)},
      {QStringLiteral("Modified"), QString::fromStdString(f.modified)},
      {QStringLiteral("Accessed"), QString::fromStdString(f.accessed)},
      {QStringLiteral("Changed"), QString::fromStdString(f.changed)},
  };
  TItemProperties dialog(name, rows, this);
  dialog.setObjectName(QStringLiteral("ItemProperties"));
  dialog.exec();
}
#endif
