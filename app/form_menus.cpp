// The menu bar and the tool bar, with the commands they trigger.
#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "app/disk_usage_form.h"
#include "views/tool_icons.h"

void TDiskUsageForm::buildMenus() {
  // A checkable item whose handler sets its own mark (a toggle inverts it, the
  // option items follow the engine): the mark Qt moves on a click is put back first.
  auto ownMark = [this](QAction* a, void (TDiskUsageForm::*handler)()) {
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, a, handler] {
      a->setChecked(!a->isChecked());
      (this->*handler)();
    });
  };
  auto disabled = [](QAction* a) {
    a->setEnabled(false);  // its command is not built yet
    return a;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  ReportCmd = file->addAction(QStringLiteral("&Report..."));
  ReportCmd->setStatusTip(QStringLiteral("Generate disk usage report file for the current directory."));
  connect(ReportCmd, &QAction::triggered, this, &TDiskUsageForm::ReportCmdClick);
  file->addSeparator();
  ExitCmd = file->addAction(QStringLiteral("E&xit"));
  connect(ExitCmd, &QAction::triggered, this, &TDiskUsageForm::ExitCmdClick);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  DeleteCmd = edit->addAction(QStringLiteral("Delete"));
  DeleteCmd->setShortcut(QKeySequence(Qt::Key_Delete));
  connect(DeleteCmd, &QAction::triggered, this, &TDiskUsageForm::DeleteCmdClick);
  SelectAllCmd = edit->addAction(QStringLiteral("Select &All"));
  SelectAllCmd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  connect(SelectAllCmd, &QAction::triggered, this, &TDiskUsageForm::SelectAllCmdClick);
  UnselectAllCmd = edit->addAction(QStringLiteral("&Unselect All"));
  UnselectAllCmd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  connect(UnselectAllCmd, &QAction::triggered, this, &TDiskUsageForm::UnselectAllCmdClick);
  InvertSelectionCmd = edit->addAction(QStringLiteral("&Invert Selection"));
  connect(InvertSelectionCmd, &QAction::triggered, this, &TDiskUsageForm::InvertselectionsCmdClick);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  ViewMenu = view;
  auto check = [&](const char* caption, bool on) {
    QAction* a = disabled(view->addAction(QString::fromLatin1(caption)));
    a->setCheckable(true);
    a->setChecked(on);
    return a;
  };
  // Each toggle's handler inverts its own check mark, as the settings load expects.
  auto toggle = [&](const char* caption, bool on, void (TDiskUsageForm::*handler)()) {
    QAction* a = check(caption, on);
    a->setEnabled(true);
    ownMark(a, handler);
    return a;
  };
  ToolBarCmd = toggle("T&ool Bar", true, &TDiskUsageForm::ToolBarCmdClick);
  StatusBarCmd = toggle("Status &Bar", true, &TDiskUsageForm::StatusBarCmdClick);
  TreeViewCmd = toggle("Tree View", true, &TDiskUsageForm::TreeViewCmdClick);
  HintsCmd = toggle("&Hints", true, &TDiskUsageForm::HintsCmdClick);
  StayOnTopCmd = toggle("Sta&y on Top", false, &TDiskUsageForm::StayOnTopCmdClick);
  view->addSeparator();
  auto* numbersOrChart = new QActionGroup(this);
  NumbersCmd = check("&Numbers", false);
  ChartCmd = check("&Chart", true);
  for (QAction* a : {NumbersCmd, ChartCmd}) {
    a->setEnabled(true);
    numbersOrChart->addAction(a);
  }
  connect(NumbersCmd, &QAction::triggered, this, &TDiskUsageForm::NumbersCmdClick);
  connect(ChartCmd, &QAction::triggered, this, &TDiskUsageForm::ChartCmdClick);
  view->addSeparator();
  QMenu* sort = view->addMenu(QStringLiteral("&Sort"));
  const char* sortCaptions[6] = {"by &Name",           "by Dis&k Bytes",  "by File &Bytes",
                                 "by &Directory Count", "by &File Count", "by File D&ate"};
  m_sortColumnGroup = new QActionGroup(this);
  for (int i = 0; i < 6; ++i) {
    SortColumnCmds[i] = sort->addAction(QString::fromLatin1(sortCaptions[i]));
    SortColumnCmds[i]->setCheckable(true);
    SortColumnCmds[i]->setData(i);
    m_sortColumnGroup->addAction(SortColumnCmds[i]);
  }
  sort->addSeparator();
  m_sortDirectionGroup = new QActionGroup(this);
  AscendingCmd = sort->addAction(QStringLiteral("&Ascending"));
  DescendingCmd = sort->addAction(QStringLiteral("D&escending"));
  for (QAction* a : {AscendingCmd, DescendingCmd}) {
    a->setCheckable(true);
    m_sortDirectionGroup->addAction(a);
  }
  SortColumnCmds[0]->setChecked(true);
  AscendingCmd->setChecked(true);
  // A click does not move a check mark by itself: SyncSortMenu does.
  for (QAction* a : m_sortColumnGroup->actions())
    connect(a, &QAction::triggered, this, [this, a] { SortCmdClick(a); });
  for (QAction* a : m_sortDirectionGroup->actions())
    connect(a, &QAction::triggered, this, [this, a] { SortTypeCmdClick(a); });
  view->addSeparator();
  auto* layoutGroup = new QActionGroup(this);
  ListAndTotalsCmd = check("Detail &and Totals", true);
  ListOnlyCmd = check("&Detail Only", false);
  TotalsOnlyCmd = check("&Totals Only", false);
  for (QAction* a : {ListAndTotalsCmd, ListOnlyCmd, TotalsOnlyCmd}) {
    a->setEnabled(true);
    layoutGroup->addAction(a);
  }
  connect(ListAndTotalsCmd, &QAction::triggered, this, [this] { ListAndTotalsCmdClick(ListAndTotalsCmd); });
  connect(ListOnlyCmd, &QAction::triggered, this, &TDiskUsageForm::ListOnlyCmdClick);
  connect(TotalsOnlyCmd, &QAction::triggered, this, &TDiskUsageForm::TotalsOnlyCmdClick);
  view->addSeparator();
  // Its keys are taken where the focus is, as key presses (form_navigation.cpp),
  // so that those made while a refresh held the window are dropped with the
  // rest; as a shortcut of the window they would pass. The menu shows them.
  UpOneLevelCmd = view->addAction(QStringLiteral("&Up One Level"));
  UpOneLevelCmd->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Up), QKeySequence(Qt::Key_Backspace)});
  UpOneLevelCmd->setShortcutContext(Qt::WidgetShortcut);
  connect(UpOneLevelCmd, &QAction::triggered, this, &TDiskUsageForm::UpOneLevelCmdClick);
  RefreshCmd = view->addAction(QStringLiteral("&Refresh"));
  RefreshCmd->setShortcut(QKeySequence(Qt::Key_F5));
  // F5 held down repeats faster than a large folder refreshes: every repeat
  // waited its turn, and the window stayed busy for a minute after the key
  // was let go. A press is one refresh.
  RefreshCmd->setAutoRepeat(false);
  connect(RefreshCmd, &QAction::triggered, this, &TDiskUsageForm::RefreshCmdClick);

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  ComputeOptionsCmd = options->addAction(QStringLiteral("&Compute Options..."));
  connect(ComputeOptionsCmd, &QAction::triggered, this, &TDiskUsageForm::ComputeOptionsCmdClick);
  ClusterSizesCmd = options->addAction(QStringLiteral("C&luster Sizes..."));
  ownMark(ClusterSizesCmd, &TDiskUsageForm::ClusterSizesCmdClick);
  FileSelectCmd = options->addAction(QStringLiteral("&File Specification..."));
  ownMark(FileSelectCmd, &TDiskUsageForm::FileSelectCmdClick);
  options->addSeparator();
  SaveSettingsOnExitCmd = options->addAction(QStringLiteral("Save Settings on &Exit"));
  ownMark(SaveSettingsOnExitCmd, &TDiskUsageForm::SaveSettingsOnExitCmdClick);
  SaveSettingsNowCmd = options->addAction(QStringLiteral("&Save Settings Now"));
  connect(SaveSettingsNowCmd, &QAction::triggered, this, &TDiskUsageForm::SaveSettingsNowCmdClick);

  buildHelpMenu(menuBar()->addMenu(QStringLiteral("&Help")));
  buildChangeCommands(file, view, sort);
}

