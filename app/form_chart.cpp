// The chart view: the rows as a paged horizontal bar chart of disk bytes and
// file bytes, its scrolling, hit test, hover, click and row icons, and the
// switch between numbers and chart.
#include <QAction>
#include <QApplication>
#include <functional>
#include <memory>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QKeyEvent>
#include <QWheelEvent>

#include "app/disk_usage_form.h"
#include "views/figure_format.h"
#include "chart/bar_chart.h"
#include "model/chart_cursor.h"
#include "model/chart_page.h"
#include "views/chart_panel.h"
#include "views/usage_list_model.h"
#include "views/usage_list_view.h"

namespace {

const QColor kDiskBytesColour(78, 124, 158);
const QColor kFileBytesColour(141, 166, 175);

// Offers the wheel events of the whole window to the chart before the control
// under the pointer gets them. A filter of its own, on the application: the
// window's filter sits on single controls, and would see their events twice.
class TWheelOffer : public QObject {
 public:
  TWheelOffer(TDiskUsageForm* form, std::function<bool(QWheelEvent*)> offer)
      : QObject(form), m_form(form), m_offer(std::move(offer)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    return event->type() == QEvent::Wheel && watched->isWidgetType() &&
           static_cast<QWidget*>(watched)->window() == m_form && m_offer(static_cast<QWheelEvent*>(event));
  }

 private:
  TDiskUsageForm* m_form;
  std::function<bool(QWheelEvent*)> m_offer;
};

}  // namespace

void TDiskUsageForm::buildChartPanel() {
  auto* panel = new TChartPanel(DetailsPanel);
  panel->setObjectName(QStringLiteral("ChartPanel"));
  ChartPanel = panel;
  UsageChart = panel->chart();
  ChartScroll = panel->scrollBar();
  DiskBytesSeries = UsageChart->addSeries(QStringLiteral("Disk Bytes"), kDiskBytesColour);
  FileBytesSeries = UsageChart->addSeries(QStringLiteral("File Bytes"), kFileBytesColour);
  UsageChart->setMarginsPercent(3, 3, 8, 3);
  UsageChart->setValueLabelSuffix(QString::fromLatin1(kChartKilobytes.suffix));
  // Before the first refresh: rows 0 to 6, eight points per page; the first
  // resize replaces both.
  UsageChart->setCategoryRange(0, 6);
  UsageChart->setPointsPerPage(8);
  connect(ChartScroll, &QScrollBar::valueChanged, this, &TDiskUsageForm::ChartScrollScroll);
  connect(UsageChart, &TBarChart::pointerMoved, this, &TDiskUsageForm::UsageChartMouseMove);
  connect(UsageChart, &TBarChart::clicked, this, &TDiskUsageForm::UsageChartClick);
  connect(UsageChart, &TBarChart::afterDraw, this, &TDiskUsageForm::UsageChartAfterDraw);
  connect(panel, &TChartPanel::chartResized, this, &TDiskUsageForm::ResizeChart);
  // The chart's keys, and Up one level (FormKeyDown).
  panel->installEventFilter(this);
  qApp->installEventFilter(new TWheelOffer(this, [this](QWheelEvent* e) { return offerWheel(e); }));
}

// The rows keep the keyboard when they change view: a hidden focused control
// hands the focus on down the chain (to the tree), and the view shown takes
// it back. The view hides before the other shows: shown first, the other had
// half the place until the next layout, and its pages were sized from that.
void TDiskUsageForm::NumbersCmdClick() {
  const bool rowsHadFocus = ChartPanel->hasFocus();
  NumbersCmd->setChecked(true);
  NumbersBtn->setChecked(true);
  ChartPanel->hide();
  UsageList->show();
  if (rowsHadFocus) UsageList->setFocus();
  SetDeleteEnabled(true);
}

