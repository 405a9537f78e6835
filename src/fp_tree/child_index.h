#pragma once
// An index of the children of the nodes that have many, used while one tree
// is being built. Sibling lists are kept sorted by position, so finding a
// child means walking them; a node whose walk grows long becomes a hub, and
// from then on its children are found by binary search in a sorted array of
// their positions. Only hubs are indexed, so the index stays small.
#include <cstdint>
#include <vector>

#include "fp_tree/node_store.h"

namespace zub {

class FI_tree;

class ChildIndex {
 public:
  // A walk longer than this makes the node a hub. Only nodes this close to
  // the root are considered: a node has at most as many children as its
  // count, and counts fall quickly with depth.
  static constexpr int kLongWalk = 24;
  static constexpr int kHubDepth = 3;

  // Ties the index to one tree being built, for the lifetime of the object.
  class Session {
   public:
    Session(ChildIndex& index, const FI_tree* tree) : index_(index) { index_.begin(tree); }
    ~Session() { index_.end(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

   private:
    ChildIndex& index_;
  };

  bool active_for(const FI_tree* tree) const { return tree_ == tree && tree != nullptr; }
  // The hub number of `parent`, or -1. A bit filter answers most non-hubs.
  int hub_of(const Fnode* parent) const {
    const std::size_t bit = filter_bit(parent);
    if ((filter_[bit >> 6] >> (bit & 63) & 1) == 0) return -1;
    return probe(parent);
  }
  // In hub h: the child at `pos` (or none), and through `before` the child
  // with the largest position below pos (or kNoNode).
  NodeRef find(int h, int pos, NodeRef* before) const;
  // Makes `parent` (numbered parent_ref) a hub with all its current children.
  void add_hub(const Fnode* parent, NodeRef parent_ref, const FI_tree& tree);
  void add_child(int h, int pos, NodeRef child);

 private:
  struct Hub {
    std::vector<int> positions;  // ascending
    std::vector<NodeRef> children;
  };
  void begin(const FI_tree* tree);
  void end();
  int probe(const Fnode* parent) const;
  static std::size_t filter_bit(const Fnode* parent) {
    return (reinterpret_cast<std::uintptr_t>(parent) >> 3) & (kFilterBits - 1);
  }
  static constexpr std::size_t kFilterBits = 4096;
  std::uint64_t filter_[kFilterBits / 64] = {};
  std::size_t home(const Fnode* parent) const {
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(parent) * 0x9E3779B97F4A7C15ull) >> 40) &
           (table_.size() - 1);
  }

  const FI_tree* tree_ = nullptr;
  std::vector<const Fnode*> table_;  // open addressing; hub k at the slot of its parent
  std::vector<int> table_hub_;
  std::vector<Hub> hubs_;            // kept between trees for their capacity
  int hub_count_ = 0;
};

}  // namespace zub
