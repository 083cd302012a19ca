#pragma once
// The main window. It owns every control, the engine library handle, the
// current folder path, the sort state and the remembered selection. Every
// member is defined in app/, one source unit per concern:
//   form_lifecycle.cpp    creation, show, start folder, destruction, child events
//   form_menus.cpp        menu bar and tool bar
//   form_refresh.cpp      listing a folder and computing its rows
//   form_selection.cpp    selection sums and the remembered selection
//   form_list.cpp         the list's columns, sorting and sort menu
//   form_panels.cpp       totals panel and status bar
//   form_navigation.cpp   folder tree, folder box, entering folders, opening files
//   form_chart.cpp        the chart view and the switch between numbers and chart
//   form_layout.cpp       layout modes, the View toggles, size limits, resize
//   form_settings.cpp     settings load and save, placement, exit
//   form_watch.cpp        the folder change notifier
//   form_delete.cpp       the Delete command
//   form_item_menu.cpp    the menu of an item, from a right click in the list
//   form_help.cpp         help topics and the about window
//   form_options.cpp      the option commands
//   form_changes.cpp      changes since an earlier look or a saved scan
#include <QDate>
#include <QEvent>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/bar_chart.h"
#include "engine/usage_engine.h"
#include "model/volume_figures.h"
#include "platform/message_box.h"
#include "scan/baseline.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QPainter;
class QWheelEvent;
class QKeyEvent;
class QResizeEvent;
class QCloseEvent;
class QScrollBar;
class TAppRegistry;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;
class QWidget;
class QTimer;
class TDirectoryList;
class TFolderTreeModel;
class TGauge;
class TStatusBar;
class TChartPanel;
class TFocusMark;
class TDropPanel;
class TFSChangeNotifier;
struct TChartAxis;
struct TChartCursor;
struct TTargetFit;
struct TUsageTotals;
struct TEntrySizing;
class TUsageListModel;
class TUsageListView;
namespace platform {
class InputFence;
}

// One column of the usage list and the engine statistic behind it.
struct TUsageListAttrs {
  const char* caption;
  const char* statKey;  // empty for columns without a figure
  int32_t width;        // nominal; the list's widths are set elsewhere
  uint8_t kind;         // 0 no figure, 1 integer, 2 floating point
  TlrGetStatValFn getInt = nullptr;     // bound at start-up for kind 1
  TlrGetStatValFFn getFloat = nullptr;  // bound at start-up for kind 2
};

// Posted by FormShow so the start folder is chosen once the window is up.
inline constexpr QEvent::Type WM_AFTERSHOW = static_cast<QEvent::Type>(QEvent::User + 1);

class TDiskUsageForm : public QMainWindow {
  Q_OBJECT
 public:
  struct Options {
    std::vector<std::string> arguments;        // the command line after the program name
    std::vector<std::string> engineCandidates;  // empty: beside the executable, then the system
    std::string helpFile;                       // handed to the engine at start-up
  };
  explicit TDiskUsageForm(Options options, QWidget* parent = nullptr);
  ~TDiskUsageForm() override;

  // Creates the window and runs the message loop until it closes; 1 at once,
  // with the window never shown, when the engine cannot be loaded.
  static int Run(Options options);

  // False when the engine could not be loaded: the window must not be shown
  // and the program ends with exit code 1.
  bool created() const { return m_created; }

  // --- start-up and lifecycle (form_lifecycle.cpp) ---
  void FormShow();
  void WMAfterShow();
  void OpenStartFolder();
  void SelectStartFile(const std::string& filePath);

  // --- refresh (form_refresh.cpp) ---
  void TreeViewChange();
  void CurrentDirBoxChange();
  struct TFolderSizing;
  void ComputeUsage(TDirectoryList& listing);  // the listing's entries, sized once it is whole
  void ComputeUsage(TDirectoryList& listing, TFolderSizing& sizing);
  // On the sizing thread: no widgets.
  TEntrySizing SizeEntry(int folderFd, const std::string& folder, const TDirectoryItem& entry);
  void ItemNotSizeable();
  void ShowFolderCaption(const std::string& path);  // "Tallorin - " and the path, as it is
  void FollowFolderInTree(const std::string& path, const TDirectoryList& listing);  // its sub-folders' nodes
  void RefreshCmdClick();
  void FocusActiveView();

