// The main window's creation, show, start folder and destruction, and the
// events of child controls that have handlers of the window.
#include "app/disk_usage_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QStyle>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>
#include <sys/stat.h>
#include <unistd.h>

#include "model/folder_path.h"
#include "platform/fs.h"
#include "platform/input_fence.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "support/drop_panel.h"
#include "support/fs_change_notifier.h"
#include "views/chart_panel.h"
#include "views/gauge.h"
#include "views/status_bar.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

std::string currentDirectory() {
  std::string buf(4096, '\0');
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
  return buf.c_str();
}

}  // namespace

TDiskUsageForm::TDiskUsageForm(Options options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)) {
  FormCreate();
}

TDiskUsageForm::~TDiskUsageForm() { FormDestroy(); }

int TDiskUsageForm::Run(Options options) {
  TDiskUsageForm form(std::move(options));
  if (!form.created()) return 1;  // the engine's message has been shown
  form.show();
  return QApplication::exec();
}

void TDiskUsageForm::FormCreate() {
  setWindowTitle(QCoreApplication::applicationName());
  setObjectName(QStringLiteral("DiskUsageForm"));
  setGeometry(343, 122, kFirstStartWidth, kFirstStartHeight);
  QFont windowFont = font();
  // 11 pixels at 96 dpi, in points so that it follows the screen's
  // resolution (QT_FONT_DPI): the list and tree use 13 pixels, 9.75 points.
  windowFont.setPointSizeF(8.25);
  setFont(windowFont);

  if (!m_engine.load(this, m_options.helpFile, m_options.engineCandidates)) return;

  // Column table: figure columns read their statistic through the engine.
  UsageListAttrs = {{{"Name", "", 300, 0},
                     {"Disk Bytes", "DiskBytes", 100, 2},
                     {"File Bytes", "FileBytes", 100, 2},
                     {"Dirs", "Directories", 50, 1},
                     {"Files", "Files", 50, 1},
                     {"Date", "", 150, 0}}};
  for (auto& a : UsageListAttrs) {
    if (a.kind == 1) a.getInt = m_engine.TlrGetStatVal;
    if (a.kind == 2) a.getFloat = m_engine.TlrGetStatValF;
  }

  buildMenus();
  auto* mainPanel = new TDropPanel(this);
  mainPanel->setObjectName(QStringLiteral("MainPanel"));
  MainPanel = mainPanel;
  auto* mainLayout = new QVBoxLayout(mainPanel);
  mainLayout->setContentsMargins(0, 0, 0, 0);
  mainLayout->setSpacing(0);

  DetailsPanel = new QWidget(mainPanel);
  auto* detailsLayout = new QVBoxLayout(DetailsPanel);
  detailsLayout->setContentsMargins(0, 0, 0, 0);
  detailsLayout->setSpacing(0);
  buildFolderTree();
  buildToolBar();
  buildUsageList();
  buildChartPanel();
  // Keys, and clicks on the rows or on the commands (the menu bar, the tool
  // bar), made while a refresh held the window are dropped when it ends: they
  // were aimed at rows it has replaced, and a menu opened by a click made
  // then came up after the window had gone, were it closed meanwhile.
  m_inputFence = std::make_unique<platform::InputFence>([this](const QWidget* w) {
    const auto within = [w](const QWidget* area) { return w == area || area->isAncestorOf(w); };
    return within(UsageList) || within(ChartPanel) || within(menuBar()) || within(ToolBar);
  });
  // The list and the chart share one place; exactly one of them shows.
  auto* viewArea = new QWidget(DetailsPanel);
  auto* viewLayout = new QVBoxLayout(viewArea);
  viewLayout->setContentsMargins(0, 0, 0, 0);
  viewLayout->setSpacing(0);
  viewLayout->addWidget(UsageList);
  viewLayout->addWidget(ChartPanel);
  ChartPanel->hide();
  Splitter = new QSplitter(Qt::Horizontal, DetailsPanel);
  Splitter->setObjectName(QStringLiteral("Splitter"));
  Splitter->setHandleWidth(6);
  Splitter->setOpaqueResize(true);  // the tree follows a drag live
  Splitter->setChildrenCollapsible(false);
  // The tree in a place of its own, so that hiding the tree leaves an empty
  // place of no width and the bar beside it stays (a splitter hides the bar
  // of a hidden widget).
  TreePanel = new QWidget(DetailsPanel);
  auto* treeLayout = new QVBoxLayout(TreePanel);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  treeLayout->addWidget(TreeView);
  Splitter->addWidget(TreePanel);
  Splitter->addWidget(viewArea);
  Splitter->setStretchFactor(1, 1);
  Splitter->setSizes({kTreeViewWidth, 744});
  connect(Splitter, &QSplitter::splitterMoved, this, &TDiskUsageForm::SplitterMoved);
  detailsLayout->addWidget(ToolBar);
  detailsLayout->addWidget(Splitter, 1);
  mainLayout->addWidget(DetailsPanel, 1);

  buildTotalsPanel();
  StatPanel->setParent(mainPanel);
  mainLayout->addWidget(StatPanel);
  setCentralWidget(mainPanel);
  buildStatusBar();

  buildFocusChain();
  EfficiencyGuage->setProgress(0);
  EfficiencyGuage->setBackColor(kSkyBlue);
  installHintFilter();
  AcceptDrops();
  LoadRegistrySettings();
  m_created = true;
}

