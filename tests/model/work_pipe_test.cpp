// Items worked on a thread of their own while more are given, results taken
// back in order, in batches, early enough for a window to show them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "model/work_pipe.h"

using namespace std::chrono_literals;
using Pipe = TWorkPipe<int, int>;

namespace {
// Takes every result until the pipe says no more come.
std::vector<int> takeAll(Pipe& pipe) {
  std::vector<int> all, batch;
  while (pipe.take(batch, 10ms)) {
    all.insert(all.end(), batch.begin(), batch.end());
    batch.clear();
  }
  return all;
}
}  // namespace

TEST(WorkPipe, EveryItemOnceInTheOrderGivenHoweverItIsGiven) {
  const struct {
    const char* what;
    std::vector<int> batches;  // sizes of the batches given, one after another
    bool pauseBetween;         // the thread catches up and waits between batches
  } cases[] = {
      {"nothing at all", {}, false},
      {"one item", {1}, false},
      {"one batch of a listing", {300}, false},
      {"a listing read a few hundred at a time", {256, 256, 256, 1000, 7}, false},
      {"given while the thread waits for more", {3, 1, 600, 2}, true},
      {"empty batches are nothing", {0, 5, 0, 0, 5}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<int> worked{0};
    Pipe pipe([&](const int& i) {
      ++worked;
      return i * 2;
    });
    int next = 0;
    for (int size : c.batches) {
      std::vector<int> items;
      for (int k = 0; k < size; ++k) items.push_back(next++);
      pipe.add(std::move(items));
      if (c.pauseBetween) std::this_thread::sleep_for(2ms);
    }
    pipe.close();
    const std::vector<int> all = takeAll(pipe);
    ASSERT_EQ(all.size(), static_cast<size_t>(next));
    for (int i = 0; i < next; ++i) ASSERT_EQ(all[static_cast<size_t>(i)], i * 2) << "result " << i;
    EXPECT_EQ(worked.load(), next);
  }
}

TEST(WorkPipe, AResultThatStopsIsTheLastAndNothingAfterItIsWorked) {
  std::atomic<int> worked{0};
  Pipe pipe([&](const int& i) { return ++worked, i; }, {}, [](const int& r) { return r == 41; });
  std::vector<int> items(100);
  for (int i = 0; i < 100; ++i) items[static_cast<size_t>(i)] = i;
  pipe.add(std::move(items));
  pipe.add({500, 501});  // given after the stop: never worked
  pipe.close();
  const std::vector<int> all = takeAll(pipe);
  ASSERT_EQ(all.size(), 42u);
  EXPECT_EQ(all.back(), 41);
  pipe.finish();
  EXPECT_EQ(worked.load(), 42);
}

TEST(WorkPipe, ResultsBeforeASlowItemOrAfterAWhileAreTakenWhileTheWorkGoesOn) {
  // The taker must see early results while the work is still held up: by a
  // slow item (a folder), or by many items of a few milliseconds each.
  const struct {
    const char* what;
    bool markedSlow;  // the held-up item is one `slow` names
    int heldAt;       // the item whose work waits for the taker
  } cases[] = {
      {"before a folder", true, 3},
      {"items of a few milliseconds, none a folder", false, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<bool> release{false};
    Pipe pipe(
        [&](const int& i) {
          if (i == c.heldAt)
            while (!release) std::this_thread::sleep_for(1ms);
          else if (!c.markedSlow)
            std::this_thread::sleep_for(1ms);
          return i;
        },
        [&](const int& i) { return c.markedSlow && i == c.heldAt; });
    // Let go before the pipe waits for its thread, however the case ends.
    const std::unique_ptr<void, std::function<void(void*)>> letGo(&release, [&](void*) { release = true; });
    std::vector<int> items(100);
    for (int i = 0; i < 100; ++i) items[static_cast<size_t>(i)] = i;
    pipe.add(std::move(items));
    pipe.close();
    std::vector<int> early;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (early.empty() && std::chrono::steady_clock::now() < until) pipe.take(early, 10ms);
    ASSERT_FALSE(early.empty()) << "nothing came back while the work was held up";
    EXPECT_EQ(early.front(), 0);
    EXPECT_LT(early.back(), c.heldAt);
    release = true;
    std::vector<int> rest = takeAll(pipe);
    early.insert(early.end(), rest.begin(), rest.end());
    EXPECT_EQ(early.size(), 100u);
  }
}

TEST(WorkPipe, EndsWhenDroppedWhateverItWasDoing) {
  const struct {
    const char* what;
    int items;
    bool close;
  } cases[] = {
      {"waiting for items never given", 0, false},
      {"waiting for more after some", 5, false},
      {"in the middle of long work, closed", 1000, true},
      {"in the middle of long work, not closed", 1000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<int> worked{0};
    const auto start = std::chrono::steady_clock::now();
    {
      Pipe pipe([&](const int& i) {
        std::this_thread::sleep_for(1ms);
        ++worked;
        return i;
      });
      std::vector<int> items(static_cast<size_t>(c.items));
      pipe.add(std::move(items));
      if (c.close) pipe.close();
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "waited for the work given";
    EXPECT_LE(worked.load(), std::min(c.items, 100));
  }
}

TEST(WorkPipe, ATakeWithNothingThereWaitsNoLongerThanAsked) {
  Pipe pipe([](const int& i) { return i; });
  std::vector<int> out;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(pipe.take(out, 30ms)) << "more may come: not closed";
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(out.empty());
  EXPECT_GE(waited, 25ms);
  EXPECT_LT(waited, 1s);
  pipe.close();
  EXPECT_FALSE(pipe.take(out, 1s)) << "closed with nothing given: no more come";
}
