#pragma once
// A run of the miner from Python: on a thread of its own, without the GIL,
// so that other Python threads go on. The calling thread waits; it wakes
// every 100 ms, or when the run has handed over a chunk of results, and
// turns the chunks handed over into Python objects one at a time, taking
// the GIL for each (so other Python threads run between chunks) and
// running Python's signal handlers before each, while the run goes on. When a signal handler raises (KeyboardInterrupt on Ctrl-C), or the
// turning into Python objects fails (MemoryError), the run's stop flag is
// set, the run ends within a fraction of a second, and that exception is
// raised.
//
// The hand-over is bounded: when Python has not yet taken the last
// kWaiting chunks, the run waits (in its callback, on whichever worker
// thread calls it) until Python takes one or the run is stopped. So the
// results waiting between the two threads never exceed kWaiting chunks,
// however many the run finds, and a stopped run is never left waiting:
// once the stop flag is set, handing a chunk over throws Stopped, which
// ends the run at once (an exception of the callback ends a run of the
// C++ API) even inside a stretch of work where the miners do not look at
// the flag (the subsets of a long single path, millions of itemsets).
#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

#include "common/threads.h"
#include "zub/zub.h"

namespace zub::python {

class BackgroundRun;

// Thrown by Handoff::hand_over in a stopped run.
struct Stopped {};

// Results in chunks: the run fills one (one call at a time) and hands it
// over when full; the caller's thread takes them one by one.
template <class Chunk>
class Handoff {
 public:
  // Chunks handed over and not yet taken, at most.
  static constexpr std::size_t kWaiting = 4;

  explicit Handoff(BackgroundRun& run) : run_(run) {}
  Chunk& filling() { return filling_; }
  // From the run: hands the chunk being filled over, waiting while kWaiting
  // chunks wait; throws Stopped when the run has been stopped.
  void hand_over();
  // From the caller's thread: the oldest chunk handed over, if any.
  std::optional<Chunk> take();

 private:
  BackgroundRun& run_;
  Chunk filling_;
  std::deque<Chunk> ready_;  // guarded by run_'s mutex
};

class BackgroundRun {
 public:
  // Calls mine(run) on another thread, where `run` is this object, and
  // take_one() on the calling thread, with the GIL, whenever it wakes and
  // once the run has ended: take_one() turns one chunk into Python objects
  // and returns whether there was one. Signals are looked at before each.
  // An exception of mine() reaches the caller instead of the last chunks.
  // Called with the GIL held.
  template <class Mine, class TakeOne>
  void go(const Mine& mine, const TakeOne& take_one) {
    namespace py = pybind11;
    std::exception_ptr failure;  // of the run
    std::exception_ptr caller;   // of take_one() or the signal handlers: ends the run too

    // Every chunk waiting, a signal handler run before each.
    const auto take_all = [&] {
      do {
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      } while (take_one());
    };
    {
      claim_thread_locals();  // this thread's too: it catches what the run throws
      py::gil_scoped_release unlocked;
      std::thread worker([&] {
        claim_thread_locals();
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
        // One chunk at a time, the GIL taken for each: between chunks the
        // other Python threads (a timer that interrupts, say) get it too.
        // The worker must be joined whatever happens here: nothing may
        // leave this loop by an exception.
        for (bool more = !caller, first = true; more; first = false) {
          const py::gil_scoped_acquire locked;
          try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (first && report_) hand_on_progress();
            more = take_one();
          } catch (...) {
            caller = std::current_exception();
            stop_run();
            more = false;
          }
        }
        lock.lock();
      }
      lock.unlock();
      worker.join();
    }
    if (caller) std::rethrow_exception(caller);
    if (failure) std::rethrow_exception(failure);
    take_all();
  }

  const std::atomic<bool>* stop() const { return &stop_; }

  // Progress reports of the run, handed to `report` on the calling thread
  // (with the GIL) when it wakes: the latest only, at most every 100 ms.
  // Without a report the run is not told to make any.
  void report_progress(std::function<void(const RunProgress&)> report) { report_ = std::move(report); }
  ProgressCallback progress_callback() {
    if (!report_) return {};
    return [this](const RunProgress& p) {
      const std::lock_guard<std::mutex> lock(m_);
      latest_ = p;
    };
  }

 private:
  // The latest report not yet handed on, if any; with the GIL.
  void hand_on_progress() {
    std::optional<RunProgress> p;
    {
      const std::lock_guard<std::mutex> lock(m_);
      p.swap(latest_);
    }
    if (p) report_(*p);
  }

  template <class Chunk>
  friend class Handoff;

  // Ends the run: the flag for the miners, and a run waiting to hand a
  // chunk over goes on (and drops it).
  void stop_run() {
    const std::lock_guard<std::mutex> lock(m_);
    stop_ = true;
    room_.notify_all();
  }

  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::condition_variable wake_;  // the caller: a chunk or the end
  std::condition_variable room_;  // the run: a chunk was taken, or the run stopped
  bool done_ = false;
  bool woken_ = false;
  std::function<void(const RunProgress&)> report_;
  std::optional<RunProgress> latest_;  // guarded by m_
};

template <class Chunk>
void Handoff<Chunk>::hand_over() {
  std::unique_lock<std::mutex> lock(run_.m_);
  run_.room_.wait(lock, [&] { return ready_.size() < kWaiting || run_.stop_.load(); });
  if (run_.stop_.load()) throw Stopped{};  // nobody will take it
  ready_.push_back(std::move(filling_));
  filling_ = Chunk();
  run_.woken_ = true;
  run_.wake_.notify_one();
}

template <class Chunk>
std::optional<Chunk> Handoff<Chunk>::take() {
  const std::lock_guard<std::mutex> lock(run_.m_);
  if (ready_.empty()) return std::nullopt;
  std::optional<Chunk> chunk(std::move(ready_.front()));
  ready_.pop_front();
  run_.room_.notify_all();
  return chunk;
}

}  // namespace zub::python