void TDiskUsageForm::buildToolBar() {
  ToolBar = new QToolBar(DetailsPanel);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setMovable(false);
  ToolBar->setFixedHeight(kToolBarHeight);
  // Separators of a fixed width (9 after the folder box and the up button, 8
  // elsewhere), drawn as a sunken line in their middle.
  auto separator = [&](int width) {
    auto* line = new QFrame(ToolBar);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedSize(width, 22);
    ToolBar->addWidget(line);
  };
  ToolBar->addWidget(CurrentDirBox);
  separator(9);
  auto button = [&](const char* icon, const char* tip, bool enabled) {
    auto* b = new QToolButton(ToolBar);
    b->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
    b->setToolTip(QString::fromLatin1(tip));
    b->setAutoRaise(true);
    b->setFixedWidth(23);
    b->setEnabled(enabled);
    ToolBar->addWidget(b);
    return b;
  };
  // Up and Refresh in pictures of our own: the theme's are a pale grey that
  // looks disabled beside a truly disabled Delete.
  ParentDirBtn = button("go-up", "Up one level", true);
  ParentDirBtn->setIcon(ParentFolderIcon());
  connect(ParentDirBtn, &QToolButton::clicked, this, &TDiskUsageForm::ParentDirBtnClick);
  separator(9);
  RefreshBtn = button("view-refresh", "Refresh", true);
  RefreshBtn->setIcon(RefreshIcon());
  connect(RefreshBtn, &QToolButton::clicked, this, &TDiskUsageForm::RefreshCmdClick);
  separator(8);
  DeleteBtn = button("edit-delete", "Delete selected files and folders", true);
  connect(DeleteBtn, &QToolButton::clicked, this, &TDiskUsageForm::DeleteCmdClick);
  separator(8);
  ReportBtn = button("document-save-as", "Create report file", true);
  connect(ReportBtn, &QToolButton::clicked, this, &TDiskUsageForm::ReportCmdClick);
  FileSelectBtn = button("edit-find", "File specification", true);
  connect(FileSelectBtn, &QToolButton::clicked, this, &TDiskUsageForm::FileSelectCmdClick);
  separator(8);
  // Detail and totals or detail only: pressing one releases the other.
  ListAndTotalsBtn = button("view-split-top-bottom", "Show detail and totals", true);
  ListAndTotalsBtn->setIcon(DetailAndTotalsIcon());
  ListOnlyBtn = button("view-fullscreen", "Show detail only", true);
  auto* layoutButtons = new QButtonGroup(this);
  for (QToolButton* b : {ListAndTotalsBtn, ListOnlyBtn}) {
    b->setCheckable(true);
    layoutButtons->addButton(b);
  }
  ListAndTotalsBtn->setChecked(true);
  connect(ListAndTotalsBtn, &QToolButton::clicked, this, [this] { ListAndTotalsCmdClick(ListAndTotalsBtn); });
  connect(ListOnlyBtn, &QToolButton::clicked, this, [this] { ListAndTotalsCmdClick(ListOnlyBtn); });
  separator(8);
  // Numbers or chart: pressing one releases the other.
  NumbersBtn = button("view-list-details", "Show numbers", true);
  NumbersBtn->setIcon(NumbersIcon());
  ChartBtn = button("view-statistics", "Show chart", true);
  ChartBtn->setIcon(ChartIcon());
  auto* numbersOrChartButtons = new QButtonGroup(this);
  for (QToolButton* b : {NumbersBtn, ChartBtn}) {
    b->setCheckable(true);
    numbersOrChartButtons->addButton(b);
  }
  ChartBtn->setChecked(true);
  connect(NumbersBtn, &QToolButton::clicked, this, &TDiskUsageForm::NumbersCmdClick);
  connect(ChartBtn, &QToolButton::clicked, this, &TDiskUsageForm::ChartCmdClick);
}
