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
#include <QWindow>
#include <climits>

#include "app/disk_usage_form.h"
#include "views/usage_list_model.h"
#include "model/display_name.h"
#include "model/window_placement.h"
#include "platform/message_box.h"
#include "support/app_registry.h"
#include "support/help_hook.h"
#include "views/usage_list_view.h"

namespace {

// The primary screen without its panels.
QRect primaryArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The area a window whose middle is at (x, y) may use: the available area
// (without panels) of the screen holding that point, or of the primary
// screen when no screen does, as for a position stored on a screen that is
// gone or never was.
QRect availableAreaAt(int64_t x, int64_t y) {
  const QScreen* screen = nullptr;
  if (x >= INT_MIN && x <= INT_MAX && y >= INT_MIN && y <= INT_MAX)
    screen = QGuiApplication::screenAt(QPoint(static_cast<int>(x), static_cast<int>(y)));
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
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
    // The tree's width is limited when the tree is laid out, against the
    // width the window then has (form_layout.cpp): 0 or less is none.
    if (const auto w = reg.ReadInteger("TreeViewWidth")) m_treeWidth = *w > 0 ? *w : kTreeViewWidth;
    if (const auto w = reg.ReadInteger("LVNameWidth")) {
      // A damaged or hand-edited width: at least the header's own text and
      // sort arrow (20 pixels left "N" and the arrow); past the screen's
      // width (2^31 - 1 pushed the figures out of reach), or 0 or less, none.
      QHeaderView* header = UsageList->header();
      header->resizeSection(0, LimitNameColumnWidth(*w, kListNameWidth, std::max(header->sectionSizeHint(0), 0),
                                                    primaryArea().width()));
    }

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
    SetShowChanges(reg.ReadBoolDefault("ShowChanges", false));
    SortColumn = reg.ReadIntegerDefault("SortColumn", 1);
    // The Change column (6) only while it is shown.
    if (SortColumn < 0 || SortColumn > 6 || (SortColumn == kChangeColumn && !ShowChangesCmd->isChecked())) SortColumn = 1;
  }
  reg.CloseKey();
  NoteUnusableSettingsFile(reg);

  if (placementRead) {
    // The file may hold any number: a size is limited to the screen's
    // available area (2^31 - 1 square once made a 32,767-pixel window that
    // painted nothing and took gigabytes) and raised to the least size; the
    // position is worked out in 64 bits before the window is moved there.
    // A placement lower than a full view can be is the totals' (totals only,
    // then closed without the full save that stores the view): a full view
    // opens at the remembered full size then. Raised to the least height
    // instead, 541 x 180 became the full size for good.
    const bool fullSize =
        !TotalsOnlyCmd->isChecked() && p.height < MinFormHeight() && p.fullWidth > 0 && p.fullHeight > 0;
    // A side of 0 or less is none: the first start's, as far as the screen
    // shows it. Raised to the least size instead, 0 x 0 opened a 541 x 150
    // window with a 60-pixel detail area, which then became the full size.
    const int64_t width = fullSize ? p.fullWidth : p.width > 0 ? p.width : kFirstStartWidth;
    const int64_t height = fullSize ? p.fullHeight : p.height > 0 ? p.height : kFirstStartHeight;
    const QRect area = availableAreaAt(int64_t(p.left) + width / 2, int64_t(p.top) + height / 2);
    // Totals only (the view was read above) is placed at its own height:
    // kept on the screen at the full view's least height, a window at the
    // screen's bottom moved up 98 pixels at every start.
    const QSize least(MinFormWidth(), TotalsOnlyCmd->isChecked() ? TotalsOnlyHeight() : MinFormHeight());
    const QSize size = LimitWindowSize(width, height, least, area.size());
    // What the screen alone limited stays stored until the user resizes.
    ResizeLimited(RememberedSize(width, height, least), size);
    move(KeepRectOnScreen(p.left, p.top, size, area));
    m_normalPos = pos();
    m_placed = true;
    // A full size of 0 or less is none: the size the window opens at is the
    // one to come back to.
    m_fullSizeFromSettings = p.fullWidth > 0 && p.fullHeight > 0;
    // Limited to the screen when it is applied: a screen too small for it
    // now does not make it smaller for good.
    const QSize full = RememberedSize(p.fullWidth, p.fullHeight, QSize(0, 0));
    FullWidth = m_fullSizeFromSettings ? full.width() : 0;
    FullHeight = m_fullSizeFromSettings ? full.height() : 0;
    switch (p.state & 0xFF) {
      case 1: setWindowState(Qt::WindowMinimized); break;
      case 2:
        // Saved maximised in totals only: the totals at their own size, the
        // full view maximised when it comes back. A maximised totals window
        // (the window manager's frame around a fixed size) crept a pixel at
        // every start.
        if (TotalsOnlyCmd->isChecked())
          m_maximiseInFullView = true;
        else
          setWindowState(Qt::WindowMaximized);
        break;
      default: setWindowState(Qt::WindowNoState); break;
    }
    KeepOnScreen();
  } else {
    // The first start's 1000 x 633 on a smaller screen: as much as it shows.
    resize(WindowSize().boundedTo(ScreenLimit()));
    CenterOnScreen();
  }
  m_settingsLoaded = true;
}