void TDiskUsageForm::ChartCmdClick() {
  const bool rowsHadFocus = UsageList->hasFocus();
  ChartCmd->setChecked(true);
  ChartBtn->setChecked(true);
  UsageList->hide();
  ChartPanel->show();
  if (rowsHadFocus) ChartPanel->setFocus();
  SetDeleteEnabled(false);
}

void TDiskUsageForm::ClearChart() {
  ChartCurrentRow = -1;
  UsageChart->clearPoints();
  UsageChart->update();
}

void TDiskUsageForm::BuildUsageChart() {
  ClearChart();
  TChartUnit unit = kChartKilobytes;
  const int rows = UsageModel->presentRowCount();
  for (int i = 0; i < rows; ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (!r.isPlaceholder() && r.figures[0] >= kChartMegabyteFrom) {
      unit = kChartMegabytes;
      break;
    }
  }
  UsageChart->setValueLabelSuffix(QString::fromLatin1(unit.suffix));
  // Copies of the figures and names: the chart keeps showing them when a
  // later refresh stops half way through the rows.
  std::vector<double> diskBytes, fileBytes;
  diskBytes.reserve(rows);
  fileBytes.reserve(rows);
  auto names = std::make_shared<TChartNames>();
  size_t nameBytes = 0;
  for (int i = 0; i < rows; ++i) nameBytes += UsageModel->row(i).nameView().size();
  names->reserve(rows, nameBytes);
  for (int i = 0; i < rows; ++i) {
    const TUsageRow& r = UsageModel->row(i);
    if (r.isPlaceholder()) continue;  // no figures, no point
    diskBytes.push_back(r.figures[0] / unit.divisor);
    fileBytes.push_back(r.figures[1] / unit.divisor);
    names->add(r.nameView());
  }
  UsageChart->setValues(DiskBytesSeries, std::move(diskBytes));
  UsageChart->setValues(FileBytesSeries, std::move(fileBytes));
  UsageChart->setLabelSource([names](int index) { return names->label(static_cast<size_t>(index)); });
  UsageChart->setLabelMarkSource([names](int index) { return names->labelMarks(static_cast<size_t>(index)); });
  // The top page, with the scroll bar at the top, its first row current.
  if (ChartRowCount() > 0) ChartCurrentRow = 0;
  {
    const QSignalBlocker block(ChartScroll);
    ChartScroll->setValue(0);
  }
  ChartScrollScroll(0);
  UsageChart->update();
}

int TDiskUsageForm::ChartRowsPerPage() const { return ::ChartRowsPerPage(UsageChart->height()); }

void TDiskUsageForm::SetUpChartScroll(int rows) {
  {
    const QSignalBlocker block(ChartScroll);
    ChartScroll->setMinimum(0);
    ChartScroll->setValue(0);
  }
  FitChartScrollRange(rows);
}

void TDiskUsageForm::FitChartScrollRange(int rows) {
  // A hidden chart's height is whatever it had when last shown, or the
  // default of a widget never laid out (30 pixels: R = 1, and 14 rows would
  // scroll on to a page of 2 rows and 10 empty slots). Showing the chart
  // resizes it and brings the range here again.
  if (!UsageChart->isVisible()) return;
  const int r = ChartRowsPerPage();
  const int maximum = rows > r + 1 ? rows - r - 1 : 0;
  const QSignalBlocker block(ChartScroll);
  ChartScroll->setMaximum(maximum);  // moves the position back when it lay beyond
  ChartScroll->setVisible(rows > r + 1);
  if (UsageChart->categoryMin() != ChartScroll->value()) ChartScrollScroll(ChartScroll->value());
}

void TDiskUsageForm::ChartScrollScroll(int position) {
  // Min never passes Max on the way: moving down sets Max first.
  const int r = ChartRowsPerPage();
  if (position > UsageChart->categoryMin()) {
    UsageChart->setCategoryMax(position + r);
    UsageChart->setCategoryMin(position);
  } else {
    UsageChart->setCategoryMin(position);
    UsageChart->setCategoryMax(position + r);
  }
}

