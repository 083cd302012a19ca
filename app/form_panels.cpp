// The totals panel's boxes and what they show, and the status bar's panels.
#include <QFrame>
#include <QLabel>

#include "app/disk_usage_form.h"
#include "model/usage_totals.h"
#include "views/figure_format.h"
#include "views/gauge.h"
#include "views/status_bar.h"
#include "views/totals_box.h"

void TDiskUsageForm::buildTotalsPanel() {
  StatPanel = new QWidget(this);
  StatPanel->setObjectName(QStringLiteral("StatPanel"));
  auto* group = new TTotalsGroup(StatPanel);
  TotalsGroup = group;
  TotalsGroup->setObjectName(QStringLiteral("TotalsGroup"));
  // Opaque, so that repainting a value paints the group and not the window
  // under it: a fill of the window's size costs as much as the whole totals.
  TotalsGroup->setAutoFillBackground(true);
  FilesValLabel = group->box(TTotalsGroup::Files).value;
  DirectoriesValLabel = group->box(TTotalsGroup::Directories).value;
  FileBytesValLabel = group->box(TTotalsGroup::FileBytes).value;
  DiskBytesValLabel = group->box(TTotalsGroup::DiskBytes).value;
  const TTotalsBox& target = group->box(TTotalsGroup::MapDrive);
  MapDrivePanel = target.panel;
  MapDriveValLabel = target.value;
  TargetGuage = target.gauge;
  MapDrivePanel->setToolTip(QStringLiteral("Double click to change"));
  // A double-click on the box, its caption or its value opens the compute options.
  MapDrivePanel->installEventFilter(this);
  for (QObject* child : MapDrivePanel->children())
    if (child->isWidgetType()) child->installEventFilter(this);
  EfficiencyValLabel = group->box(TTotalsGroup::Efficiency).value;
  EfficiencyGuage = group->box(TTotalsGroup::Efficiency).gauge;
  TargetGuage->setProgress(100);
  // A 2-pixel line at the foot, shown with the status bar.
  auto* bevel = new QFrame(StatPanel);
  bevel->setObjectName(QStringLiteral("StatPanelBevel"));
  bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel->setLineWidth(1);
  StatPanelBevel = bevel;
  for (QLabel* l : {FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel, MapDriveValLabel,
                    EfficiencyValLabel})
    l->setObjectName(QStringLiteral("ValLabel"));
  FitStatPanel();
  connect(group, &TTotalsGroup::sizeChanged, this, &TDiskUsageForm::FitStatPanel);
}

void TDiskUsageForm::FitStatPanel() {
  // The panel is the group and the line below it; the window's least size
  // follows the group's width.
  const int groupHeight = TotalsGroup->height();
  StatPanel->setFixedHeight(groupHeight + 2);
  StatPanelBevel->setGeometry(0, groupHeight, 4000, 2);
  if (!isVisible()) return;
  WMGetMinMaxInfo();
  if (TotalsOnly()) {
    SetWindowHeight(TotalsOnlySize().height());
    SetWindowWidth(TotalsOnlySize().width());
  }
}

void TDiskUsageForm::buildStatusBar() {
  StatusBar = new TStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setCustomClusterQuery([this] { return m_folderVolume.customCluster; });
  connect(StatusBar, &TStatusBar::clusterPanelDoubleClicked, this, &TDiskUsageForm::ClusterSizesCmdClick);
  setStatusBar(StatusBar);
}

void TDiskUsageForm::ResetTotals(int32_t mapDrive) {
  if (m_failureNote) m_failureNote->hide();
  m_paintedTotals = {};
  m_paintedEfficiency = -1;
  for (QLabel* l : {FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel})
    l->setText(QStringLiteral("0"));
  EfficiencyValLabel->setText(QStringLiteral("100%"));
  EfficiencyGuage->setProgress(0);
  TargetGuage->setForeColor(palette().color(QPalette::Button));

  if (mapDrive >= 1)
    MapDriveValLabel->setText(QString(QChar(64 + mapDrive)) + QLatin1Char(':'));
  else
    MapDriveValLabel->clear();
  static_cast<TTotalsGroup*>(TotalsGroup)->fitValues();
  MapDrivePanel->repaint();
}