  // --- selection (form_selection.cpp) ---
  void ShowSelectionTotals();
  void RestoreSelection(const std::vector<std::string>& paths);
  void ApplyRememberedSelection();
  void UsageListSelectionChange();  // the list's selection changed, however
  void SelectAllCmdClick();
  void InvertselectionsCmdClick();
  void UnselectAllCmdClick();

  // --- layout and view modes (form_layout.cpp) ---
  // sender: the menu item or tool button that asked (ListOnlyCmd or
  // ListOnlyBtn for detail only, anything else for detail and totals).
  void ListAndTotalsCmdClick(QObject* sender);
  void ListOnlyCmdClick();
  void TotalsOnlyCmdClick();
  void ToolBarCmdClick();
  void StatusBarCmdClick();
  void TreeViewCmdClick();
  void HintsCmdClick();
  void StayOnTopCmdClick();
  // The window's limits and size: its own area, inside the window manager's
  // frame (form_layout.cpp says why).
  int MinFormWidth() const;
  int MinFormHeight() const;
  void WMGetMinMaxInfo();  // applies the size limits of the layout mode
  void LiftSizeLimits();   // none, while a mode change sets the size
  void FormResize();
  void ApplyStoredModes();  // the stored layout mode and view, when shown
  void FitFramedWindow();  // the size and place fitted again once the window has its frame
  QSize LeastWindowSize() const;  // the mode's least size, as far as the screen shows it
  int TotalsOnlyHeight() const;   // the height totals only has, whatever the mode now
  QSize TotalsOnlySize() const;   // the size in totals only, as far as the screen shows it
  QSize WindowSize() const;
  QSize SizeToStore() const;  // the window's size, or the larger one asked for that the screen limited
  void ResizeLimited(QSize askedFor, QSize shown);
  void SetWindowWidth(int width);
  void SetWindowHeight(int height);
  bool TotalsOnly() const;
  static constexpr int kToolBarHeight = 30;

  // --- settings (form_settings.cpp) ---
  void LoadRegistrySettings();
  void NoteUnusableSettingsFile(const TAppRegistry& reg);
  void ShowSettingsNotice();
  void SaveRegistrySettings();
  void SaveWindowPlacement();
  void SaveSettingsNowCmdClick();
  void SaveSettingsOnExitCmdClick();
  void ExitCmdClick();
  void FormClose();
  void CenterOnScreen();
  void KeepOnScreen();
  QSize ScreenLimit() const;  // the largest size the window's screen shows whole, frame included
  static constexpr const char* kSettingsKey = "\\SOFTWARE\\Quorlan\\Tallorin\\Settings";
  static constexpr int kListNameWidth = 280;  // the name column's width at the first start
  static constexpr int kFirstStartWidth = 1000, kFirstStartHeight = 633;  // the window's, as far as the screen shows it
  // The window's size in the detail modes, kept while it is shrunk to the
  // totals; 0 until known.
  int FullWidth = 0;
  int FullHeight = 0;
  // A size asked for (by the settings, or the full size to come back to) and
  // the smaller size this screen showed of it: until the window is resized,
  // the size asked for is the one stored.
  QSize m_sizeAskedFor, m_sizeShownOfIt;

  // --- delete (form_delete.cpp) ---
  void DeleteCmdClick();
  // Removes paths as the Delete command does (the trash, else for good after
  // askDeleteForGood's yes) with its progress windows, and reports a stop
  // and the failures.
  void RemoveItems(const std::vector<std::string>& paths,
                   const std::function<bool(const std::vector<std::string>& names)>& askDeleteForGood);

  // --- item menu (form_item_menu.cpp) ---
  void UsageListMouseDown(Qt::MouseButton button, const QPoint& pos);
  void ShowItemMenu(const std::string& path, const QPoint& globalPos);
  void ShowItemProperties(const std::string& path);
  // Picks an action of the menu instead of the user (tests); null: the user does.
  std::function<QAction*(QMenu&)> ItemMenuChooser;

