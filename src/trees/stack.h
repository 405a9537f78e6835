#pragma once
// The itemset under construction: item ids bottom first, with an optional
// support per entry. The miners write items[len] and raise len themselves and
// cut it back by assigning an earlier len.
#include <memory>

namespace zub {

class FI_tree;

class stack {
 public:
  stack(int size, bool with_supports)
      : items_store_(new int[size > 0 ? size : 1]),
        supports_store_(with_supports ? new int[size > 0 ? size : 1] : nullptr) {
    items = items_store_.get();
    item_supports = supports_store_.get();
  }

  // Pushes the items of t's first-child chain, from the root's first child down.
  void insert(const FI_tree* t);

  int len = 0;
  int* items;
  int* item_supports;

 private:
  std::unique_ptr<int[]> items_store_;
  std::unique_ptr<int[]> supports_store_;
};

}  // namespace zub
