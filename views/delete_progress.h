#pragma once
// The window of a deletion for good: first the count of what is to go, then
// how much of it is gone, files and folders and bytes, with a Cancel that
// the caller reads between entries. It only shows what it is given.
#include <QProgressDialog>
#include <cstdint>

class TDeleteProgress : public QProgressDialog {
  Q_OBJECT
 public:
  explicit TDeleteProgress(QWidget* parent);

  // Counting the trees: items found so far; the bar runs without an end.
  void showCounting(uint64_t items);
  // Deleting: what is gone of the total counted.
  void showDeleting(uint64_t removedItems, uint64_t removedBytes, uint64_t totalItems, uint64_t totalBytes);

  // The bar's range: a share in thousandths, so counts past 2^31 never overflow it.
  static constexpr int kSteps = 1000;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void KeepOnScreen();  // the whole window on its screen's free area, as it grows
};
