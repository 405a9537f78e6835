#pragma once
// Runs work(t) for t = 0 .. n - 1 at once, on the calling thread (t = 0)
// and n - 1 others. A thread that cannot be created (memory, a process
// limit) leaves its share to the calling thread, after its own. The first
// exception of any share is rethrown once every thread has ended.
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zub {

// Objects that each thread writes on its own but that sit side by side (one
// per thread in a vector) are aligned to this, so that no cache line holds
// two threads' writes: a reading thread's cursor written per id beside the
// next thread's made two reading threads slower than one.
inline constexpr std::size_t kCacheLine = 64;

// glibc gives a thread the thread-local data of a library loaded at run time
// (libstdc++ under the Python module) on first use, and aborts the process
// when no memory is left for it. That first use would be the throw of
// std::bad_alloc once memory has run out; every thread zub starts claims it
// at its start instead, while memory remains.
inline void claim_thread_locals() {
  [[maybe_unused]] volatile int n = std::uncaught_exceptions();  // a pure call, kept by the volatile use
}

template <class Work>
void for_each_thread(int n, Work&& work) {
  std::exception_ptr first;
  std::mutex first_mutex;
  auto share = [&](int t) {
    claim_thread_locals();
    try {
      work(t);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(first_mutex);
      if (!first) first = std::current_exception();
    }
  };
  std::vector<int> left;  // shares whose thread could not start
  {
    std::vector<std::jthread> threads;
    threads.reserve(static_cast<std::size_t>(n > 1 ? n - 1 : 0));
    for (int t = 1; t < n; ++t) {
      try {
        threads.emplace_back(share, t);
      } catch (const std::system_error&) {
        left.push_back(t);
      }
    }
    share(0);
    for (int t : left) share(t);
  }  // joined
  if (first) std::rethrow_exception(first);
}

}  // namespace zub