  // --- folder watch (form_watch.cpp) ---
  // A watch of folder, to be handed to WatchFolder once its listing is read;
  // null while the current watch is on that folder still.
  std::unique_ptr<TFSChangeNotifier> PrepareWatch(const std::string& folder) const;
  void WatchFolder(const std::string& folder, std::unique_ptr<TFSChangeNotifier> prepared = nullptr);
  void ShellChangeNotifierChange(int32_t eventCode);
  void ShellChangeNotifierGone();  // the folder shown went away: its nearest parent left, in a moment
  void ShowNearestFolderLeft(const std::string& goneFolder);  // as work the user did not start
  // Leaves a folder that is gone for the nearest one left, when the tree is on
  // it or below it, and takes its nodes out of the tree.
  void LeaveGoneFolder(const std::string& goneFolder);
  const TFSChangeNotifier* notifier() const { return m_notifier.get(); }
  int notifiedRefreshes() const { return m_notifiedRefreshes; }  // refreshes a change brought

  // --- help (form_help.cpp) ---
  void ContentsCmdClick();
  void AboutCmdClick();
  static constexpr unsigned kAboutHelpContext = 1013;
  // The manual: one HTML page, beside the executable or installed.
  static constexpr const char* kHelpFileName = "tallorin-help.html";
  static std::string HelpFilePath();

  // --- report and option commands (form_options.cpp) ---
  void ReportCmdClick();
  void ComputeOptionsCmdClick();
  void ClusterSizesCmdClick();
  void FileSelectCmdClick();
  int32_t DriveIndex() const;    // for the option dialogs
  void RefreshAfterOptions();    // the folder again after an option changed
  void ShowFileSelectPicture();  // on or off, as the check mark says

  // --- changes (form_changes.cpp) ---
  void buildChangeCommands(QMenu* file, QMenu* view, QMenu* sort);
  void SetShowChanges(bool on);  // View > Show Changes, and the column, line and sort item it shows
  void ChangesBeforeRefresh(const std::string& folder);  // a saved scan's read begun while folder is computed
  void ChangesAfterRefresh();    // the rows kept as today's look, then compared with the baseline
  void KeepSnapshot();
  void LoadEarlierLook();        // the baseline from the store, for the folder shown
  void CompareRows();            // the rows against the folder's baseline (found first when needed)
  void ShowComparison();  // the rows compared with m_baseline (or nothing), sorted, with their sums
  void ShowChangeLine();
  void FillCompareWithMenu();
  void ChooseBaseline(const QString& scanFile, const QDate& day);
  void CompareWithScanCmdClick();
  void ReadScan(bool userAsked, const std::string& folder);  // the saved scan's rows of folder, in the background
  struct TScanRead;
  void ScanRead(const TScanRead* read);  // ...and once they are read
  void ForgetBaseline();
  void EndChangeWork();           // waits for the reads and writes still running
  // Picks the scan instead of the user (tests); null: a file dialog asks.
  std::function<QString()> ScanFileChooser;
  const QString& baselineText() const { return m_baselineText; }
  bool scanReadRunning() const { return m_scanRead != nullptr; }
  void WaitForSnapshotWrite();  // the look being kept, written (tests, benchmarks)

  // --- usage list (form_list.cpp) ---
  void SortByColumn(int column);
  void SyncSortMenu();
  void ClearUsageRows();
  void FitFigureColumns();
  void FitChangeColumn();
  void FitColumnsToTexts();  // the least widths: captions with their arrow, the widest date
  void UsageListColumnClick(int column);
  void SortCmdClick(QAction* item);
  void SortTypeCmdClick(QAction* item);

  // --- navigation (form_navigation.cpp) ---
  void SelectFolderPath(const std::string& path);
  void OpenFolder(const std::string& path);
  void UsageListDblClick();
  // What a double-click does with an item of the folder: a folder, or a link
  // to one, is entered; anything else goes to the desktop's application.
  // False when the desktop's opener could not be started.
  bool OpenItem(const std::string& path);
  std::string ResolveShortcut(const std::string& path);
  void ParentDirBtnClick();
  void UpOneLevelCmdClick();  // the menu item and its keys: the keyboard stays where it was
  // Keys of the list, the chart, the tree and the folder box that the window
  // acts on (Enter, Backspace, Alt+Up, the chart's moves); true when taken.
  bool FormKeyDown(QObject* watched, QKeyEvent* event);
  bool UsageListKeyDown(QKeyEvent* event);
  // The focus given back, when the scope ends, to the control that had it
  // when the scope began (if it is still shown).
  class KeyboardStays {
   public:
    explicit KeyboardStays(TDiskUsageForm* form);
    ~KeyboardStays();

