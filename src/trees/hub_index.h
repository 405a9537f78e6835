#pragma once
// The children of a tree's busy nodes, for lookup by key. Children form a
// list sorted by key (an FP-tree's by position, an MFI-tree's by item), so
// finding one is a walk of the list; a node whose walk grows long becomes a
// hub, whose children are then also kept in an array sorted by key and found
// by binary search. Only hubs are indexed, so the index stays small. It
// lives in the tree's pool and goes with it; a grown array leaves its old
// copy behind.
#include <cstdint>

#include "common/tuning.h"
#include "memory/memory.h"

namespace zub {

class HubIndex {
 public:
  static constexpr int kLongWalk = kHubLongWalk;

  struct Hub {
    int size;
    int capacity;
    int* keys;  // ascending
    std::uint32_t* children;
  };

  static HubIndex* make(memory& pool);
  // The hub of node `parent`, or null. A bit filter answers most non-hubs.
  Hub* hub_of(std::uint32_t parent) const {
    if ((filter_[(parent & (kFilterBits - 1)) >> 6] >> (parent & 63) & 1) == 0) return nullptr;
    return probe(parent);
  }
  // The child with `key`, or 0; `before` receives the child with the largest
  // key below it (or 0).
  static std::uint32_t find(const Hub& hub, int key, std::uint32_t* before);
  // Makes `parent` a hub of its present children, which for_each_child(f)
  // hands to f(key, child) in ascending key order.
  template <class ForEachChild>
  Hub* add_hub(memory& pool, std::uint32_t parent, ForEachChild&& for_each_child) {
    int n = 0;
    for_each_child([&n](int, std::uint32_t) { ++n; });
    Hub* hub = new_hub(pool, parent, n);
    for_each_child([hub](int key, std::uint32_t child) {
      hub->keys[hub->size] = key;
      hub->children[hub->size++] = child;
    });
    return hub;
  }
  static void add_child(memory& pool, Hub& hub, int key, std::uint32_t child);

 private:
  static constexpr std::uint32_t kFilterBits = kHubFilterBits;
  Hub* probe(std::uint32_t parent) const;
  Hub* new_hub(memory& pool, std::uint32_t parent, int children);

  std::uint64_t filter_[kFilterBits / 64];
  std::uint32_t* keys_;  // 0 marks a free slot
  Hub** values_;
  int capacity_;
  int used_;
};

}  // namespace zub
