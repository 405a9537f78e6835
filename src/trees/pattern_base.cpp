// The stand-alone pattern-base walks, the chains loaded as nodes and the
// frequent partners of a position.
#include <algorithm>
#include <cassert>

#include "trees/ancestor_walk.h"
#include "trees/fi_tree.h"

namespace zub {

int FI_tree::walk_pattern_base(Fnode* h, bool set_top_support) const {
  int* supp = scratch_->supp.data();
  int* tail = scratch_->tail.data();
  const int p = item_pos_[h->item];
  const Chain nodes = chain(p);
  for_each_ancestor(*store_, nodes.nodes, nodes.size, root_,
                    [&](const Fnode& n, const Fnode& a) { supp[item_pos_[a.item]] += n.count; });
  if (p < 1) return 0;
  stack& list = scratch_->itemset;
  const int limit = threshold();
  int k = 0;
  for (int b = 0; b < p; ++b) {
    if (supp[b] >= limit) {
      tail[k++] = pos_item_[b];
      if (set_top_support) list.item_supports[list.len - 1] = supp[b];
    } else {
      supp[b] = 0;
    }
  }
  return k;
}

int FI_tree::pattern_base_from_pairs(int item, bool set_top_support) const {
  const int p = item_pos_[item];
  if (p < 1) return 0;
  assert(has_pair_row(p) && "the position has a pair-count row");
  int* supp = scratch_->supp.data();
  int* tail = scratch_->tail.data();
  stack& list = scratch_->itemset;
  const int limit = threshold();
  int k = 0;
  for (int b = 0; b < p; ++b) {
    const int v = pair_count(b, p);
    if (v >= limit) {
      tail[k++] = pos_item_[b];
      supp[b] = v;
      if (set_top_support) list.item_supports[list.len - 1] = v;
    }
  }
  return k;
}

void FI_tree::fill_count(int* origin, int count) {
  int* compact = scratch_->build.positions.data();
  int k = 0;
  for (int q = 0; q < num_items_; ++q) {
    if (origin[q] == -1) continue;
    compact[k++] = q;
    origin[q] = -1;
  }
  if (pair_counts_ != nullptr && k >= 2) add_pairs(compact, k, count);
}

int FI_tree::load_chain(const Fnode* hd, Fnode** out) const {
  const Chain nodes = chain(item_pos_[hd->item]);
  assert(nodes.size <= scratch_->max_width && "no chain is longer than the main tree's widest");
  const NodeStore& store = *this->store_;
  std::transform(nodes.begin(), nodes.end(), out, [&store](NodeRef r) { return store.at(r); });
  return nodes.size;
}

int FI_tree::frequent_partners(int a, int* out) const {
  if (frequent_pairs_ != nullptr) {
    const FrequentPairs::Row row = frequent_pairs_->row(a);
    std::copy(row.partner, row.partner + row.size, out);
    return row.size;
  }
  int n = 0;
  const int* row = pair_counts_[num_items_ - 1 - a];
  for (int b = 0; b < a; ++b)
    if (row[a - b - 1] >= threshold()) out[n++] = b;
  return n;
}

int FI_tree::keep_frequent_with(int d, int* positions, int n) const {
  int kept = 0;
  if (frequent_pairs_ != nullptr) {
    // Both lists ascend: merge them.
    const FrequentPairs::Row row = frequent_pairs_->row(d);
    int r = 0;
    for (int k = 0; k < n; ++k) {
      while (r < row.size && row.partner[r] < positions[k]) ++r;
      if (r < row.size && row.partner[r] == positions[k]) positions[kept++] = positions[k];
    }
    return kept;
  }
  for (int k = 0; k < n; ++k)
    if (pair_count(positions[k], d) >= threshold()) positions[kept++] = positions[k];
  return kept;
}

}  // namespace zub
