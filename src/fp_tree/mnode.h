#pragma once
// One node of an MFI-tree. Children stand in order of creation.

namespace zub {

class MFI_tree;

struct Mnode {
  int item;   // item id; -1 for the root
  int depth;  // items on the path from the root, this node included
  Mnode* parent;
  Mnode* first_child;
  Mnode* next_sibling;
  Mnode* link;  // next node of the same item, newest first

  void init(Mnode* parent_, int item_, int depth_) {
    item = item_;
    depth = depth_;
    parent = parent_;
    first_child = next_sibling = link = nullptr;
  }
  // Adds a child behind `last_child` (this node's current last child, or null
  // when it has none) and puts it at the front of the item's chain.
  Mnode* append(MFI_tree* tree, Mnode* last_child, int item_, int depth_);
};

}  // namespace zub
