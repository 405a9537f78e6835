#pragma once
// The lines of a parallel run's units in the order of the units, whichever
// worker finishes first. The unit at the head of the order writes straight
// through to the output; the others keep their text until their turn, so the
// bytes do not depend on timing. Kept text goes to an unnamed temporary file
// of the worker that wrote it (the page cache holds it, not the process's
// memory; the worker writes it without the lock), or to memory when no
// temporary file can be had.
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zub {

class OrderedOutput {
 public:
  // `emit` takes the bytes in order; it is called under the object's lock.
  using Emit = std::function<void(const char* bytes, std::size_t n)>;
  // Without `files` (the tests) kept text stays in memory, as when no
  // temporary file can be had.
  OrderedOutput(Emit emit, int units, int workers, bool files = true);
  ~OrderedOutput();
  OrderedOutput(const OrderedOutput&) = delete;
  OrderedOutput& operator=(const OrderedOutput&) = delete;
  // Bytes of unit `unit`, in the order the unit wrote them, from the one
  // worker that mines it. Throws what `emit` throws.
  void write(int unit, int worker, const char* bytes, std::size_t n);
  // Unit `unit` has written everything.
  void finish(int unit);

 private:
  struct Extent {  // a piece of a unit's kept text in a worker's file
    int worker;
    long long offset;
    std::size_t size;
  };
  struct Kept {
    std::vector<Extent> extents;
    std::string text;  // what no temporary file took, behind the extents
  };
  struct Spill {  // a worker's temporary file; written by that worker alone
    std::FILE* file = nullptr;
    bool usable = true;
    long long end = 0;
  };
  // Appends to the worker's file; false when it cannot.
  bool spill(int worker, const char* bytes, std::size_t n, Extent& extent);
  void write_kept(Kept& kept);

  std::mutex mutex_;
  Emit emit_;
  int head_ = 0;  // the first unit not finished
  std::vector<Kept> kept_;  // by unit
  std::vector<char> finished_;
  std::vector<Spill> spills_;  // by worker
  std::vector<char> buffer_;   // for reading kept text back
};

}  // namespace zub
