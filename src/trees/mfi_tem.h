#pragma once
// The temporary MFI list: the recorded maximal itemsets that contain the head
// item being mined, as nodes of an MFI-tree, each with the number of current
// tail items it contains; best first.
#include <vector>

#include "trees/tree_scratch.h"
#include "trees/mfi_tree.h"
#include "trees/mnode.h"

namespace zub {

class mfi_tem {
 public:
  void init(TreeScratch* w, memory* pool_, int n);
  // Keeps the entries that contain all of items[from..to], recounts `has`
  // against tail[tfrom..tto] and sorts; true at once when an entry holds
  // the whole tail.
  bool is_subset(const int* items, int from, int to, const int* tail, int tfrom, int tto);
  int slots() const { return static_cast<int>(entries.size()); }
  // Grows or shrinks both arrays to that many slots.
  void resize(int slots) {
    entries.resize(slots, kNoMnode);
    has.resize(slots, 0);
  }

  // Calls f(item) for each item of entry j.
  template <class F>
  void for_each_item(int j, F&& f) const {
    tree->for_each_item_up(tree->node(entries[j]), f);
  }

  TreeScratch* scratch = nullptr;
  int count = 0;
  const MFI_tree* tree = nullptr;  // whose nodes the entries are
  std::vector<MnodeRef> entries;
  ZeroedArray<bool> flags;  // per item id, all false between uses
  std::vector<int> has;
  memory* pool = nullptr;
  ZeroedArray<int> marked_items;  // scratch: the items whose flags is_subset set
};

}  // namespace zub