void TDiskUsageForm::FormDestroy() {
  EndChangeWork();
  m_notifier.reset();
  m_inputFence.reset();
  // The models hold entries and icons only; the engine goes last.
  m_engine.unload();
}

void TDiskUsageForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shownOnce) {
    m_shownOnce = true;
    FormShow();
  }
}

void TDiskUsageForm::FormShow() {
  ApplyStoredModes();
  // The window is placed by its frame. A resize of the native window before
  // it is mapped (totals only shrinks it here) made Qt place the client area
  // there instead, so the frame stood 1 pixel left of and 20 above where it
  // was stored, and the next start stored that: the window crept up 20
  // pixels a start. The frame goes where it was stored on every path.
  const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
  if (QWindow* window = windowHandle(); normal && window && window->frameMargins().isNull())
    window->setFramePosition(pos());
  WMGetMinMaxInfo();
  SyncSortMenu();
  FileSelectCmd->setChecked(TUsageEngine::truth(m_engine.TlrFileSpecOn()));
  ShowFileSelectPicture();  // the button is not pressed until the command has run once
  ClusterSizesCmd->setChecked(TUsageEngine::truth(m_engine.TlrCustomClustersOn()));
  PostAfterShowWhenPainted();
  TreeView->setIconSize(QSize(16, 16));
  TreeView->setStyleSheet(QStringLiteral("QTreeView::item { height: %1px; }")
                              .arg(style()->pixelMetric(QStyle::PM_SmallIconSize) + 6));
}

void TDiskUsageForm::PostAfterShowWhenPainted() {
  // The start folder is computed once the window has been painted: posted at
  // show, the message came before the window system's first expose, and on a
  // slow disk the window stayed black for the whole first refresh (6 s for 11
  // entries at 0.7 s each), its repaints going to a window not yet on screen.
  // The expose paints the window before any posted event runs.
  QWindow* window = windowHandle();
  if (!window || window->isExposed()) {
    QCoreApplication::postEvent(this, new QEvent(WM_AFTERSHOW));
    return;
  }
  window->installEventFilter(this);
  m_afterShowWaitsForExpose = true;
}

void TDiskUsageForm::customEvent(QEvent* event) {
  if (event->type() == WM_AFTERSHOW) {
    WMAfterShow();
    return;
  }
  QMainWindow::customEvent(event);
}

void TDiskUsageForm::WMAfterShow() {
  FitFramedWindow();  // exposed: the window manager's frame is known now
  m_placed = true;
  if (!m_normalPos && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
    m_normalPos = pos();
  // Before the first folder is computed, so that nothing waits behind the box.
  ShowSettingsNotice();
  OpenStartFolder();
}

void TDiskUsageForm::OpenStartFolder() {
  m_treeChangeAttached = true;
  const std::string cwd = currentDirectory();
  const bool treeWasOnCwd = treePath() == cwd;
  const auto& args = m_options.arguments;
  if (args.empty()) {
    SelectFolderPath(cwd);
  } else {
    std::string start;
    if (args.size() >= 2 && args[0] == "/idlist") {
      std::string number = args[1];
      if (!number.empty() && !(number[0] >= '0' && number[0] <= '9')) number.erase(0, 1);
      bool ok = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
                number.size() <= 19;
      if (!ok) {
        platform::showError(this, QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(number)));
        return;
      }
      // No number designates a shell item list here, so the shell never
      // yields a path for it: the fallback path, else the current folder.
      start = args.size() >= 3 ? args[2] : cwd;
    } else {
      start = args[0];
    }
    // "." and ".." resolved and separators single before anything uses the
    // path: the caption, the tree and Up all read it.
    start = AbsoluteNormalPath(start, cwd);
    struct stat st;
    if (!platform::statPath(start, st, true))
      SelectFolderPath(cwd);
    else if (S_ISDIR(st.st_mode))
      SelectFolderPath(start);
    else
      SelectStartFile(start);
  }
  if (treeWasOnCwd) RefreshCmdClick();
}

void TDiskUsageForm::SelectStartFile(const std::string& filePath) {
  std::string folder(platform::folderPart(filePath));
  if (folder.empty()) folder = platform::withTrailingDelim(currentDirectory());
  SelectFolderPath(platform::withoutTrailingDelim(folder));
  RememberedSelection = {platform::withTrailingDelim(platform::withoutTrailingDelim(folder)) +
                         filePath.substr(filePath.rfind(platform::kPathDelim) + 1)};
  ApplyRememberedSelection();
}

// Events of child controls that have handlers of the window.
bool TDiskUsageForm::eventFilter(QObject* watched, QEvent* event) {
  if (m_afterShowWaitsForExpose && watched == windowHandle() && event->type() == QEvent::Expose &&
      windowHandle()->isExposed()) {
    m_afterShowWaitsForExpose = false;
    windowHandle()->removeEventFilter(this);
    QCoreApplication::postEvent(this, new QEvent(WM_AFTERSHOW));  // after this expose has painted
  }
  if (event->type() == QEvent::KeyPress && FormKeyDown(watched, static_cast<QKeyEvent*>(event))) return true;
  if (event->type() == QEvent::MouseButtonDblClick &&
      (watched == MapDrivePanel || watched->parent() == MapDrivePanel)) {
    ComputeOptionsCmdClick();
    return true;
  }
  if (UsageList && watched == UsageList->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // The press before it has selected the row under the pointer. The list
    // does not see the double-click: it would select the row under the
    // pointer in the folder just entered.
    UsageListDblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}


