// The stand-alone pattern-base walks and pair counting of the FP-tree.
#include <cassert>

#include "trees/ancestor_walk.h"
#include "trees/fi_tree.h"

namespace zub {

int FI_tree::walk_pattern_base(Fnode* h, bool set_top_support) const {
  int* supp = ws->supp.data();
  int* tail = ws->tail.data();
  const int p = item_pos[h->item];
  const Chain nodes = chain(p);
  for_each_ancestor(*store, nodes.nodes, nodes.size, root,
                    [&](const Fnode& n, const Fnode& a) { supp[item_pos[a.item]] += n.count; });
  if (p < 1) return 0;
  stack& list = ws->recorder.itemset;
  const int limit = threshold();
  int k = 0;
  for (int b = 0; b < p; ++b) {
    if (supp[b] >= limit) {
      tail[k++] = pos_item[b];
      if (set_top_support) list.item_supports[list.len - 1] = supp[b];
    } else {
      supp[b] = 0;
    }
  }
  return k;
}

int FI_tree::pattern_base_from_pairs(int item, bool set_top_support) const {
  const int p = item_pos[item];
  if (p < 1) return 0;
  assert(has_pair_row(p) && "the position has a pair-count row");
  int* supp = ws->supp.data();
  int* tail = ws->tail.data();
  stack& list = ws->recorder.itemset;
  const int limit = threshold();
  int k = 0;
  for (int b = 0; b < p; ++b) {
    const int v = pair_count(b, p);
    if (v >= limit) {
      tail[k++] = pos_item[b];
      supp[b] = v;
      if (set_top_support) list.item_supports[list.len - 1] = v;
    }
  }
  return k;
}

void FI_tree::fill_count(int* origin, int count) {
  int* compact = ws->build.positions.data();
  int k = 0;
  for (int q = 0; q < num_items; ++q) {
    if (origin[q] == -1) continue;
    compact[k++] = q;
    origin[q] = -1;
  }
  if (pair_counts != nullptr && k >= 2) add_pairs(compact, k, count);
}

}  // namespace zub
