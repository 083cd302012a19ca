// When the refresh brings the window up to date, on a clock the test moves.
#include <gtest/gtest.h>

#include "model/repaint_pace.h"

TEST(RepaintPace, FirstRowAtOnceThenByTimeAndBeforeFoldersWhenRowsWait) {
  struct Step {
    int64_t at;     // ms on the clock
    bool folder;    // folderNext() rather than rowArrived()
    bool paint;     // what the pace answers
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"first row at once, however soon", {{0, false, true}}},
      {"the first row late still paints", {{100000, false, true}}},
      {"rows within the interval wait", {{0, false, true}, {10, false, false}, {49, false, false}, {50, false, true}}},
      {"the interval runs from the last paint",
       {{0, false, true}, {40, false, false}, {60, false, true}, {100, false, false}, {110, false, true}}},
      {"a slow row shows as soon as it is there", {{0, false, true}, {5000, false, true}, {5001, false, false}}},
      {"before a folder, waiting rows show after the shorter wait",
       {{0, false, true}, {5, false, false}, {14, true, false}, {15, true, true}, {16, false, false}}},
      {"before a folder with nothing waiting, no paint",
       {{0, false, true}, {100, true, false}, {200, true, false}, {201, false, true}}},
      {"a folder first: no rows, no paint", {{0, true, false}, {0, false, true}}},
      {"clock at its limits", {{INT64_MAX - 100, false, true}, {INT64_MAX - 60, false, false}, {INT64_MAX - 50, false, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int64_t now = 0;
    TRepaintPace pace([&] { return now; });
    for (size_t i = 0; i < c.steps.size(); ++i) {
      now = c.steps[i].at;
      const bool paint = c.steps[i].folder ? pace.folderNext() : pace.rowArrived();
      EXPECT_EQ(paint, c.steps[i].paint) << "step " << i << " at " << now;
    }
  }
}
