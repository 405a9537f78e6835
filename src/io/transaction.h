#pragma once
// A growable array of item ids, filled by the reader with one line at a time.
#include <climits>
#include <memory>

#include "common/run_error.h"

namespace zub {

class Transaction {
 public:
  explicit Transaction(int capacity = 50)
      : capacity(capacity > 0 ? capacity : 1), store_(new int[this->capacity]) {
    items = store_.get();
  }
  // The capacity that growing from n entries gives: 2n, but never more than
  // an int counts (a larger value would wrap and make every push regrow).
  static int grown_capacity(int n) {
    const long long grown = 2LL * (n > 0 ? n : 1);
    return grown > INT_MAX ? INT_MAX : static_cast<int>(grown);
  }
  // Replaces the array by one of grown_capacity(n) entries, keeping the
  // first `length` ids.
  void DoubleTrans(int n) {
    const int grown = grown_capacity(n);
    std::unique_ptr<int[]> bigger(new int[grown]);
    for (int k = 0; k < length; ++k) bigger[k] = items[k];
    store_ = std::move(bigger);
    items = store_.get();
    capacity = grown;
  }
  void push(int id) {
    if (length >= capacity) {
      if (length == INT_MAX) fail_memory();  // a line of more ids than an int counts
      DoubleTrans(length);
    }
    items[length++] = id;
  }

  int capacity;
  int length = 0;
  int* items;

 private:
  std::unique_ptr<int[]> store_;
};

}  // namespace zub