void TDiskUsageForm::ResizeChart() {
  const int r = ChartRowsPerPage();
  const double min = UsageChart->categoryMin();
  UsageChart->setCategoryMax(min + r);  // the top row stays
  const int pointsPerPage = RoundHalfEven(UsageChart->categoryMax() - min) + 1;
  UsageChart->setPointsPerPage(pointsPerPage);
  ChartPanel->setLargeStep(pointsPerPage);
  // The range follows the new height: with fewer rows per page the last rows
  // must stay reachable, with more the last page must not run past them.
  FitChartScrollRange(UsageModel->presentRowCount());
}

bool TDiskUsageForm::chartWheel(const QPoint& globalPos, int step) {
  if (!ChartPanel->isVisible() || !ChartPanel->rect().contains(ChartPanel->mapFromGlobal(globalPos))) return false;
  if (!ChartScroll->isVisible()) return true;
  const int position = ChartScroll->value() + step;
  if (position >= ChartScroll->minimum() && position <= ChartScroll->maximum()) {
    const QSignalBlocker block(ChartScroll);
    ChartScroll->setValue(position);
    ChartScrollScroll(position);
  }
  return true;
}

bool TDiskUsageForm::offerWheel(QWheelEvent* event) {
  const QPoint global = event->globalPosition().toPoint();
  if (!ChartPanel->isVisible() || !ChartPanel->rect().contains(ChartPanel->mapFromGlobal(global))) {
    m_wheelRemainder = 0;
    return false;
  }
  // One row per notch of the wheel (120); finer wheels add up to notches.
  m_wheelRemainder += event->angleDelta().y();
  for (; m_wheelRemainder <= -120; m_wheelRemainder += 120) FormMouseWheelDown(global);
  for (; m_wheelRemainder >= 120; m_wheelRemainder -= 120) FormMouseWheelUp(global);
  return true;
}

bool TDiskUsageForm::FormMouseWheelDown(const QPoint& globalPos) { return chartWheel(globalPos, +1); }

bool TDiskUsageForm::FormMouseWheelUp(const QPoint& globalPos) { return chartWheel(globalPos, -1); }

TChartAxis TDiskUsageForm::chartAxis() const {
  const TBarChart::CategoryAxis a = UsageChart->categoryAxis();
  return {a.min, a.max, a.startPos, a.endPos, a.labelsRight, a.textHeight};
}

int TDiskUsageForm::ChartRowAt(int x, int y) const { return ::ChartRowAt(chartAxis(), x, y, UsageModel->presentRowCount()); }

bool TDiskUsageForm::RowIsFolder(int row) const {
  if (row < 0 || row >= UsageModel->presentRowCount()) return false;
  const TUsageRow& r = UsageModel->row(row);
  return r.entry && r.entry->IsDirectory();
}

