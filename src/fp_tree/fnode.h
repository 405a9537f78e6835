#pragma once
// One node of an FP-tree, or a header node of its header table (parent null,
// count the item's support, link the newest tree node of the item).

namespace zub {

class FI_tree;

struct Fnode {
  int item;   // item id; -1 for the root
  int count;  // transactions (or summed path weights) through the node
  Fnode* parent;
  Fnode* first_child;
  Fnode* next_sibling;
  Fnode* link;  // next node of the same item, newest first

  Fnode() = default;
  Fnode(Fnode* parent_, int item_, int count_) { init(parent_, item_, count_); }

  void init(Fnode* parent_, int item_, int count_) {
    item = item_;
    count = count_;
    parent = parent_;
    first_child = next_sibling = link = nullptr;
  }
  // Makes a child carrying `item` behind `prev` (null: in front) and puts it at
  // the front of the item's node-link chain; its memory comes from the main pool.
  Fnode* append(FI_tree* tree, Fnode* prev, int item_, int count_);
};

}  // namespace zub
