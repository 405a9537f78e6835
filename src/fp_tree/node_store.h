#pragma once
// The FP-tree nodes of a run. Nodes refer to each other by 32-bit numbers
// rather than pointers, which makes a node 24 bytes instead of 40: the trees
// are most of a run's memory, and their walks are cache misses, so smaller
// nodes are both less memory and less time. Nodes live in slabs of a fixed
// size that never move; a number is a slab and a slot. Like the pools, the
// store only gives nodes back wholesale, by rolling back to a mark.
#include <cstdint>
#include <memory>
#include <vector>

#include "fp_tree/fnode.h"

namespace zub {

class NodeStore {
 public:
  static constexpr int kSlabShift = 14;  // 16384 nodes, 384 KiB, per slab
  static constexpr NodeRef kSlabMask = (NodeRef{1} << kSlabShift) - 1;

  Fnode* at(NodeRef r) const { return slabs_[r >> kSlabShift] + (r & kSlabMask); }
  // Null for kNoNode.
  Fnode* get(NodeRef r) const { return r == kNoNode ? nullptr : at(r); }

  // A new, uninitialised node.
  NodeRef make() {
    if (next_ >= limit_) grow();
    return next_++;
  }

  // Everything made after a mark goes with the roll-back to it; the slabs
  // stay for the nodes made next.
  NodeRef mark() const { return next_; }
  void rollback(NodeRef mark) { next_ = limit_ = mark; }
  // Gives every node back.
  void clear() { next_ = limit_ = 0; }

  std::size_t slabs() const { return slabs_.size(); }

  // Rolls the store back when it goes out of scope.
  class Mark {
   public:
    explicit Mark(NodeStore& store) : store_(store), mark_(store.mark()) {}
    ~Mark() { store_.rollback(mark_); }
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;

   private:
    NodeStore& store_;
    NodeRef mark_;
  };

 private:
  void grow();  // rare: the next slab, reused or new; throws RunError

  std::vector<std::unique_ptr<Fnode[]>> owned_;
  std::vector<Fnode*> slabs_;
  NodeRef next_ = 0;   // the number of the next node; 0 is never handed out
  NodeRef limit_ = 0;  // up to here make() needs no slab; grow() recomputes it
};

}  // namespace zub
