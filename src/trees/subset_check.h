#pragma once
// The subset check that the MFI- and CFI-trees share: is the itemset on the
// stack above `level` (the level item, then items in ascending position)
// one path's items of a recorded itemset? Climbs from each node of the
// level item's chain, newest first, matching the stack's items from the top
// down and skipping nodes of positions between them; a node too shallow to
// hold them all is passed over, as is one that `accept` refuses (the
// CFI-tree's support filter).
#include "trees/stack.h"

namespace zub {

// Tree provides item_pos, chain_first(pos), chain_next(node), up(node),
// is_root(node), item_of(node) and reaches(node, items): can the node's
// path hold that many items (yes when its depth cannot tell).
template <class Tree, class Accept>
bool holds_stack(const Tree& tree, const stack& list, int level, Accept&& accept) {
  const int* item_pos = tree.item_pos;
  const int* items = list.items;
  const int len = list.len;
  for (auto node = tree.chain_first(item_pos[items[level + 1]]); node != nullptr; node = tree.chain_next(node)) {
    if (!accept(*node)) continue;
    if (len == level + 2) return true;
    if (!tree.reaches(*node, len - level - 1)) continue;  // too short to hold them all
    auto a = tree.up(node);
    for (int k = len - 1;; --k) {
      const int target = item_pos[items[k]];
      // The root has depth 0 and no item: the climb stops there.
      while (!tree.is_root(a) && item_pos[tree.item_of(*a)] > target && tree.reaches(*a, k - level - 1)) a = tree.up(a);
      if (tree.item_of(*a) != items[k]) break;
      if (k == level + 2) return true;
    }
  }
  return false;
}

}  // namespace zub
