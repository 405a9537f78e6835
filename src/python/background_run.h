#pragma once
// A run of the miner from Python: on a thread of its own, without the GIL,
// so that other Python threads go on. The calling thread waits; it wakes
// every 100 ms, or when the run has handed over a chunk of results, takes
// the GIL, runs Python's signal handlers and turns the chunks handed over
// into Python objects while the run goes on. When a signal handler raises
// (KeyboardInterrupt on Ctrl-C), or the turning into Python objects fails
// (MemoryError), the run's stop flag is set, the run ends within a fraction
// of a second, and that exception is raised.
#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zub::python {

// Results in chunks: the run fills one (one call at a time) and hands it
// over when full; the caller's thread takes what was handed over.
template <class Chunk>
class Handoff {
 public:
  Chunk& filling() { return filling_; }
  void hand_over() {
    const std::lock_guard<std::mutex> lock(m_);
    ready_.push_back(std::move(filling_));
    filling_ = Chunk();
  }
  std::vector<Chunk> take() {
    const std::lock_guard<std::mutex> lock(m_);
    return std::exchange(ready_, {});
  }

 private:
  std::mutex m_;
  Chunk filling_;
  std::vector<Chunk> ready_;
};

class BackgroundRun {
 public:
  // Calls mine(run) on another thread, where `run` is this object, and
  // take() on the calling thread, with the GIL, whenever it wakes and once
  // the run has ended. An exception of mine() reaches the caller instead of
  // the last take(). Called with the GIL held.
  template <class Mine, class Take>
  void go(const Mine& mine, const Take& take) {
    namespace py = pybind11;
    std::exception_ptr failure;  // of the run
    std::exception_ptr caller;   // of take() or the signal handlers: ends the run too

    {
      py::gil_scoped_release unlocked;
      std::thread worker([&] {
        try {
          mine(*this);
        } catch (...) {
          failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(m_);
        done_ = true;
        wake_.notify_one();
      });
      std::unique_lock<std::mutex> lock(m_);
      while (!done_) {
        wake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return done_ || woken_; });
        woken_ = false;
        lock.unlock();
        if (!caller) {
          // The worker must be joined whatever happens here: nothing may
          // leave this loop by an exception.
          const py::gil_scoped_acquire locked;
          try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            take();
          } catch (...) {
            caller = std::current_exception();
            stop_ = true;
          }
        }
        lock.lock();
      }
      lock.unlock();
      worker.join();
    }
    if (caller) std::rethrow_exception(caller);
    if (failure) std::rethrow_exception(failure);
    take();
  }

  // From the run: results are waiting for take().
  void wake() {
    const std::lock_guard<std::mutex> lock(m_);
    woken_ = true;
    wake_.notify_one();
  }
  const std::atomic<bool>* stop() const { return &stop_; }

 private:
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::condition_variable wake_;
  bool done_ = false;
  bool woken_ = false;
};

}  // namespace zub::python
