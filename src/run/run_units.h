#pragma once
// Units of work 0..units-1 on `threads` workers, taken in index order: a
// worker calls work(worker, unit) for each unit it takes, and puts the
// seconds it took in (*seconds)[unit] when `seconds` is given. The first
// exception stops the taking of further units and is rethrown once every
// worker has stopped.
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace zub {

template <class Work>
void run_units(int units, int threads, Work&& work, std::vector<double>* seconds = nullptr) {
  if (seconds != nullptr) seconds->assign(static_cast<std::size_t>(units), 0.0);
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first;
  std::mutex first_mutex;
  auto worker = [&](int w) {
    try {
      for (int unit = next++; unit < units && !failed; unit = next++) {
        const auto start = std::chrono::steady_clock::now();
        work(w, unit);
        if (seconds != nullptr)
          (*seconds)[static_cast<std::size_t>(unit)] =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(first_mutex);
      if (!first) first = std::current_exception();
      failed = true;
    }
  };
  {
    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int w = 0; w < threads; ++w) pool.emplace_back(worker, w);
  }  // joined
  if (first) std::rethrow_exception(first);
}

}  // namespace zub
