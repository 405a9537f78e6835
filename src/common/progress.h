#pragma once
// Where a long run is, for a progress line or a caller's callback: its
// phase, the work done (and, where known, the whole) in it, the itemsets
// found so far and the seconds since the run began. Any thread may tell it
// where the run is; a report goes out at most every 200 ms, one at a time.
// A run without one tests a null pointer every few thousand transactions,
// once per top-level position and once per batch of itemsets a unit hands on.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <utility>

namespace zub {

class Progress {
 public:
  enum class Phase { reading, building, mining };
  struct Report {
    Phase phase;
    long long done;      // transactions read, or positions / units mined
    long long total;     // of the phase; 0 when not known
    long long itemsets;  // found so far (in a run on several threads, those handed on in order)
    double seconds;      // since the run began
    bool units;          // the mining is counted in units of a run on several threads, not positions
  };
  using Sink = std::function<void(const Report&)>;
  explicit Progress(Sink sink) : sink_(std::move(sink)) {}

  // `itemsets()` counts the itemsets found; called only when a report is due.
  template <class Itemsets>
  void update(Phase phase, long long done, long long total, Itemsets&& itemsets, bool units = false) {
    const long long now = ticks();
    long long due = next_.load(std::memory_order_relaxed);
    if (now < due || !next_.compare_exchange_strong(due, now + kEvery, std::memory_order_relaxed)) return;
    const std::lock_guard<std::mutex> lock(mutex_);  // reports one at a time
    sink_(Report{phase, done, total, itemsets(), static_cast<double>(now) * 1e-9, units});
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr long long kEvery = 200'000'000;  // ns: five reports a second at most
  long long ticks() const { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count(); }
  Sink sink_;
  const Clock::time_point start_ = Clock::now();
  std::atomic<long long> next_{kEvery};
  std::mutex mutex_;
};

}  // namespace zub
