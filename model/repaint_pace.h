#pragma once
// When a refresh brings the window up to date while its rows arrive. Painting
// after a fixed number of rows made a folder of 100,000 files spend a fifth of
// its refresh painting (788 paints of the totals; under X11 each one a round
// trip to the server), while a folder of large sub-folders needs a paint after
// every row. Painting by time keeps rows visibly arriving at a pace the eye
// follows, whatever the folder:
//  - at the first row, so that the user sees the refresh start;
//  - after a row once kIntervalMs have passed since the last paint, so that a
//    row that took that long to compute shows as soon as it is there;
//  - before a folder is computed, when rows wait to be shown and
//    kBeforeFolderMs have passed, so that they show while a large folder keeps
//    the refresh busy.
#include <cstdint>
#include <functional>

class TRepaintPace {
 public:
  static constexpr int64_t kIntervalMs = 50;      // 20 paints a second at most
  static constexpr int64_t kBeforeFolderMs = 15;  // a folder may take seconds
  using Clock = std::function<int64_t()>;         // steady milliseconds

  explicit TRepaintPace(Clock clock = {});
  // A row arrived: true when the window is to be brought up to date now.
  bool rowArrived();
  // A folder is computed next: true when the rows so far are to be shown first.
  bool folderNext();

 private:
  bool paintIf(bool due, int64_t now);

  Clock m_clock;
  int64_t m_lastPaint = 0;
  bool m_painted = false;  // since the refresh started
  bool m_waiting = false;  // rows arrived since the last paint
};
