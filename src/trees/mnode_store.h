#pragma once
// The nodes of one MFI-tree, numbered from 1 (0 is none): 24-byte nodes with
// 32-bit links instead of 40 with pointers, since the MFI-trees hold every
// maximal itemset found and are most of a dense run's memory. The nodes live
// in slabs taken from the tree's own pool, so they go with it; slabs never
// move. Slabs start small and double up to a cap, because most MFI-trees of
// a run are tiny and short-lived and a few hold hundreds of thousands of
// nodes. A number is looked up through a table with one entry per 64
// numbers, whatever the slab sizes: a shift, a load and an add.
#include <cstdint>

#include "common/tuning.h"
#include "trees/mnode.h"
#include "memory/memory.h"

namespace zub {

class MnodeStore {
 public:
  static constexpr int kChunkShift = kMnodeChunkShift;
  static constexpr MnodeRef kFirstSlab = MnodeRef{1} << kChunkShift;
  static constexpr MnodeRef kMaxSlab = kMnodeMaxSlab;

  // An empty store drawing on `pool`.
  void init(memory* pool) {
    pool_ = pool;
    chunks_ = nullptr;
    chunk_capacity_ = 0;
    next_ = end_ = 0;
  }

  Mnode* at(MnodeRef r) const {
    // Each entry holds its slab's address less the slab's first number's
    // offset, so the number itself adds the rest (modulo arithmetic).
    return reinterpret_cast<Mnode*>(chunks_[r >> kChunkShift] + std::uintptr_t{r} * sizeof(Mnode));
  }

  // A new, uninitialised node.
  MnodeRef make() {
    if (next_ == end_) grow();
    return next_++;
  }

  // Numbers handed out so far.
  MnodeRef size() const { return next_ == 0 ? 0 : next_ - 1; }

 private:
  void grow();  // rare: the next slab; throws RunError

  memory* pool_;
  std::uintptr_t* chunks_;
  std::uint32_t chunk_capacity_;
  MnodeRef next_;  // the number of the next node
  MnodeRef end_;   // one past the last number the slabs cover
};

}  // namespace zub