   private:
    TDiskUsageForm* m_form;
    QPointer<QWidget> m_focus;
  };
  void CurrentDirBoxClick();
  bool TreeViewAddFolder(const std::string& path) const;
  bool TreeViewEditing() const { return false; }  // tree labels are never edited
  void MainPanelFileDrop(const std::vector<std::string>& paths);
  void AcceptDrops();  // MainPanel's OnFileDrop set (again) to MainPanelFileDrop
  std::string treePath() const;
  std::string currentDirBoxPath() const;

  // --- chart view (form_chart.cpp) ---
  void NumbersCmdClick();
  void ChartCmdClick();
  void BuildUsageChart();
  void ClearChart();
  int ChartRowsPerPage() const;
  int ChartRowAt(int x, int y) const;
  bool RowIsFolder(int row) const;
  void ChartScrollScroll(int position);
  // Wheel events of the whole window, offered before the control under the
  // pointer gets them; true when the chart took the event.
  bool FormMouseWheelDown(const QPoint& globalPos);
  bool FormMouseWheelUp(const QPoint& globalPos);
  // Up, Down, Page Up, Page Down, Home and End move the chart's current row
  // and its page; Enter enters a folder row as a click on its name does.
  bool ChartPanelKeyDown(QKeyEvent* event);
  int ChartCurrentRow = -1;  // the chart's row the keys act on; -1 for none
  int ChartRowCount() const;  // the rows the chart shows
  void ShowChartCursor(const TChartCursor& cursor);  // the current row and its page
  void DrawChartFocus(QPainter& painter, const TChartAxis& axis);
  void UsageChartMouseMove(const QPoint& pos);
  void UsageChartClick(const QPoint& pos);
  void UsageChartAfterDraw(QPainter& painter, const TBarChart::CategoryAxis& axis);
  void ResizeChart();                // the chart's part of a resize of the window
  void SetUpChartScroll(int rows);   // the refresh's scroll bar setup
  void FitChartScrollRange(int rows);  // maximum and visibility for the chart's height

  // State other parts and tests read.
  const std::string& currentFolderPath() const { return m_currentFolderPath; }
  int SortColumn = 0;
  bool SortAscending = true;
  std::vector<std::string> RememberedSelection;
  std::array<TUsageListAttrs, 6> UsageListAttrs;
  TUsageEngine& engine() { return m_engine; }

  // Controls, named as the user knows them.
  TFolderTreeModel* TreeModel = nullptr;
  QTreeView* TreeView = nullptr;
  QWidget* TreePanel = nullptr;  // the tree's place left of the splitter bar; empty while the tree is hidden
  QSplitter* Splitter = nullptr;
  QComboBox* CurrentDirBox = nullptr;
  TUsageListModel* UsageModel = nullptr;
  TUsageListView* UsageList = nullptr;
  TDropPanel* MainPanel = nullptr;  // holds every other control
  TChartPanel* ChartPanel = nullptr;
  TBarChart* UsageChart = nullptr;
  QScrollBar* ChartScroll = nullptr;
  int DiskBytesSeries = 0;
  int FileBytesSeries = 1;
  QToolBar* ToolBar = nullptr;
  QWidget* DetailsPanel = nullptr;
  QWidget* StatPanel = nullptr;
  QWidget* TotalsGroup = nullptr;
  QWidget* MapDrivePanel = nullptr;
  QLabel* FilesValLabel = nullptr;
  QLabel* DirectoriesValLabel = nullptr;
  QLabel* FileBytesValLabel = nullptr;
  QLabel* DiskBytesValLabel = nullptr;
  QLabel* MapDriveValLabel = nullptr;
  QLabel* EfficiencyValLabel = nullptr;
  TGauge* EfficiencyGuage = nullptr;
  TGauge* TargetGuage = nullptr;
  QWidget* StatPanelBevel = nullptr;
  TStatusBar* StatusBar = nullptr;
  TFocusMark* FocusMark = nullptr;  // over the tree, the list or the chart, whichever has the focus
  QString statusPanelText(int panel) const;

