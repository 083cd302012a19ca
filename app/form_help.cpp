// Help and About: the manual at its contents or at a context, and the about
// window.
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <sys/stat.h>

#include "app/disk_usage_form.h"
#include "platform/dynamic_library.h"
#include "platform/fs.h"
#include "support/about_box.h"
#include "support/help_hook.h"

namespace {

// F1 on a highlighted menu item that carries a help context shows that topic.
class TMenuHelp : public QObject {
 public:
  explicit TMenuHelp(QMenu* menu) : QObject(menu), m_menu(menu) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) return false;
    const QAction* a = m_menu->activeAction();
    const QVariant context = a ? a->property("helpContext") : QVariant();
    if (!context.isValid()) return false;
    THtmlHelpHook::Request(THtmlHelpHook::HELP_CONTEXT, context.toUInt());
    return true;
  }

 private:
  QMenu* m_menu;
};

}  // namespace

void TDiskUsageForm::buildHelpMenu(QMenu* help) {
  HelpTopicsCmd = help->addAction(QStringLiteral("&Help Topics"));
  HelpTopicsCmd->setShortcut(QKeySequence(Qt::Key_F1));
  connect(HelpTopicsCmd, &QAction::triggered, this, &TDiskUsageForm::ContentsCmdClick);
  help->addSeparator();
  AboutCmd = help->addAction(QStringLiteral("&About..."));
  AboutCmd->setProperty("helpContext", kAboutHelpContext);
  connect(AboutCmd, &QAction::triggered, this, &TDiskUsageForm::AboutCmdClick);
  help->installEventFilter(new TMenuHelp(help));
}

std::string TDiskUsageForm::HelpFilePath() {
  // Beside the executable (the build's layout), else where an installation
  // puts the manual: share/doc/tallorin beside bin/.
  const std::string folder = platform::executableFolder();
  const std::string beside = folder + kHelpFileName;
  const std::string installed = folder + "../share/doc/tallorin/" + kHelpFileName;
  struct stat st;
  if (!platform::statPath(beside, st, true) && platform::statPath(installed, st, true)) return installed;
  return beside;
}

void TDiskUsageForm::ContentsCmdClick() { THtmlHelpHook::Request(THtmlHelpHook::HELP_FINDER, 0); }

void TDiskUsageForm::AboutCmdClick() {
  TAboutBox box(this);
  box.exec();
}
