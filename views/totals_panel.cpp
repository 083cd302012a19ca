// The totals panel's boxes and the status bar's four panels.
#include <QFrame>
#include <QLabel>
#include <QStatusBar>

#include "app/disk_usage_form.h"
#include "views/gauge.h"
#include "views/status_bar.h"

namespace {

// A lowered box with a caption on the left and a right-aligned value label.
QLabel* makeBox(QWidget* group, const QRect& box, const char* caption, const QRect& value, QWidget** panelOut = nullptr,
                TGauge** gaugeOut = nullptr) {
  auto* panel = new QFrame(group);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(box);
  if (gaugeOut) {
    *gaugeOut = new TGauge(panel);
    (*gaugeOut)->setGeometry(1, 1, box.width() - 2, box.height() - 2);
  }
  auto* cap = new QLabel(QString::fromLatin1(caption), panel);
  cap->move(4, 2);
  cap->setAttribute(Qt::WA_TranslucentBackground);
  auto* val = new QLabel(panel);
  val->setGeometry(value);
  val->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  val->setAttribute(Qt::WA_TranslucentBackground);
  if (panelOut) *panelOut = panel;
  return val;
}

}  // namespace

void TDiskUsageForm::buildTotalsPanel() {
  StatPanel = new QWidget(this);
  StatPanel->setObjectName(QStringLiteral("StatPanel"));
  StatPanel->setFixedHeight(45);
  TotalsGroup = new QWidget(StatPanel);
  TotalsGroup->setObjectName(QStringLiteral("TotalsGroup"));
  TotalsGroup->setGeometry(0, 0, 541, 43);
  QFont f = font();
  f.setPixelSize(11);
  TotalsGroup->setFont(f);
  FilesValLabel = makeBox(TotalsGroup, {1, 3, 143, 18}, "Files", {75, 2, 65, 13});
  DirectoriesValLabel = makeBox(TotalsGroup, {1, 23, 143, 18}, "Directories", {75, 2, 65, 13});
  FileBytesValLabel = makeBox(TotalsGroup, {146, 3, 218, 18}, "Bytes in files", {101, 2, 114, 14});
  DiskBytesValLabel = makeBox(TotalsGroup, {146, 23, 218, 18}, "Disk bytes used", {100, 2, 115, 13});
  MapDriveValLabel = makeBox(TotalsGroup, {366, 3, 108, 18}, "Target drive", {84, 2, 21, 13}, &MapDrivePanel, &TargetGuage);
  MapDrivePanel->setToolTip(QStringLiteral("Double click to change"));
  // A double-click on the box, its caption or its value opens the compute options.
  MapDrivePanel->installEventFilter(this);
  for (QObject* child : MapDrivePanel->children())
    if (child->isWidgetType()) child->installEventFilter(this);
  EfficiencyValLabel = makeBox(TotalsGroup, {366, 23, 108, 18}, "Efficiency", {77, 2, 28, 13}, nullptr, &EfficiencyGuage);
  TargetGuage->setProgress(100);
  // A 2-pixel line at the foot, shown with the status bar.
  auto* bevel = new QFrame(StatPanel);
  bevel->setObjectName(QStringLiteral("StatPanelBevel"));
  bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel->setLineWidth(1);
  bevel->setGeometry(0, 43, 4000, 2);
  StatPanelBevel = bevel;
  for (QLabel* l : {FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel, MapDriveValLabel,
                    EfficiencyValLabel})
    l->setObjectName(QStringLiteral("ValLabel"));
}

void TDiskUsageForm::buildStatusBar() {
  StatusBar = new TStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setCustomClusterQuery([this] { return TUsageEngine::truth(m_engine.TlrIsCustomCluster()); });
  connect(StatusBar, &TStatusBar::clusterPanelDoubleClicked, this, &TDiskUsageForm::ClusterSizesCmdClick);
  setStatusBar(StatusBar);
}

void TDiskUsageForm::ComputeOptionsCmdClick() {
  if (!ComputeOptionsCmd->isEnabled()) return;  // the dialog comes with the option commands
}

void TDiskUsageForm::ClusterSizesCmdClick() {
  if (!ClusterSizesCmd->isEnabled()) return;  // the dialog comes with the option commands
}
