#pragma once
// The callback kind of sink: each itemset handed to a function, its items
// as file ids (through the position -> id table; main-tree positions
// without one) in the miner's order, with its support. The C++ API and the
// Python module sort the ids; the tests read them as they come.
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "io/records.h"
#include "io/sink.h"

namespace zub {

class CallbackSink final : public ItemsetSink {
 public:
  using Each = std::function<void(std::span<const int> ids, int support)>;
  explicit CallbackSink(Each each, const int* order_item = nullptr) : each_(std::move(each)), order_(order_item) {}
  void set_order(const int* order_item) { order_ = order_item; }
  void take(std::span<const int> records) override {
    for_each_record(records, [this](const int* items, int n, int support) {
      if (order_ == nullptr) return each_(std::span<const int>(items, static_cast<std::size_t>(n)), support);
      ids_.resize(static_cast<std::size_t>(n));
      for (int k = 0; k < n; ++k) ids_[static_cast<std::size_t>(k)] = order_[items[k]];
      each_(ids_, support);
    });
  }

 private:
  Each each_;
  const int* order_;
  std::vector<int> ids_;
};

}  // namespace zub
