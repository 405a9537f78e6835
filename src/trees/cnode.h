#pragma once
// One node of a CFI-tree: an MFI-tree node that also carries the highest
// support of any itemset recorded through it. Children stand in order of
// creation.

namespace zub {

class CFI_tree;

struct Cnode {
  int item;  // item id; -1 for the root
  Cnode* parent;
  Cnode* first_child;
  Cnode* next_sibling;
  Cnode* link;  // next node of the same item, newest first
  int depth;    // items on the path from the root, this node included
  int count;    // highest support recorded through this node

  void init(Cnode* parent_, int item_, int count_, int depth_) {
    item = item_;
    parent = parent_;
    count = count_;
    depth = depth_;
    first_child = next_sibling = link = nullptr;
  }
  // Adds a child behind `last_child` (this node's current last child; ignored
  // when it has none) and puts it at the front of the item's chain.
  Cnode* append(CFI_tree* tree, Cnode* last_child, int item_, int depth_, int count_);
};

}  // namespace zub