  // Menu items.
  QAction* ReportCmd = nullptr;
  QAction* ExitCmd = nullptr;
  QAction* DeleteCmd = nullptr;
  QAction* SelectAllCmd = nullptr;
  QAction* UnselectAllCmd = nullptr;
  QAction* InvertSelectionCmd = nullptr;
  QAction* RefreshCmd = nullptr;
  QAction* UpOneLevelCmd = nullptr;
  QAction* ToolBarCmd = nullptr;
  QAction* StatusBarCmd = nullptr;
  QAction* TreeViewCmd = nullptr;
  QAction* HintsCmd = nullptr;
  QAction* StayOnTopCmd = nullptr;
  QAction* ListAndTotalsCmd = nullptr;
  QAction* ListOnlyCmd = nullptr;
  QAction* TotalsOnlyCmd = nullptr;
  QAction* SaveSettingsOnExitCmd = nullptr;
  QAction* SaveSettingsNowCmd = nullptr;
  QAction* HelpTopicsCmd = nullptr;
  QAction* AboutCmd = nullptr;
  QAction* NumbersCmd = nullptr;
  QAction* ChartCmd = nullptr;
  QAction* ShowChangesCmd = nullptr;
  QAction* CompareWithScanCmd = nullptr;
  QAction* ChangeSortCmd = nullptr;
  QMenu* CompareWithMenu = nullptr;
  QMenu* ViewMenu = nullptr;
  std::array<QAction*, 6> SortColumnCmds{};  // NameSortCmd ... FileDateSortCmd
  QAction* AscendingCmd = nullptr;
  QAction* DescendingCmd = nullptr;
  QAction* FileSelectCmd = nullptr;
  QAction* ClusterSizesCmd = nullptr;
  QAction* ComputeOptionsCmd = nullptr;
  QToolButton* ParentDirBtn = nullptr;
  QToolButton* ReportBtn = nullptr;
  QToolButton* FileSelectBtn = nullptr;
  QToolButton* RefreshBtn = nullptr;
  QToolButton* DeleteBtn = nullptr;
  QToolButton* ListAndTotalsBtn = nullptr;
  QToolButton* ListOnlyBtn = nullptr;
  QToolButton* NumbersBtn = nullptr;
  QToolButton* ChartBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void customEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void WaitForPlacementToSettle();  // the placement stored, and noted, once moves have settled
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  void PostAfterShowWhenPainted();
  bool m_afterShowWaitsForExpose = false;
  void buildMenus();
  void buildToolBar();
  void buildUsageList();
  void buildTotalsPanel();
  void buildStatusBar();
  // What the totals panel and status bar show (form_panels.cpp).
  void ResetTotals(int32_t mapDrive);  // the target drive option, read before the refresh began
  void ShowTotals(const TUsageTotals& totals);
  void FitStatPanel();  // the totals panel around its group, after the group grew
  void ShowTargetFit(const TTargetFit& fit);
  long double TargetCapacity();  // free bytes of the last computation's target
  void ShowVolumeStatus(const TVolumeFigures& volume);
  TVolumeFigures ReadVolumeFigures();  // of the engine's last computation
  void ShowAutomaticFailure(const QString& text);  // a failure nobody asked to see in a box
  void RepaintTotals();  // paints the totals now, while rows arrive
  void ShowCalcFailure(const std::string& path, int32_t code);
  void buildFolderTree();
  void buildChartPanel();
  // Tab goes tree, folder box, list or chart; the focus shows (form_layout.cpp).
  void buildFocusChain();
  void buildHelpMenu(QMenu* help);
  void onTreeSelectionChanged();
  void onCurrentDirBoxActivated(int index);
  void setCurrentDirBoxPath(const std::string& path);
  void installHintFilter();
  void ShrinkToTotals();  // totals only, leaving the remembered full size alone
  void SplitterMoved(int position);
  int TreeWidthToShow() const;  // m_treeWidth as far as the list beside it keeps a usable width
  void ApplyTreeWidth();        // the tree (or its empty place) at that width, once laid out
  bool chartWheel(const QPoint& globalPos, int step);
  bool offerWheel(QWheelEvent* event);
  TChartAxis chartAxis() const;
  // The Delete command follows the view: usable in numbers, not in the chart.
  void SetDeleteEnabled(bool enabled);

