#pragma once
// A growable array of item ids, filled by the reader with one line at a time.
#include <memory>

namespace zub {

class Transaction {
 public:
  explicit Transaction(int capacity = 50)
      : capacity(capacity > 0 ? capacity : 1), store_(new int[this->capacity]) {
    items = store_.get();
  }
  // Replaces the array by one of 2n entries, keeping the first `length` ids.
  void DoubleTrans(int n) {
    long grown = 2L * (n > 0 ? n : 1);
    std::unique_ptr<int[]> bigger(new int[grown]);
    for (int k = 0; k < length; ++k) bigger[k] = items[k];
    store_ = std::move(bigger);
    items = store_.get();
    capacity = static_cast<int>(grown);
  }
  void push(int id) {
    if (length >= capacity) DoubleTrans(length);
    items[length++] = id;
  }

  int capacity;
  int length = 0;
  int* items;

 private:
  std::unique_ptr<int[]> store_;
};

}  // namespace zub
