// The window's settings in the per-user registry store: loaded once while the
// window is created, the placement stored at every resize, everything on
// "Save Settings Now" and, when asked for, on closing. Also the placement
// helpers, Exit and the window's close.
#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include "app/disk_usage_form.h"
#include "platform/message_box.h"
#include "support/app_registry.h"
#include "support/help_hook.h"
#include "views/usage_list_view.h"

namespace {

// Widths read back are kept within what a window can show: a damaged or
// hand-edited value must not make the tree or the name column vanish or
// stretch beyond any screen.
constexpr int kMinStoredWidth = 20;
constexpr int kMaxStoredWidth = 10000;

int clampWidth(int w) { return std::clamp(w, kMinStoredWidth, kMaxStoredWidth); }

QRect primaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

void TDiskUsageForm::LoadRegistrySettings() {
  TAppRegistry reg;
  SortColumn = 0;
  SortAscending = true;
  struct Placement {
    int32_t width, height, left, top, fullWidth, fullHeight, state;
  } p{};
  bool placementRead = false;
  if (reg.OpenKey(kSettingsKey, false)) {
    // The placement group first: the handlers below resize the window, and
    // every resize stores the placement. All seven values, or none.
    int32_t* fields[] = {&p.width, &p.height, &p.left, &p.top, &p.fullWidth, &p.fullHeight, &p.state};
    const char* names[] = {"Width", "Height", "Left", "Top", "FullWidth", "FullHeight", "WindowState"};
    placementRead = true;
    for (int i = 0; i < 7 && placementRead; ++i) {
      const auto v = reg.ReadInteger(names[i]);
      if (v)
        *fields[i] = *v;
      else
        placementRead = false;
    }
    if (const auto w = reg.ReadInteger("TreeViewWidth")) {
      const QList<int> sizes = Splitter->sizes();
      Splitter->setSizes({clampWidth(*w), std::max(1, sizes.value(0) + sizes.value(1) - clampWidth(*w))});
    }
    if (const auto w = reg.ReadInteger("LVNameWidth")) UsageList->header()->resizeSection(0, clampWidth(*w));

    struct Toggle {
      const char* name;
      bool fallback;
      QAction* item;
      void (TDiskUsageForm::*handler)();
    } toggles[] = {{"ToolBar", true, ToolBarCmd, &TDiskUsageForm::ToolBarCmdClick},
                   {"StatusBar", true, StatusBarCmd, &TDiskUsageForm::StatusBarCmdClick},
                   {"TreeView", true, TreeViewCmd, &TDiskUsageForm::TreeViewCmdClick},
                   {"Hints", true, HintsCmd, &TDiskUsageForm::HintsCmdClick},
                   {"StayOnTop", false, StayOnTopCmd, &TDiskUsageForm::StayOnTopCmdClick}};
    for (const Toggle& t : toggles) {
      t.item->setChecked(!reg.ReadBoolDefault(t.name, t.fallback));
      (this->*t.handler)();  // inverts the mark back and applies it
    }
    SaveSettingsOnExitCmd->setChecked(reg.ReadBoolDefault("SaveOnExit", false));
    ChartCmd->setChecked(reg.ReadBoolDefault("ChartVisible", false));
    NumbersCmd->setChecked(!ChartCmd->isChecked());
    switch (reg.ReadIntegerDefault("View", 1)) {
      case 2: ListOnlyCmd->setChecked(true); break;
      case 3: TotalsOnlyCmd->setChecked(true); break;
      default: ListAndTotalsCmd->setChecked(true); break;
    }
    SortAscending = reg.ReadBoolDefault("SortOrder", false);
    // The list sorts by columns 0 to 5; another stored number takes the
    // column the settings default to (disk bytes).
    SortColumn = reg.ReadIntegerDefault("SortColumn", 1);
    if (SortColumn < 0 || SortColumn > 5) SortColumn = 1;
  }
  reg.CloseKey();

  if (placementRead) {
    const int width = std::max<int>(p.width, MinFormWidth());
    SetWindowWidth(width);
    SetWindowHeight(p.height);
    move(p.left, p.top);
    FullWidth = p.fullWidth;
    FullHeight = p.fullHeight;
    m_fullSizeFromSettings = true;
    switch (p.state & 0xFF) {
      case 1: setWindowState(Qt::WindowMinimized); break;
      case 2: setWindowState(Qt::WindowMaximized); break;
      default: setWindowState(Qt::WindowNoState); break;
    }
    KeepOnScreen();
  } else {
    CenterOnScreen();
  }
  m_settingsLoaded = true;
}

void TDiskUsageForm::SaveWindowPlacement() {
  TAppRegistry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  const Qt::WindowStates state = windowState();
  if (!(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
    reg.WriteInteger("Width", WindowSize().width());
    reg.WriteInteger("Height", WindowSize().height());
    reg.WriteInteger("Left", pos().x());
    reg.WriteInteger("Top", pos().y());
    reg.WriteInteger("FullWidth", FullWidth);
    reg.WriteInteger("FullHeight", FullHeight);
  }
  reg.WriteInteger("WindowState", (state & Qt::WindowMinimized) ? 1 : (state & Qt::WindowMaximized) ? 2 : 0);
  if (!reg.CloseKey() && !m_placementWarned) {
    // Every step of a drag resizes the window: one box a run, not one a step.
    m_placementWarned = true;
    platform::showWarning(this, QStringLiteral("Unable to save view settings."));
  }
}

void TDiskUsageForm::SaveRegistrySettings() {
  SaveWindowPlacement();
  TAppRegistry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  reg.WriteInteger("TreeViewWidth", TreeView->isVisibleTo(this) ? TreeView->width() : Splitter->sizes().value(0));
  reg.WriteInteger("LVNameWidth", UsageList->header()->sectionSize(0));
  reg.WriteBool("ToolBar", ToolBarCmd->isChecked());
  reg.WriteBool("StatusBar", StatusBarCmd->isChecked());
  reg.WriteBool("TreeView", TreeViewCmd->isChecked());
  reg.WriteBool("Hints", HintsCmd->isChecked());
  reg.WriteBool("StayOnTop", StayOnTopCmd->isChecked());
  reg.WriteBool("SaveOnExit", SaveSettingsOnExitCmd->isChecked());
  reg.WriteBool("ChartVisible", ChartCmd->isChecked());
  if (ListAndTotalsCmd->isChecked())
    reg.WriteInteger("View", 1);
  else if (ListOnlyCmd->isChecked())
    reg.WriteInteger("View", 2);
  else if (TotalsOnlyCmd->isChecked())
    reg.WriteInteger("View", 3);
  reg.WriteInteger("SortOrder", SortAscending ? 1 : 0);
  reg.WriteInteger("SortColumn", SortColumn);
  if (!reg.CloseKey()) platform::showError(this, QStringLiteral("Unable to save view settings."));
}

void TDiskUsageForm::SaveSettingsNowCmdClick() {
  SaveRegistrySettings();
  m_engine.TlrSaveSettings();
}

void TDiskUsageForm::SaveSettingsOnExitCmdClick() {
  SaveSettingsOnExitCmd->setChecked(!SaveSettingsOnExitCmd->isChecked());
}

void TDiskUsageForm::ExitCmdClick() { close(); }

void TDiskUsageForm::closeEvent(QCloseEvent* event) {
  FormClose();
  QMainWindow::closeEvent(event);
}

void TDiskUsageForm::FormClose() {
  if (SaveSettingsOnExitCmd->isChecked()) {
    SaveRegistrySettings();
    m_engine.TlrSaveSettings();
  }
  THtmlHelpHook::Request(THtmlHelpHook::HELP_QUIT_ALL, 0);  // every help window closes
}

void TDiskUsageForm::CenterOnScreen() {
  const QRect screen = primaryScreen();
  const QSize size = WindowSize();
  move(screen.left() + (screen.width() - size.width()) / 2, screen.top() + (screen.height() - size.height()) / 2);
}

void TDiskUsageForm::KeepOnScreen() {
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  const QRect screen = primaryScreen();
  const QSize size = WindowSize();
  int left = pos().x(), top = pos().y();
  if (top + size.height() > screen.bottom() + 1) top = screen.bottom() + 1 - size.height();
  if (left + size.width() > screen.right() + 1) left = screen.right() + 1 - size.width();
  top = std::max(top, screen.top());
  left = std::max(left, screen.left());
  if (QPoint(left, top) != pos()) move(left, top);
}
