#pragma once
// One node of an FP-tree, or a header node of its header table (parent none,
// count the item's support, link the newest tree node of the item). Nodes
// name each other by their numbers in the run's NodeStore.
#include <cstdint>

namespace zub {

using NodeRef = std::uint32_t;
inline constexpr NodeRef kNoNode = 0;

struct Fnode {
  int item;   // item id; -1 for the root
  int count;  // transactions (or summed path weights) through the node
  NodeRef parent;
  NodeRef link;  // next node of the same item, newest first

  void init(NodeRef parent_, int item_, int count_) {
    item = item_;
    count = count_;
    parent = parent_;
    link = kNoNode;
  }
};

// Where a node's children are. Kept apart from the node: the walks that
// mining repeats (climbs to the root, node-link chains) read only the node,
// so those nodes pack four to a cache line, and the main tree, once built
// and prepared, gives its children's links back.
struct FnodeLinks {
  NodeRef first_child;
  NodeRef next_sibling;
};

}  // namespace zub
