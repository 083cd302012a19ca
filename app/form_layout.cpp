// The window's layout: detail and totals, detail only or totals only; the
// View menu's toggles (tool bar, status bar, tree, tool tips, stay on top);
// the size limits of each mode; what a resize does.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QResizeEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>
#include <utility>

#include "app/disk_usage_form.h"
#include "model/window_placement.h"
#include "views/chart_panel.h"
#include "views/focus_mark.h"
#include "views/status_bar.h"
#include "views/totals_box.h"
#include "views/usage_list_view.h"

namespace {

// Lets a tool tip through exactly while "&Hints" is checked; every tool tip
// of the program passes here first.
class THintFilter : public QObject {
 public:
  THintFilter(QObject* parent, QAction* hints) : QObject(parent), m_hints(hints) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::ToolTip || m_hints->isChecked()) return false;
    QToolTip::hideText();
    return true;
  }

 private:
  QAction* m_hints;
};

constexpr int kStatPanelBorder = 0;

}  // namespace

void TDiskUsageForm::buildFocusChain() {
  // Tab walks the controls a keyboard user works in; the tool bar's commands
  // each have their menu item and key (its buttons would take ten Tabs, with
  // a focus frame one can hardly see). The window's other widgets take no
  // focus; hidden controls are left out of the chain.
  for (QToolButton* b : ToolBar->findChildren<QToolButton*>()) b->setFocusPolicy(Qt::NoFocus);
  setTabOrder(TreeView, CurrentDirBox);
  setTabOrder(CurrentDirBox, UsageList);
  setTabOrder(UsageList, ChartPanel);
  FocusMark = new TFocusMark(this);
  for (QWidget* w : {static_cast<QWidget*>(TreeView), static_cast<QWidget*>(UsageList), static_cast<QWidget*>(ChartPanel)})
    FocusMark->watch(w);
}

void TDiskUsageForm::installHintFilter() { qApp->installEventFilter(new THintFilter(this, HintsCmd)); }

// Sizes are the window's own area, inside whatever frame the window manager
// draws around it: that frame is known only once the window is up, and a
// size stored with it and restored without it would grow at every restart.
// In these terms the caption and sizing frame add nothing to the limits.
QSize TDiskUsageForm::WindowSize() const { return size(); }

// A large font on a small screen (144 dpi on 800 x 600) showed a stored
// 900 x 600 as 533 x 400, and that was stored for good at the next resize:
// a size limited only by this screen keeps the stored one.
QSize TDiskUsageForm::SizeToStore() const {
  return m_sizeShownOfIt.isValid() && WindowSize() == m_sizeShownOfIt ? m_sizeAskedFor : WindowSize();
}

void TDiskUsageForm::ResizeLimited(QSize askedFor, QSize shown) {
  m_sizeAskedFor = askedFor;
  m_sizeShownOfIt = shown;
  resize(shown);
}

void TDiskUsageForm::SetWindowWidth(int width) { resize(std::max(0, width), height()); }

void TDiskUsageForm::SetWindowHeight(int height) { resize(width(), std::max(0, height)); }

bool TDiskUsageForm::TotalsOnly() const { return TotalsOnlyCmd->isChecked(); }

// The totals group is as wide as its texts need, at least 541 pixels.
int TDiskUsageForm::MinFormWidth() const { return TotalsGroup->width() + 2 * kStatPanelBorder; }

int TDiskUsageForm::MinFormHeight() const {
  int h = menuBar()->sizeHint().height();
  if (StatPanel->isVisibleTo(this)) h += StatPanel->height();
  if (StatusBar->isVisibleTo(this)) h += StatusBar->height();
  if (ToolBar->isVisibleTo(this)) h += kToolBarHeight;
  return h;
}

// The least size of the layout mode, as far as the screen shows it whole: on
// a screen narrower than the totals (480 pixels, or a large font) the window
// fits the screen and the totals' right end is cut, rather than the window's.
QSize TDiskUsageForm::LeastWindowSize() const {
  return QSize(ListOnlyCmd->isChecked() ? 0 : MinFormWidth(), MinFormHeight()).boundedTo(ScreenLimit());
}

