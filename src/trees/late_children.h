#pragma once
// The first children that an MFI- or CFI-tree node got after other nodes
// had been made behind it. A node's first child is most often made right
// after it, as the next node of the same path, and is then found as the
// next number without a link; only the others are kept here, by parent
// number, in an open-addressed table in the tree's pool. A node whose key
// has NodeKeys::kLate set has an entry.
#include <cstdint>

#include "memory/memory.h"
#include "trees/node_key.h"

namespace zub {

class LateChildren {
 public:
  void init(memory* pool) {
    pool_ = pool;
    keys_ = values_ = nullptr;
    capacity_ = used_ = 0;
  }
  // The first child of `parent`, which has an entry.
  std::uint32_t find(std::uint32_t parent) const {
    for (std::uint32_t k = home(parent);; k = (k + 1) & (capacity_ - 1))
      if (keys_[k] == parent) return values_[k];
  }
  // Adds or replaces the entry of `parent` (not 0).
  void set(std::uint32_t parent, std::uint32_t child);

  // Node r's first child in `nodes` (a slab store of MFI or CFI nodes): the
  // next number when that is r's child, or the one kept here; 0 for none.
  template <class Store>
  std::uint32_t first_child(const Store& nodes, std::uint32_t r) const {
    if ((nodes.at(r)->key & NodeKeys::kLate) != 0) return find(r);
    return r < nodes.size() && nodes.at(r + 1)->parent == r ? r + 1 : 0;
  }
  // `child` was just made as `parent`'s first child: kept here unless it
  // is the next number.
  template <class Store>
  void note_first_child(Store& nodes, std::uint32_t parent, std::uint32_t child) {
    if (child == parent + 1) return;
    nodes.at(parent)->key |= NodeKeys::kLate;
    set(parent, child);
  }
  int size() const { return static_cast<int>(used_); }

 private:
  std::uint32_t home(std::uint32_t parent) const {
    return static_cast<std::uint32_t>((std::uint64_t{parent} * 0x9E3779B97F4A7C15ull) >> 32) & (capacity_ - 1);
  }
  void place(std::uint32_t parent, std::uint32_t child);

  memory* pool_;
  std::uint32_t* keys_;  // 0 marks a free slot
  std::uint32_t* values_;
  std::uint32_t capacity_;
  std::uint32_t used_;
};

}  // namespace zub
