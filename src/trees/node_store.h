#pragma once
// The FP-tree nodes of a run. Nodes refer to each other by 32-bit numbers
// rather than pointers, which makes a node 12 bytes and its child links 8
// instead of 40 together: the trees are most of a run's memory, and their
// walks are cache misses, so smaller nodes are both less memory and less
// time. Nodes and links live in parallel slabs of a fixed size that never
// move; a number is a slab and a slot. Like the pools, the store only gives
// nodes back wholesale, by rolling back to a mark.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/tuning.h"
#include "trees/fnode.h"

namespace zub {

class NodeStore {
 public:
  static constexpr int kSlabShift = kNodeSlabShift;
  static constexpr NodeRef kSlabMask = (NodeRef{1} << kSlabShift) - 1;

  Fnode* at(NodeRef r) const { return node_slabs_[r >> kSlabShift].get() + (r & kSlabMask); }
  // Null for kNoNode.
  Fnode* get(NodeRef r) const { return r == kNoNode ? nullptr : at(r); }
  FnodeLinks* links(NodeRef r) const { return link_slabs_[r >> kSlabShift].get() + (r & kSlabMask); }
  // Whether r's slab still has its links (see drop_links_below).
  bool has_links(NodeRef r) const { return link_slabs_[r >> kSlabShift] != nullptr; }

  // A new, uninitialised node.
  NodeRef make() {
    if (next_ >= limit_) grow();
    return next_++;
  }

  // n new, uninitialised nodes, numbered on from the one returned, their
  // slabs made: threads may then fill them at once.
  NodeRef make_many(std::size_t n);

  // Everything made after a mark goes with the roll-back to it; the slabs
  // stay for the nodes made next.
  NodeRef mark() const { return next_; }
  void rollback(NodeRef mark) { next_ = limit_ = mark; }
  // Gives every node back; new slabs have links again.
  void clear() {
    next_ = limit_ = 0;
    links_on_ = true;
  }

  // Frees the child links of the slabs that lie wholly below `end`: the
  // nodes there stay, but their children can no longer be walked. For a
  // tree that is built and from then on only climbed and chained.
  void drop_links_below(NodeRef end);
  // With links off, new slabs come without child links (for a tree built
  // without them); turned on again, the slab the next node goes into gets
  // its links, so every node made from then on has them.
  void set_links(bool on);

  // Calls visit(first, nodes, n) for the runs of consecutive numbers that
  // share a slab, from `begin` up to, not including, `end`.
  template <class Visit>
  void for_each_run(NodeRef begin, NodeRef end, Visit&& visit) const {
    while (begin < end) {
      const NodeRef slab_end = (begin | kSlabMask) + 1;
      const NodeRef run_end = slab_end < end && slab_end != 0 ? slab_end : end;
      visit(begin, at(begin), static_cast<int>(run_end - begin));
      begin = run_end;
    }
  }

  std::size_t slabs() const { return node_slabs_.size(); }
  std::size_t link_slabs() const;

  // Turns links off for the nodes made during its lifetime.
  class LinksOff {
   public:
    explicit LinksOff(NodeStore& store) : store_(store) { store_.set_links(false); }
    ~LinksOff() { store_.set_links(true); }
    LinksOff(const LinksOff&) = delete;
    LinksOff& operator=(const LinksOff&) = delete;

   private:
    NodeStore& store_;
  };

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

  std::vector<std::unique_ptr<Fnode[]>> node_slabs_;
  std::vector<std::unique_ptr<FnodeLinks[]>> link_slabs_;  // null where dropped
  bool links_on_ = true;
  NodeRef next_ = 0;   // the number of the next node; 0 is never handed out
  NodeRef limit_ = 0;  // up to here make() needs no slab; grow() recomputes it
};

}  // namespace zub