int TDiskUsageForm::TotalsOnlyHeight() const {
  return menuBar()->sizeHint().height() + StatPanel->height() + (StatusBarCmd->isChecked() ? StatusBar->height() : 0);
}

QSize TDiskUsageForm::TotalsOnlySize() const {
  return QSize(MinFormWidth(), MinFormHeight()).boundedTo(ScreenLimit());
}

void TDiskUsageForm::WMGetMinMaxInfo() {
  // The desktop's limits apply until the window is up.
  if (!isVisible()) return;
  setMinimumSize(LeastWindowSize());
  if (TotalsOnly())
    setMaximumSize(TotalsOnlySize());  // not resizable in totals only
  else
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TDiskUsageForm::LiftSizeLimits() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TDiskUsageForm::ListAndTotalsCmdClick(QObject* sender) {
  const bool detailsWereShown = DetailsPanel->isVisibleTo(this);
  // Read before the details show: the least size of the full view may
  // resize the window on the way, and every resize in a full view records it.
  const QSize full(FullWidth, FullHeight);
  const bool listAndTotals = sender != ListOnlyCmd && sender != ListOnlyBtn;
  ListAndTotalsCmd->setChecked(listAndTotals);
  ListAndTotalsBtn->setChecked(listAndTotals);
  ListOnlyCmd->setChecked(!listAndTotals);
  ListOnlyBtn->setChecked(!listAndTotals);
  DetailsPanel->show();
  StatPanel->setVisible(listAndTotals);
  ToolBarCmd->setEnabled(true);
  ToolBar->setVisible(ToolBarCmd->isChecked());
  WMGetMinMaxInfo();
  if (!detailsWereShown && full.width() > 0 && full.height() > 0) {
    // Back from totals only: the size the window had before, as far as the
    // screen it is on now can show it.
    ResizeLimited(full, full.boundedTo(ScreenLimit()).expandedTo(minimumSize()));
  }
  if (!detailsWereShown && m_maximiseInFullView) setWindowState(windowState() | Qt::WindowMaximized);
  m_maximiseInFullView = false;
  KeepOnScreen();
  AcceptDrops();
  FormResize();
}

void TDiskUsageForm::ListOnlyCmdClick() { ListAndTotalsCmdClick(ListOnlyCmd); }

void TDiskUsageForm::TotalsOnlyCmdClick() {
  if (DetailsPanel->isVisibleTo(this)) {
    // Maximised, the totals show at their own size all the same, and the
    // full view comes back maximised. The full size to come back to is the
    // normal one, recorded while the window was last normal (a maximised
    // size stored here became the normal size for good).
    m_maximiseInFullView = windowState() & Qt::WindowMaximized;
    if (m_maximiseInFullView) {
      setWindowState(windowState() & ~Qt::WindowMaximized);
      // Where it stood before it was maximised, once the window manager has
      // given the window its normal frame back: left where the maximised
      // window began, the totals stood in the screen's corner; moved at once,
      // by the maximised frame's margins, a pixel up and left of its place
      // after every round trip.
      m_moveWhenSettled = m_normalPos;
    } else {
      FullHeight = SizeToStore().height();
      FullWidth = SizeToStore().width();
    }
  }
  ShrinkToTotals();
  if (m_moveWhenSettled) WaitForPlacementToSettle();
}

void TDiskUsageForm::ShrinkToTotals() {
  TotalsOnlyCmd->setChecked(true);
  DetailsPanel->hide();
  StatPanel->show();
  ToolBar->hide();
  ToolBarCmd->setEnabled(false);
  LiftSizeLimits();  // the old limits would hold the window at its full size
  SetWindowHeight(TotalsOnlySize().height());
  SetWindowWidth(TotalsOnlySize().width());
  WMGetMinMaxInfo();
  KeepOnScreen();
  AcceptDrops();
  repaint();
}

void TDiskUsageForm::ToolBarCmdClick() {
  ToolBarCmd->setChecked(!ToolBarCmd->isChecked());
  ToolBar->setVisible(ToolBarCmd->isChecked());
  WMGetMinMaxInfo();
  if (WindowSize().height() < LeastWindowSize().height()) SetWindowHeight(LeastWindowSize().height());
  KeepOnScreen();
  FormResize();
}

void TDiskUsageForm::StatusBarCmdClick() {
  StatusBarCmd->setChecked(!StatusBarCmd->isChecked());
  const bool shown = StatusBarCmd->isChecked();
  StatusBar->setVisible(shown);
  StatPanelBevel->setVisible(shown);
  if (TotalsOnly()) {
    // The totals keep their size: the window grows or shrinks by the bar.
    LiftSizeLimits();
    SetWindowHeight(WindowSize().height() + (shown ? StatusBar->height() : -StatusBar->height()));
  }
  WMGetMinMaxInfo();
  if (WindowSize().height() < LeastWindowSize().height()) SetWindowHeight(LeastWindowSize().height());
  KeepOnScreen();
  FormResize();
}

void TDiskUsageForm::TreeViewCmdClick() {
  TreeViewCmd->setChecked(!TreeViewCmd->isChecked());
  const bool shown = TreeViewCmd->isChecked();
  if (!shown && TreeView->isVisible()) m_treeWidth = TreeView->width();  // the width to come back to
  TreeView->setVisible(shown);
  ApplyTreeWidth();
}

int TDiskUsageForm::TreeWidthToShow() const {
  // The splitter's two parts share the details area's width less the bar.
  // In totals only that area is hidden: it comes back at the full size.
  const int detailsWidth = DetailsPanel->isVisibleTo(this)
                               ? Splitter->width()
                               : (FullWidth > 0 ? std::min(FullWidth, ScreenLimit().width()) : WindowSize().width());
  const int total = std::max(0, detailsWidth - Splitter->handleWidth());
  return LimitTreeWidth(m_treeWidth, kTreeViewWidth, total, Splitter->widget(1)->minimumSizeHint().width(),
                        TreeView->minimumSizeHint().width());
}

void TDiskUsageForm::ApplyTreeWidth() {
  // Only the tree hides: its place shrinks to nothing, the splitter bar stays
  // at the left edge and the list or chart takes the freed width. A stored
  // 2^31 - 1 once left the list 68 of 694 pixels, and was stored again: the
  // list keeps a third of the width, however wide the tree was stored.
  // Sizes mean something only once the splitter is laid out; until the
  // window is shown the width waits in m_treeWidth.
  if (!isVisible() || !DetailsPanel->isVisible()) return;
  const QList<int> sizes = Splitter->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  const int tree = TreeView->isVisibleTo(this) ? TreeWidthToShow() : 0;
  if (sizes.value(0) != tree) Splitter->setSizes({tree, std::max(1, total - tree)});
}

void TDiskUsageForm::SplitterMoved(int position) {
  if (TreeView->isVisible()) {
    // A drag stops where the list keeps its usable width.
    m_treeWidth = TreeView->width();
    ApplyTreeWidth();
    m_treeWidth = TreeView->width();
  } else if (position > 0) {
    // The bar of a hidden tree dragged to the right: the tree comes back as
    // wide as the bar was dragged, and "Tree View" is checked again.
    m_treeWidth = position;
    TreeViewCmdClick();
  }
}

void TDiskUsageForm::HintsCmdClick() {
  HintsCmd->setChecked(!HintsCmd->isChecked());
  if (!HintsCmd->isChecked()) QToolTip::hideText();
}

void TDiskUsageForm::StayOnTopCmdClick() {
  StayOnTopCmd->setChecked(!StayOnTopCmd->isChecked());
  const Qt::WindowFlags flags = windowFlags().setFlag(Qt::WindowStaysOnTopHint, StayOnTopCmd->isChecked());
  if (QWindow* w = windowHandle()) {
    // On the native window alone: setting the widget's flags would create the
    // window anew, which hides it, shows it again and may move it.
    overrideWindowFlags(flags);
    w->setFlags(flags);
  } else {
    setWindowFlags(flags);  // not created yet: nothing to move or flash
  }
  AcceptDrops();
}

void TDiskUsageForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (m_fitWhenRestored && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
    m_fitWhenRestored = false;
    // Fitted now, and moved to its normal place, as last seen, once the
    // window manager has moved the window back: a window started maximised
    // was put in the screen's corner by the window manager itself now and
    // then (openbox, 2 starts in 6), and stored there.
    FitFramedWindow();
    m_moveWhenSettled = m_normalPos;
    WaitForPlacementToSettle();
  }
  FormResize();
}

