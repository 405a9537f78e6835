#pragma once
// Where a long run is, for a progress line: its phase, the work done (and,
// where known, the whole) in it, and the itemsets found so far, handed to a
// report at most ten times a second. A run without one tests a null pointer
// every few thousand transactions and once per top-level position.
#include <chrono>

namespace zub {

class Progress {
 public:
  enum class Phase { reading, building, mining };
  using Report = void (*)(void* context, Phase phase, long long done, long long total, long long itemsets,
                          double seconds);
  Progress(Report report, void* context) : report_(report), context_(context) {}

  // `itemsets()` counts the itemsets found; called only when a report is due.
  template <class Itemsets>
  void update(Phase phase, long long done, long long total, Itemsets&& itemsets) {
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    next_ = now + std::chrono::milliseconds(100);
    report_(context_, phase, done, total, itemsets(), std::chrono::duration<double>(now - start_).count());
  }

 private:
  using Clock = std::chrono::steady_clock;
  Report report_;
  void* context_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point next_ = start_ + std::chrono::milliseconds(100);
};

}  // namespace zub
