#pragma once
// Items handed to a thread of its own as they become known, worked there in
// the order given, and their results handed back in batches. A refresh lists
// a folder on the window's thread while the entries listed so far are sized
// through the engine on this one, and turns the results into rows and paints
// as they come: on two cores the listing of a folder of 100,000 files, the
// engine's lookups and the rows no longer take turns.
//
// Results go back when a batch is full, when kHandOverMs have passed since
// the last went, when every item given so far is worked, and before an item
// that `slow` says may take long (a folder), so that the rows before it show
// while it is worked. A result that `stops` says
// ends the work is the last one. Destroying the pipe asks the thread to stop
// before its next item and waits for it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

template <typename Item, typename Result>
class TWorkPipe {
 public:
  using Work = std::function<Result(const Item&)>;
  using Slow = std::function<bool(const Item&)>;
  using Stops = std::function<bool(const Result&)>;
  static constexpr size_t kBatch = 256;  // a wake-up per entry cost more than sizing it
  static constexpr std::chrono::milliseconds kHandOverMs{5};  // each item slow, none a folder

  TWorkPipe(Work work, Slow slow = {}, Stops stops = {})
      : m_work(std::move(work)), m_slow(std::move(slow)), m_stops(std::move(stops)), m_thread([this] { run(); }) {}
  ~TWorkPipe() { finish(); }
  TWorkPipe(const TWorkPipe&) = delete;
  TWorkPipe& operator=(const TWorkPipe&) = delete;

  // The giving side: more items, then the word that no more come.
  void add(std::vector<Item> items) {
    if (items.empty()) return;
    const std::lock_guard lock(m_mutex);
    moveAppend(m_items, items);
    m_changed.notify_all();
  }
  void close() {
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
  }

  // The taking side: waits at most timeout for results and appends those
  // there to out. False once every result has been taken and no more come.
  bool take(std::vector<Result>& out, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return !m_results.empty() || m_finished; });
    moveAppend(out, m_results);
    return !(m_finished && out.empty());
  }

  // Asks the thread to stop before its next item and waits for it. What the
  // work wrote besides its results may be read after this.
  void finish() {
    {
      const std::lock_guard lock(m_mutex);
      m_stop = true;
      m_changed.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  // Moves what from holds to the end of to, leaving from empty; a swap when
  // to is empty, as it mostly is.
  template <typename T>
  static void moveAppend(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty())
      to.swap(from);
    else
      to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    from.clear();
  }

  void handOver(std::vector<Result>& done) {
    if (done.empty()) return;
    m_lastHandOver = std::chrono::steady_clock::now();
    const std::lock_guard lock(m_mutex);
    moveAppend(m_results, done);
    m_changed.notify_all();
  }

  void run() {
    std::vector<Item> todo;
    std::vector<Result> done;
    for (bool stopped = false; !stopped;) {
      handOver(done);  // everything given so far is worked
      {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stop || m_closed || !m_items.empty(); });
        if (m_stop || m_items.empty()) break;  // asked to stop, or closed and all worked
        todo.swap(m_items);
      }
      for (const Item& item : todo) {
        if (m_slow && m_slow(item)) handOver(done);
        if (stopRequested()) {
          stopped = true;
          break;
        }
        done.push_back(m_work(item));
        if (m_stops && m_stops(done.back())) {
          stopped = true;
          break;
        }
        if (done.size() >= kBatch || std::chrono::steady_clock::now() - m_lastHandOver >= kHandOverMs) handOver(done);
      }
      todo.clear();
    }
    handOver(done);
    const std::lock_guard lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
  }

  bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

  Work m_work;
  Slow m_slow;
  Stops m_stops;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Item> m_items;      // given, not yet taken by the thread
  std::vector<Result> m_results;  // worked, not yet taken
  bool m_closed = false;
  std::atomic<bool> m_stop{false};  // set under the mutex, for the thread that waits on it
  bool m_finished = false;  // the thread has handed over its last result
  std::chrono::steady_clock::time_point m_lastHandOver = std::chrono::steady_clock::now();  // the thread's
  std::thread m_thread;     // last: started once everything it uses is there
};