// A move alone is stored too, once it has settled (a drag moves the window
// many times): the window manager's last move after a restore from
// maximised, with the frame back, came after the resize that stored the
// placement, and the position stored was off by the frame (1 and 20 pixels,
// so the window crept at every maximise and restart).
void TDiskUsageForm::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (m_settingsLoaded) WaitForPlacementToSettle();
}

void TDiskUsageForm::WaitForPlacementToSettle() {
  if (!m_movedTimer) {
    m_movedTimer = new QTimer(this);
    m_movedTimer->setSingleShot(true);
    m_movedTimer->setInterval(100);
    connect(m_movedTimer, &QTimer::timeout, this, [this] {
      if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
      if (const std::optional<QPoint> to = std::exchange(m_moveWhenSettled, std::nullopt)) {
        move(*to);
        KeepOnScreen();
        return;  // stored once this move has settled
      }
      m_normalPos = pos();
      SaveWindowPlacement();
    });
  }
  m_movedTimer->start();  // again at every move: a drag stores once
}

void TDiskUsageForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // A window started maximised has a normal size limited to the screen
  // before it had a frame: restored, the frame went past the screen and
  // the status bar below it (1280 x 1024 plus the frame on a 1280 x 1024
  // screen). It is fitted at the resize that restores it: a window manager
  // restores the size after this event, and a fit here, from the maximised
  // size, became the normal size (1918 x 1055 for a 900 x 650 window).
  const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  // Restored from minimised (started so from the settings), with no resize
  // to store it: stored now, or every start would be minimised again.
  if ((old & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized) && m_settingsLoaded) SaveWindowPlacement();
  const auto wasFull = old & (Qt::WindowMaximized | Qt::WindowFullScreen);
  if (wasFull && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    m_fitWhenRestored = true;
}

