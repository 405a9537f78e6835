#pragma once
// A caller's request to end a run early: a flag another thread may set at
// any time. The run looks at it between units of bounded work (every few
// thousand transactions read, every position of a tree mined, every closure
// candidate) and ends by throwing RunError(kExitCancelled). Without a flag
// (the programs) a look is one test of a null pointer.
#include <atomic>

#include "common/run_error.h"

namespace zub {

class StopFlag {
 public:
  StopFlag() = default;
  explicit StopFlag(const std::atomic<bool>* flag) : flag_(flag) {}
  void check() const {
    // Relaxed: the run only needs to see the flag soon, not in order with anything.
    if (flag_ != nullptr && flag_->load(std::memory_order_relaxed)) [[unlikely]]
      stopped();
  }

 private:
  [[noreturn]] static void stopped() { throw RunError(kExitCancelled, "The run was cancelled."); }
  const std::atomic<bool>* flag_ = nullptr;
};

}  // namespace zub
