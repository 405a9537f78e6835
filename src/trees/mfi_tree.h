#pragma once
// The MFI-tree of one FP-tree: a prefix tree of the maximal itemsets found so
// far (their items within that FP-tree), in the FP-tree's position order, so
// that a candidate inside one of them is rejected without mining it.
#include <cstdio>
#include <vector>

#include "memory/zeroed_array.h"
#include "trees/hub_index.h"
#include "trees/late_children.h"
#include "trees/mnode.h"
#include "trees/mnode_store.h"
#include "trees/node_key.h"
#include "trees/tree_scratch.h"

namespace zub {

class FI_tree;

class MFI_tree {
 public:
  // An empty tree for `tree`; filled from `parent`'s chain that starts at
  // `start` when both are given (each path projected onto tree's items).
  void init(memory* pool, FI_tree* tree, MFI_tree* parent, MnodeRef start, int stack_pos);
  // An empty tree for `tree`, then seeded with the temporary MFI list.
  void init(memory* pool, FI_tree* tree, int stack_pos);
  // An empty tree for `tree` over the caller's position arrays (ZeroedArray
  // of tree's items; kNoMnode is 0): a tree over the main tree's million
  // items then takes memory only where it has nodes.
  void init_over(memory* pool, FI_tree* tree, int stack_pos, ZeroedArray<MnodeRef>& heads,
                 ZeroedArray<MnodeRef>& root_children);
  // Empties the tree for another use, cheaply on a large tree: the entries
  // of the position arrays that its nodes used are cleared (while the nodes
  // are there), and its nodes are taken anew from `pool`.
  void clear_entries();
  void restart(memory* pool);
  // Adds each path of `from` that passes through `item`, up to and including
  // it: all that the mining of `item`'s position reads of `from`.
  void add_paths_through(const MFI_tree& from, int item);

  // Adds the set positions of `flags` (exactly `count` set) as one path and
  // clears them.
  void insert(bool* flags, int count);
  // Adds the k items (item ids of this tree, in any order) as one path; the
  // support is not kept. How the recorder enters an itemset.
  void enter(const int* items, int k, int support);
  // Adds items[first+1 .. last-1], given in ascending position, as one path.
  void insert(const int* items, int first, int last);
  // Adds the entries of the temporary MFI list.
  void insert();

  // Is {h} plus the tail inside a recorded itemset? Rebuilds the temporary
  // MFI list with every recorded itemset that contains h.
  bool is_subset(int h, const int* tail, int tlen);
  // Is the stack above stack_pos (h, then items in ascending position)
  // inside a recorded itemset?
  bool is_subset();
  // As the first form with h = items[first] and the tail items[first+1..last].
  bool is_subset(const int* items, int first, int last);

  // Developer dump; item ids shown as file ids through `file_id` when given.
  void print(const std::vector<int>* file_id, std::FILE* stream) const;

  Mnode* node(MnodeRef r) const { return nodes.at(r); }
  Mnode* get(MnodeRef r) const { return r == kNoMnode ? nullptr : nodes.at(r); }
  // The walks of the shared subset check (subset_check.h).
  const Mnode* chain_first(int pos) const { return get(heads[pos]); }
  const Mnode* chain_next(const Mnode* n) const { return get(n->link); }
  const Mnode* up(const Mnode* n) const { return nodes.at(n->parent); }
  static bool is_root(const Mnode* n) { return n->parent == kNoMnode; }
  int item_of(const Mnode& n) const { return keys.item(n.key); }  // the root's is no item
  // Items on the path from the root, or the most the key can tell.
  int depth_of(const Mnode& n) const { return keys.depth(n.key); }
  // Can the node's path hold `need` items (yes when its depth cannot tell)?
  bool reaches(const Mnode& n, int need) const { return keys.reaches(n.key, need); }
  // The node's first child: the next number when that is its child, or the
  // one kept aside.
  MnodeRef first_child(MnodeRef r) const { return late.first_child(nodes, r); }
  // Calls f(item) for `from` and each of its ancestors below the root.
  template <class F>
  void for_each_item_up(const Mnode* from, F&& f) const {
    for (; from->parent != kNoMnode; from = nodes.at(from->parent)) f(keys.item(from->key));
  }
  // The same for the ancestors alone.
  template <class F>
  void for_each_item_above(const Mnode* from, F&& f) const {
    for_each_item_up(nodes.at(from->parent), f);
  }

  // The root is the first node made.
  static constexpr MnodeRef root = 1;

  TreeScratch* scratch;
  int num_items;
  const int* item_pos;  // the FP-tree's
  const int* pos_item;
  MnodeRef* heads;
  int stack_pos;
  memory* pool;
  MnodeStore nodes;
  NodeKeys keys;       // how a node's key holds its item and depth
  LateChildren late;   // first children not made right after their parent
  MnodeRef* root_children;  // by position
  MnodeRef root_last_child;
  HubIndex* hubs;           // of busy nodes below the root, made on first need

 private:
  void make_empty(memory* pool_, FI_tree* tree, int stack_pos_);
  void describe(memory* pool_, FI_tree* tree, int stack_pos_);
  // The path insertion itself, without counting: k ascending positions, or
  // k items laid out by position.
  void add_positions(const int* positions, int k);
  void add_items(const int* items, int k);
  // Adds the items above `owner`'s node r that this tree has, at most `most`.
  void add_path_of(const MFI_tree& owner, MnodeRef r, int most);
  // Makes `current` (whose first child is `first`) a hub of its children.
  HubIndex::Hub* make_hub(MnodeRef current, MnodeRef first);
  // A new child of `parent` behind its child `prev` (kNoMnode: its first
  // child, when it has none), put at the front of the item's chain.
  MnodeRef append(MnodeRef parent, MnodeRef prev, int item, int depth);
};

inline MnodeRef MFI_tree::append(MnodeRef parent, MnodeRef prev, int item, int depth) {
  const MnodeRef r = nodes.make();
  Mnode* n = nodes.at(r);
  n->init(parent, keys.make(item, depth));
  if (prev != kNoMnode) {
    Mnode* p = nodes.at(prev);
    n->next_sibling = p->next_sibling;
    p->next_sibling = r;
  } else {
    late.note_first_child(nodes, parent, r);
  }
  MnodeRef& head = heads[item_pos[item]];
  n->link = head;
  head = r;
  return r;
}

}  // namespace zub
