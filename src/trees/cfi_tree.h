#pragma once
// The CFI-tree of one FP-tree: a prefix tree of the closed itemsets found so
// far (their items within that FP-tree, in its position order), each node
// holding the highest support recorded through it, so that a candidate that
// a recorded itemset of at least the same support contains is rejected.
#include "trees/cnode.h"
#include "trees/tree_scratch.h"

namespace zub {

class FI_tree;

class CFI_tree {
 public:
  // An empty tree for `tree` at stack position `stack_pos`; when `parent` and
  // `chain` are given, filled with the parent's itemsets through the nodes of
  // `chain`, each projected onto tree's items with that node's count.
  void init(memory* pool, FI_tree* tree, CFI_tree* parent, Cnode* chain, int stack_pos);
  // Records items[from+1 .. to-1] (ascending position) with support `count`.
  void insert(const int* items, int from, int to, int count);
  // Records the first `n` set positions of `flags` with support `count` and
  // clears them.
  void insert(bool* flags, int count, int n);
  // Records the k items (item ids of this tree, in any order) with
  // `support`. How the recorder enters an itemset.
  void enter(const int* items, int k, int support);
  // Do the stack entries above stack_pos (the level item, then ascending
  // positions) lie on one recorded path whose count is at least `support`?
  bool is_subset(int support) const;
  // Sorts items[from..to] into ascending position of this tree.
  void order_FS(int* items, int from, int to) const;

  // The walks of the shared subset check (subset_check.h).
  const Cnode* chain_first(int pos) const { return heads[pos]; }
  static const Cnode* chain_next(const Cnode* n) { return n->link; }
  static const Cnode* up(const Cnode* n) { return n->parent; }
  static bool is_root(const Cnode* n) { return n->parent == nullptr; }

  TreeScratch* scratch;
  int num_items;
  const int* item_pos;  // the FP-tree's
  const int* pos_item;
  Cnode* root;
  Cnode** heads;
  memory* pool;
  int stack_pos;

 private:
  // Follows the child of `node` that carries `item`, raising its count, or
  // appends one; once a node was appended every later item is appended.
  Cnode* descend(Cnode* node, int item, int depth, int support, bool& appending);
  // Records the n flagged positions (ascending) as one path; clears the flags.
  void record_flags(bool* flags, int n, int support);
};

inline Cnode* Cnode::append(CFI_tree* tree, Cnode* last_child, int item_, int depth_, int count_) {
  Cnode* node = tree->pool->take<Cnode>(1);
  node->init(this, item_, count_, depth_);
  if (first_child == nullptr)
    first_child = node;
  else
    last_child->next_sibling = node;
  Cnode*& head = tree->heads[tree->item_pos[item_]];
  node->link = head;
  head = node;
  return node;
}

}  // namespace zub
