#pragma once
// The nodes of one MFI- or CFI-tree, numbered from 1 (0 is none), with
// 32-bit links instead of pointers, since these trees hold every maximal or
// closed itemset found and are most of a dense run's memory. The nodes live
// in slabs taken from the tree's own pool, so they go with it; slabs never
// move. Slabs start small and double up to a cap, because most trees of a
// run are tiny and short-lived and a few hold hundreds of thousands of
// nodes. A number is looked up through a table with one entry per 64
// numbers, whatever the slab sizes: a shift, a load and an add.
#include <cstdint>

#include "common/tuning.h"
#include "trees/mnode.h"
#include "memory/memory.h"

namespace zub {

// The numbering and the table, for nodes of any size.
class SlabTable {
 public:
  static constexpr int kChunkShift = kMnodeChunkShift;
  static constexpr std::uint32_t kFirstSlab = std::uint32_t{1} << kChunkShift;
  static constexpr std::uint32_t kMaxSlab = kMnodeMaxSlab;

  // An empty store drawing on `pool`.
  void init(memory* pool) {
    pool_ = pool;
    chunks_ = nullptr;
    chunk_capacity_ = 0;
    next_ = end_ = 0;
  }
  // Numbers handed out so far, which is also the last one.
  std::uint32_t size() const { return next_ == 0 ? 0 : next_ - 1; }

 protected:
  void grow(std::size_t node_bytes);  // rare: the next slab; throws RunError

  memory* pool_;
  std::uintptr_t* chunks_;
  std::uint32_t chunk_capacity_;
  std::uint32_t next_;  // the number of the next node
  std::uint32_t end_;   // one past the last number the slabs cover
};

template <class Node>
class SlabStore : public SlabTable {
 public:
  Node* at(std::uint32_t r) const {
    // Each entry holds its slab's address less the slab's first number's
    // offset, so the number itself adds the rest (modulo arithmetic).
    return reinterpret_cast<Node*>(chunks_[r >> kChunkShift] + std::uintptr_t{r} * sizeof(Node));
  }
  // A new, uninitialised node.
  std::uint32_t make() {
    if (next_ == end_) grow(sizeof(Node));
    return next_++;
  }
};

using MnodeStore = SlabStore<Mnode>;

}  // namespace zub