void TDiskUsageForm::FormResize() {
  if (!m_settingsLoaded) return;  // the placement is not this window's yet
  if (WindowSize() != m_sizeShownOfIt) m_sizeShownOfIt = QSize();  // resized: its own size from now on
  if (DetailsPanel->isVisibleTo(this) && !TotalsOnly() && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
    // The full size is the one the window had last in a full view: a size
    // changed in detail and totals is not lost when it is left for totals only.
    FullWidth = SizeToStore().width();
    FullHeight = SizeToStore().height();
  }
  SaveWindowPlacement();
  ApplyTreeWidth();
  ResizeChart();
}

void TDiskUsageForm::FitFramedWindow() {
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  // The size was limited to the screen before the window had a frame; once
  // it has one, the frame must fit as well (a window manager's title bar put
  // the status bar of a screen-sized window below the screen). A window the
  // settings did not place is centred again, frame and all, once: restored
  // from maximised later, it stays where the user put it.
  const QSize fitting = WindowSize().boundedTo(ScreenLimit());
  if (fitting != WindowSize()) ResizeLimited(SizeToStore(), fitting);
  if (!m_placed) CenterOnScreen();
  KeepOnScreen();
}

void TDiskUsageForm::ApplyStoredModes() {
  // Totals only is fitted at its own size: fitted first, at the full view's
  // least height, a window at the screen's bottom moved up at every start.
  if (!TotalsOnlyCmd->isChecked()) FitFramedWindow();
  if (ListOnlyCmd->isChecked()) {
    ListAndTotalsCmdClick(ListOnlyCmd);
  } else if (TotalsOnlyCmd->isChecked()) {
    // A remembered full size from the settings stays; without one, the size
    // the window opens at is the size to come back to.
    // The start-up's own totals only records nothing: every resize stores the
    // placement, and a full size overwritten here even for a moment was
    // stored as 541 x 180, to be restored at the next start.
    if (!m_fullSizeFromSettings) {
      FullHeight = WindowSize().height();
      FullWidth = WindowSize().width();
    }
    ShrinkToTotals();
    FitFramedWindow();
  } else {
    ListAndTotalsCmdClick(ListAndTotalsCmd);
  }
  if (ChartCmd->isChecked())
    ChartCmdClick();
  else
    NumbersCmdClick();
}
