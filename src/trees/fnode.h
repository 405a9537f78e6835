#pragma once
// One node of an FP-tree, or a header node of its header table (parent none,
// count the item's support). Nodes name each other by their numbers in the
// run's NodeStore. An item's nodes are listed in the tree's chain arrays,
// made once the tree is built, rather than linked through the nodes.
#include <cstdint>

namespace zub {

using NodeRef = std::uint32_t;
inline constexpr NodeRef kNoNode = 0;

struct Fnode {
  int item;   // item id; -1 for the root
  int count;  // transactions (or summed path weights) through the node
  NodeRef parent;

  void init(NodeRef parent_, int item_, int count_) {
    item = item_;
    count = count_;
    parent = parent_;
  }
};

// Where a node's children are. Kept apart from the node: the walks that
// mining repeats (climbs to the root from the nodes of a chain) read only
// the node, so those nodes pack five to a cache line, and the main tree, once
// built and prepared, gives its children's links back.
struct FnodeLinks {
  NodeRef first_child;
  NodeRef next_sibling;
};

}  // namespace zub