void TDiskUsageForm::UsageChartMouseMove(const QPoint& pos) {
  const int k = ChartRowAt(pos.x(), pos.y());
  if (k >= 0) {
    const TUsageRow& row = UsageModel->row(k);
    const TDisplayName name = row.displayName();  // the whole name, never cut
    // With changes shown, the change after the name, in short.
    QString change;
    if (row.change == TUsageRow::Change::New)
      change = QStringLiteral("  (new)");
    else if (row.change == TUsageRow::Change::Same || row.change == TUsageRow::Change::Changed)
      change = QStringLiteral("  (") + ShortChangeText(row.diskChange) + QStringLiteral(")");
    UsageChart->setHintText(name.text + change, name.escapes);
    UsageChart->setHintsEnabled(true);
  } else {
    UsageChart->setHintText(QString());
    UsageChart->setHintsEnabled(false);
  }
  UsageChart->setPointerShape(k >= 0 && RowIsFolder(k) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TDiskUsageForm::UsageChartClick(const QPoint& pos) {
  const int k = ChartRowAt(pos.x(), pos.y());
  if (k >= 0 && k < ChartRowCount()) {
    ChartCurrentRow = k;  // the keys go on from the row clicked
    UsageChart->update();
  }
  if (k >= 0 && RowIsFolder(k)) OpenFolder(m_currentFolderPath + UsageModel->row(k).name());
}

int TDiskUsageForm::ChartRowCount() const {
  // Rows that have a point: a refresh stopped early leaves the points of
  // before while the list holds fewer rows; the placeholder has none.
  return std::min(UsageChart->pointCount(DiskBytesSeries), UsageModel->presentRowCount());
}

bool TDiskUsageForm::ChartPanelKeyDown(QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  TChartMove move;
  switch (event->key()) {
    case Qt::Key_Up: move = TChartMove::Up; break;
    case Qt::Key_Down: move = TChartMove::Down; break;
    case Qt::Key_PageUp: move = TChartMove::PageUp; break;
    case Qt::Key_PageDown: move = TChartMove::PageDown; break;
    case Qt::Key_Home: move = TChartMove::Home; break;
    case Qt::Key_End: move = TChartMove::End; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // As a click on the row's name: a folder is entered, a file is not.
      if (!event->isAutoRepeat() && RowIsFolder(ChartCurrentRow) && ChartCurrentRow < ChartRowCount()) {
        const KeyboardStays stays(this);
        OpenFolder(m_currentFolderPath + UsageModel->row(ChartCurrentRow).name());
      }
      return true;
    default: return false;
  }
  ShowChartCursor(MoveChartCursor({ChartCurrentRow, ChartScroll->value()}, move, ChartRowCount(), ChartRowsPerPage()));
  return true;
}

void TDiskUsageForm::ShowChartCursor(const TChartCursor& cursor) {
  ChartCurrentRow = cursor.row;
  if (cursor.top != ChartScroll->value()) {
    // As the wheel scrolls: the position, then the page.
    const QSignalBlocker block(ChartScroll);
    ChartScroll->setValue(cursor.top);
    ChartScrollScroll(ChartScroll->value());
  }
  UsageChart->update();
}

void TDiskUsageForm::DrawChartFocus(QPainter& painter, const TChartAxis& axis) {
  // The current row's band, the width of the chart, while the keyboard is
  // on the chart: where Enter and the keys act.
  const int row = ChartCurrentRow;
  if (!ChartPanel->hasFocus() || row < 0 || row >= ChartRowCount() || row < axis.min - 1e-9 || row > axis.max + 1e-9) return;
  const double pitch = ChartRowPitch(axis, 0);
  const double centre = axis.startPos + (row - axis.min) * pitch;
  const QRect band(1, static_cast<int>(centre - pitch / 2), UsageChart->width() - 2, std::max(4, static_cast<int>(pitch)));
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
  painter.drawRect(band.adjusted(1, 1, -1, -1));
  painter.restore();
}

void TDiskUsageForm::UsageChartAfterDraw(QPainter& painter, const TBarChart::CategoryAxis& axis) {
  const TChartAxis a{axis.min, axis.max, axis.startPos, axis.endPos, axis.labelsRight, axis.textHeight};
  const int first = RoundHalfEven(axis.min), last = RoundHalfEven(axis.max);
  constexpr int kIcon = 16;
  for (int i = std::max(first, 0); i <= last; ++i) {
    if (i >= UsageChart->pointCount(DiskBytesSeries) || i >= UsageModel->presentRowCount()) break;
    const QIcon icon = UsageModel->index(i, 0).data(Qt::DecorationRole).value<QIcon>();
    if (icon.isNull()) continue;
    painter.drawPixmap(axis.labelsRight - kIcon / 2 - 2, ChartIconTop(a, i, first, kIcon), icon.pixmap(kIcon, kIcon));
  }
  DrawChartFocus(painter, a);
}

void TDiskUsageForm::SetDeleteEnabled(bool enabled) {
  DeleteCmd->setEnabled(enabled);
  DeleteBtn->setEnabled(enabled);
  DeleteBtn->setToolTip(enabled ? QStringLiteral("Delete selected files and folders") : QString());
}
