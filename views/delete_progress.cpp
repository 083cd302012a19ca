#include "views/delete_progress.h"

#include <QScreen>
#include <algorithm>

#include "views/figure_format.h"

TDeleteProgress::TDeleteProgress(QWidget* parent) : QProgressDialog(parent) {
  setObjectName(QStringLiteral("DeleteProgress"));
  setWindowTitle(QStringLiteral("Delete Files and Folders"));
  setCancelButtonText(QStringLiteral("Cancel"));
  setWindowModality(Qt::WindowModal);
  // Shown at once: it follows a yes to deleting for good, and stays until
  // the last entry is gone (never closed or reset by the bar reaching its end).
  setMinimumDuration(0);
  setAutoClose(false);
  setAutoReset(false);
  setRange(0, 0);
}

void TDeleteProgress::showCounting(uint64_t items) {
  setRange(0, 0);
  setLabelText(QStringLiteral("Counting the files and folders to delete for good: ") +
               FormatFigure(static_cast<double>(items)));
  KeepOnScreen();
}

void TDeleteProgress::showEvent(QShowEvent* event) {
  QProgressDialog::showEvent(event);
  KeepOnScreen();
}

void TDeleteProgress::KeepOnScreen() {
  // The window grows with its figures after it has been placed (centred on
  // the main window for the size it had then): on an 800 x 600 screen at 144
  // dpi it ran 40 pixels past the screen's right edge.
  if (!isVisible() || !screen()) return;
  const QRect room = screen()->availableGeometry();
  const QRect frame = frameGeometry();
  QPoint at = frame.topLeft();
  at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - frame.width())));
  at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - frame.height())));
  if (at != frame.topLeft()) move(at);
}

void TDeleteProgress::showDeleting(uint64_t removedItems, uint64_t removedBytes, uint64_t totalItems,
                                   uint64_t totalBytes) {
  if (maximum() != kSteps) setRange(0, kSteps);
  const uint64_t total = std::max<uint64_t>(totalItems, 1);
  setValue(static_cast<int>(std::min<uint64_t>(removedItems, total) * kSteps / total));
  setLabelText(QStringLiteral("Deleting for good: ") + FormatFigure(static_cast<double>(removedItems)) +
               QStringLiteral(" of ") + FormatFigure(static_cast<double>(totalItems)) +
               QStringLiteral(" files and folders\n(") + FormatFigure(static_cast<double>(removedBytes)) +
               QStringLiteral(" of ") + FormatFigure(static_cast<double>(totalBytes)) + QStringLiteral(" bytes)"));
  KeepOnScreen();
}