void TDiskUsageForm::ShowTotals(const TUsageTotals& totals) {
  FilesValLabel->setText(FormatFigure(totals.files));
  DirectoriesValLabel->setText(FormatFigure(totals.dirs));
  FileBytesValLabel->setText(FormatFigure(static_cast<double>(totals.fileBytes)));
  DiskBytesValLabel->setText(FormatFigure(static_cast<double>(totals.diskBytes)));
  if (const auto e = totals.efficiency()) {
    EfficiencyValLabel->setText(QString::number(*e) + QLatin1Char('%'));
    EfficiencyGuage->setProgress(EfficiencyGaugeProgress(*e));
  }
  static_cast<TTotalsGroup*>(TotalsGroup)->fitValues();
}

long double TDiskUsageForm::TargetCapacity() {
  return static_cast<long double>(m_engine.TlrGetStatVal("DiskFree")) * m_engine.TlrGetStatVal("SizeFactor");
}

void TDiskUsageForm::ShowTargetFit(const TTargetFit& fit) {
  switch (fit.colour) {
    case TTargetFit::Normal: TargetGuage->setForeColor(palette().color(QPalette::Button)); break;
    case TTargetFit::Yellow: TargetGuage->setForeColor(QColor(255, 255, 0)); break;
    case TTargetFit::Red: TargetGuage->setForeColor(QColor(255, 0, 0)); break;
  }
  TargetGuage->setProgress(fit.progress);
}

TVolumeFigures TDiskUsageForm::ReadVolumeFigures() {
  TVolumeFigures v;
  v.clusterSize = m_engine.TlrGetStatVal("ClusterSize");
  v.sizeFactor = m_engine.TlrGetStatVal("SizeFactor");
  v.diskFree = m_engine.TlrGetStatVal("DiskFree");
  v.diskTotal = m_engine.TlrGetStatVal("DiskTotal");
  v.fileSystem = m_engine.TlrGetFileSysName();
  v.customCluster = TUsageEngine::truth(m_engine.TlrIsCustomCluster());
  return v;
}

void TDiskUsageForm::ShowVolumeStatus(const TVolumeFigures& volume) {
  m_folderVolume = volume;  // the cluster panel's colour reads it at every paint
  StatusBar->setPanelText(3, QString::fromStdString(volume.fileSystem));
  StatusBar->setPanelText(2, ClusterText(volume.clusterSize));
  StatusBar->setPanelText(1, FreeSpaceText(volume.diskFree, volume.diskTotal, volume.sizeFactor));
}

void TDiskUsageForm::ShowAutomaticFailure(const QString& text) {
  // Over the status bar, whose panels a failure leaves empty: the user sees
  // why the rows stopped without a box to answer. The whole text is the tip.
  if (!m_failureNote) {
    m_failureNote = new QLabel(StatusBar);
    m_failureNote->setObjectName(QStringLiteral("FailureNote"));
    m_failureNote->setTextFormat(Qt::PlainText);
    m_failureNote->setAutoFillBackground(true);
  }
  m_failureNote->setGeometry(StatusBar->rect().adjusted(2, 1, -2, -1));
  m_failureNote->setText(m_failureNote->fontMetrics().elidedText(text, Qt::ElideMiddle, m_failureNote->width() - 4));
  m_failureNote->setToolTip(text);
  m_failureNote->show();
}

QString TDiskUsageForm::statusPanelText(int panel) const { return StatusBar->panelText(panel); }

void TDiskUsageForm::RepaintTotals() {
  // Only values that changed since the last time are painted: the counts and
  // bytes with every batch of rows, the efficiency now and then. Painting the
  // captions and the unchanged boxes again cost more than the values.
  QRegion changed;
  const std::array<QLabel*, 5> values{FilesValLabel, DirectoriesValLabel, FileBytesValLabel, DiskBytesValLabel,
                                      EfficiencyValLabel};
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i]->text() == m_paintedTotals[i]) continue;
    m_paintedTotals[i] = values[i]->text();
    changed += QRect(values[i]->mapTo(TotalsGroup, QPoint(0, 0)), values[i]->size());
  }
  if (EfficiencyGuage->progress() != m_paintedEfficiency) {
    m_paintedEfficiency = EfficiencyGuage->progress();
    changed += QRect(EfficiencyGuage->mapTo(TotalsGroup, QPoint(0, 0)), EfficiencyGuage->size());
  }
  if (!changed.isEmpty()) TotalsGroup->repaint(changed);
}