// A settings file that exists but cannot be read or understood reads as no
// settings, and no save writes over it (the store refuses). One that cannot be
// read (permissions, I/O) may read again at the next start: this run keeps to
// the defaults and saves nothing. One that cannot be understood will not mend
// by itself: it is set aside under a name the user is given, and the settings
// are saved afresh. Either is said once, in a box when the window is up
// (ShowSettingsNotice), not by the resizes that save the placement.
void TDiskUsageForm::NoteUnusableSettingsFile(const TAppRegistry& reg) {
  using State = TAppRegistry::FileState;
  if (reg.StoreState() == State::Sound) return;
  const QString file = DisplayName(reg.StoreFile());
  const QString problem = QString::fromStdString(reg.StoreProblem());
  const QString defaults = QStringLiteral("Tallorin starts with its default settings");
  if (reg.StoreState() == State::Foreign) {
    std::string failure;
    if (const auto aside = reg.SetStoreAside(failure)) {
      m_settingsNotice = platform::BoxText{
          QStringLiteral("The settings file is not one Tallorin can read: %1. %2; the file is kept as")
              .arg(problem, defaults),
          {DisplayName(*aside)},
          {}};
      return;
    }
    m_settingsNotice = platform::BoxText{
        QStringLiteral("The settings file is not one Tallorin can read (%1), and it cannot be kept under another "
                       "name (%2). %3 and saves nothing over it:")
            .arg(problem, DisplayName(failure), defaults),
        {file},
        {}};
  } else {
    m_settingsNotice = platform::BoxText{
        QStringLiteral("The settings file cannot be read (%1). %2 and saves nothing over it in this run:")
            .arg(problem, defaults),
        {file},
        {}};
  }
  m_settingsFileKept = true;
  m_placementWarned = true;  // said in the notice
}

void TDiskUsageForm::ShowSettingsNotice() {
  if (!m_settingsNotice) return;
  const platform::BoxText text = std::move(*m_settingsNotice);
  m_settingsNotice.reset();
  platform::showWarning(this, text);
}

void TDiskUsageForm::SaveWindowPlacement() {
  if (m_settingsFileKept) return;
  std::vector<std::pair<const char*, int32_t>> placement;
  const Qt::WindowStates state = windowState();
  if (!(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    placement = {{"Width", SizeToStore().width()}, {"Height", SizeToStore().height()}, {"Left", pos().x()},
                 {"Top", pos().y()},           {"FullWidth", FullWidth},              {"FullHeight", FullHeight}};
  const bool maximised = (state & Qt::WindowMaximized) || (TotalsOnly() && m_maximiseInFullView);
  placement.emplace_back("WindowState", (state & Qt::WindowMinimized) ? 1 : maximised ? 2 : 0);
  // A start resizes the window several times, mostly to where it is
  // already stored, and each save reads and parses the whole file.
  if (placement == m_storedPlacement) return;
  TAppRegistry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  for (const auto& [name, value] : placement) reg.WriteInteger(name, value);
  if (reg.CloseKey()) {
    m_storedPlacement = std::move(placement);
  } else if (!m_placementWarned) {
    // Every step of a drag resizes the window: one box a run, not one a step.
    m_placementWarned = true;
    platform::showWarning(this, QStringLiteral("Unable to save view settings."));
  }
}

void TDiskUsageForm::SaveRegistrySettings() {
  if (m_settingsFileKept) {
    // Asked for by the user: the save they asked for did not happen.
    platform::showError(this, QStringLiteral("Unable to save view settings."));
    return;
  }
  m_storedPlacement.clear();  // stored again: the file may have lost it since
  SaveWindowPlacement();
  TAppRegistry reg;
  if (!reg.OpenKey(kSettingsKey, true)) return;
  // A hidden tree has no width: the one it will come back at is stored.
  reg.WriteInteger("TreeViewWidth", TreeView->isVisible() ? TreeView->width() : TreeWidthToShow());
  reg.WriteInteger("LVNameWidth", UsageList->header()->sectionSize(0));
  reg.WriteBool("ToolBar", ToolBarCmd->isChecked());
  reg.WriteBool("StatusBar", StatusBarCmd->isChecked());
  reg.WriteBool("TreeView", TreeViewCmd->isChecked());
  reg.WriteBool("Hints", HintsCmd->isChecked());
  reg.WriteBool("StayOnTop", StayOnTopCmd->isChecked());
  reg.WriteBool("SaveOnExit", SaveSettingsOnExitCmd->isChecked());
  reg.WriteBool("ChartVisible", ChartCmd->isChecked());
  reg.WriteBool("ShowChanges", ShowChangesCmd->isChecked());
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
  // On the part of the primary screen that panels leave free, frame and all.
  const QRect screen = primaryArea();
  const QSize size = frameGeometry().size();
  move(screen.left() + (screen.width() - size.width()) / 2, screen.top() + (screen.height() - size.height()) / 2);
}

QSize TDiskUsageForm::ScreenLimit() const {
  const QRect frame = frameGeometry();
  const QRect area = availableAreaAt(int64_t(frame.left()) + frame.width() / 2, int64_t(frame.top()) + frame.height() / 2);
  // The frame's margins are known once the window manager has framed the
  // window; before that they count as none.
  const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  return area.size().shrunkBy(margins).expandedTo(QSize(0, 0));
}

void TDiskUsageForm::KeepOnScreen() {
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  // The window with the frame the window manager drew, once there is one.
  const QRect frame = frameGeometry();
  const QRect area = availableAreaAt(int64_t(frame.left()) + frame.width() / 2, int64_t(frame.top()) + frame.height() / 2);
  const QPoint at = KeepRectOnScreen(pos().x(), pos().y(), frame.size(), area);
  if (at != pos()) move(at);
}
