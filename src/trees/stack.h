#pragma once
// The itemset under construction: item ids bottom first, with an optional
// support per entry. The miners write items[len] and raise len themselves and
// cut it back by assigning an earlier len.
#include <cstddef>

#include "memory/zeroed_array.h"

namespace zub {

class FI_tree;

class stack {
 public:
  stack(int size, bool with_supports)
      : items_store_(static_cast<std::size_t>(size > 0 ? size : 1)),
        supports_store_(with_supports ? static_cast<std::size_t>(size > 0 ? size : 1) : 0) {
    items = items_store_.data();
    item_supports = supports_store_.data();
  }

  // Pushes the items of t's first-child chain, from the root's first child down.
  void insert(const FI_tree* t);

  int len = 0;
  int* items;
  int* item_supports;

 private:
  // An entry per item; pages past the deepest itemset are never touched.
  ZeroedArray<int> items_store_;
  ZeroedArray<int> supports_store_;
};

}  // namespace zub
