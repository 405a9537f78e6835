#pragma once
// The CFI-tree of one FP-tree: a prefix tree of the closed itemsets found so
// far (their items within that FP-tree, in its position order), each node
// holding the highest support recorded through it, so that a candidate that
// a recorded itemset of at least the same support contains is rejected.
#include "trees/cnode.h"
#include "trees/late_children.h"
#include "trees/mnode_store.h"
#include "trees/node_key.h"
#include "trees/tree_scratch.h"

namespace zub {

class FI_tree;

class CFI_tree {
 public:
  // An empty tree for `tree` at stack position `stack_pos`; when `parent` and
  // `chain` are given, filled with the parent's itemsets through the nodes of
  // `chain`, each projected onto tree's items with that node's count.
  void init(memory* pool, FI_tree* tree, CFI_tree* parent, CnodeRef chain, int stack_pos);
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
  const Cnode* chain_first(int pos) const { return get(heads[pos]); }
  const Cnode* chain_next(const Cnode* n) const { return get(n->link); }
  const Cnode* up(const Cnode* n) const { return nodes.at(n->parent); }
  static bool is_root(const Cnode* n) { return n->parent == kNoCnode; }
  int item_of(const Cnode& n) const { return keys.item(n.key); }  // the root's is no item
  int depth_of(const Cnode& n) const { return keys.depth(n.key); }  // or the most the key holds
  bool reaches(const Cnode& n, int need) const { return keys.reaches(n.key, need); }
  Cnode* node(CnodeRef r) const { return nodes.at(r); }
  Cnode* get(CnodeRef r) const { return r == kNoCnode ? nullptr : nodes.at(r); }
  // The node's first child: the next number when that is its child, or the
  // one kept aside.
  CnodeRef first_child(CnodeRef r) const { return late.first_child(nodes, r); }

  // The root is the first node made.
  static constexpr CnodeRef root = 1;

  TreeScratch* scratch;
  int num_items;
  const int* item_pos;  // the FP-tree's
  const int* pos_item;
  CnodeRef* heads;
  memory* pool;
  int stack_pos;
  SlabStore<Cnode> nodes;
  NodeKeys keys;      // how a node's key holds its item and depth
  LateChildren late;  // first children not made right after their parent

 private:
  // Follows the child of `node` that carries `item`, raising its count, or
  // appends one; once a node was appended every later item is appended.
  CnodeRef descend(CnodeRef node, int item, int depth, int support, bool& appending);
  // A new child of `parent` behind its last child `last` (kNoCnode: it has
  // none), put at the front of the item's chain.
  CnodeRef append(CnodeRef parent, CnodeRef last, int item, int depth, int count);
  // Records the n flagged positions (ascending) as one path; clears the flags.
  void record_flags(bool* flags, int n, int support);
};

inline CnodeRef CFI_tree::append(CnodeRef parent, CnodeRef last, int item, int depth, int count) {
  const CnodeRef r = nodes.make();
  Cnode* n = nodes.at(r);
  n->init(parent, keys.make(item, depth), count);
  if (last != kNoCnode) {
    nodes.at(last)->next_sibling = r;
  } else {
    late.note_first_child(nodes, parent, r);
  }
  CnodeRef& head = heads[item_pos[item]];
  n->link = head;
  head = r;
  return r;
}

}  // namespace zub
