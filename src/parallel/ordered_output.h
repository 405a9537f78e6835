#pragma once
// The lines of a parallel run's units in the order of the units, whichever
// worker finishes first. The unit at the head of the order writes straight
// through to the output; the others keep their text until their turn, so the
// bytes do not depend on timing and the unit being waited for holds nothing.
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace zub {

class FSout;

class OrderedOutput {
 public:
  OrderedOutput(FSout& out, int units);
  // Text of unit `unit`, in the order the unit wrote it. Throws what the
  // output throws.
  void write(int unit, const char* bytes, std::size_t n);
  // Unit `unit` has written everything.
  void finish(int unit);

 private:
  std::mutex mutex_;
  FSout& out_;
  int head_ = 0;                      // the first unit not finished
  std::vector<std::string> pending_;  // by unit: text kept until its turn
  std::vector<char> finished_;
};

}  // namespace zub