  Options m_options;
  TUsageEngine m_engine;
  bool m_created = false;
  bool m_shownOnce = false;
  bool m_treeChangeAttached = false;
  std::string m_currentFolderPath;
  // The last refresh found nothing it could read in the folder: with no rows,
  // the item panel says so rather than "0 items", whatever sums it since.
  // Cleared with the rows.
  bool m_folderUnread = false;
  // The last refresh stopped before its end, the window being asked to close:
  // the item panel says so, whatever sums it since.
  bool m_refreshStopped = false;
  int m_wheelRemainder = 0;  // wheel turns below one notch, kept for the next event
  std::unique_ptr<TFSChangeNotifier> m_notifier;  // at most one: the folder last listed
  int m_notifiedRefreshes = 0;
  // Work the user did not start (a change on the disk): it opens no box and
  // leaves the focus alone; it waits while a box or a refresh is open, and
  // then one refresh runs (form_watch.cpp).
  bool m_automaticRefresh = false;
  bool m_refreshing = false;
  std::unique_ptr<platform::InputFence> m_inputFence;  // raised at the end of every refresh
  enum class PendingChange { None, Changed, Gone } m_pendingChange = PendingChange::None;
  QTimer* m_pendingTimer = nullptr;  // owned by the window
  QTimer* m_movedTimer = nullptr;    // the placement stored once a move has settled
  std::optional<QPoint> m_moveWhenSettled;  // left maximised for totals only: its normal place
  std::string m_goneFolder;  // the watched folder that went away, while PendingChange::Gone
  bool AutomaticWorkMustWait() const;
  void ArmPendingChange(PendingChange change, int ms);
  void RunPendingChange();
  TVolumeFigures m_folderVolume;  // of the folder shown, as the status bar has it
  QLabel* m_failureNote = nullptr;  // over the status bar; owned by it
  bool m_settingsLoaded = false;        // resizes store the placement from then on
  bool m_fullSizeFromSettings = false;  // the remembered full size came from the settings
  bool m_fitWhenRestored = false;  // left maximised: the normal size is fitted to the frame
  // Totals only was chosen on a maximised window: the totals show at their
  // own size, and the full view comes back maximised (stored as state 2).
  bool m_maximiseInFullView = false;
  // Where the window's frame stood when it was last seen normal and settled:
  // as read from the settings, then after each move. A window started
  // maximised has no normal geometry the platform knows of.
  std::optional<QPoint> m_normalPos;
  bool m_placed = false;  // the window has its place: from the settings, or centred once it had its frame
  bool m_placementWarned = false;       // the placement save's failure is shown once a run
  std::vector<std::pair<const char*, int32_t>> m_storedPlacement;  // as the last placement save stored it
  // The settings file could not be read (or understood and not set aside):
  // the settings in force are defaults, and nothing is saved over the file.
  bool m_settingsFileKept = false;
  std::optional<platform::BoxText> m_settingsNotice;  // said once the window is up
  static constexpr int kTreeViewWidth = 250;  // the tree's width at the first start
  int m_treeWidth = kTreeViewWidth;     // the tree's width when it was last shown (or as stored)
  // The totals as RepaintTotals last painted them.
  std::array<QString, 5> m_paintedTotals;
  int m_paintedEfficiency = -1;
  QActionGroup* m_sortColumnGroup = nullptr;
  QActionGroup* m_sortDirectionGroup = nullptr;
  // What the rows are compared with while changes are shown: a saved scan,
  // else the day's look chosen, else the newest look before today.
  QString m_scanFile;
  QDate m_baselineDay;
  std::optional<scan::Baseline> m_baseline;  // of m_baselineFolder; none while there is none or it is read
  std::string m_baselineFolder;
  QString m_baselineText;  // "since Mon 30 Nov 2026 14:02", or why there is no baseline
  // Shared, so that the window's other units need not know the type.
  std::shared_ptr<TScanRead> m_scanRead;  // the scan being read for the folder shown
  std::vector<std::shared_ptr<TScanRead>> m_abandonedReads;  // stopping; waited for at the end
  std::future<void> m_snapshotWrite;  // the last refresh's look, being kept
};
