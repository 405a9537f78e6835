// The closed-itemset recursion: per header position, from the least frequent
// item up, a closedness test of the level item, the tail with its supports,
// the closed itemsets of a single path read off directly, and otherwise the
// conditional tree with a CFI-tree projected from this level's.
#include "fp_tree/cfi_tree.h"
#include "fp_tree/fi_tree.h"
#include "io/fsout.h"

namespace zub {

bool CFI_tree::generate_close(int n, int support, FSout* out) {
  Context& c = *ctx;
  stack& list = *c.list;
  int* const items = list.items;
  const int* const supports = list.item_supports;
  const int s = stack_pos;
  const int L0 = list.len;
  const int end = L0 + n;
  // The support of what lies below the level item; with nothing below, the
  // empty itemset's, which every transaction supports.
  const int below = L0 >= 2 ? supports[L0 - 2] : c.TRANSACTION_NO;

  // The level item with every entry of its own support: closed, never covered.
  int L = L0;
  while (L < end && supports[L] == support) ++L;
  list.len = L;
  ++c.ITlen[L - 1];
  if (out != nullptr) out->write_itemset(L, items, support);
  update_cfi_trees(c, s + 2, support);
  if (L == end && below == support) return true;

  // Each later support drop ends the next candidate.
  while (L < end) {
    const int g = supports[L];
    while (L < end && supports[L] == g) ++L;
    list.len = L;
    order_FS(items, s + 2, L - 1);
    if (is_subset(g)) continue;
    ++c.ITlen[L - 1];
    if (out != nullptr) out->write_itemset(L, items, g);
    update_cfi_trees(c, s + 2, g);
  }
  return false;
}

int FI_tree::Mine_Closed(FSout* out) {
  Context& c = *ctx;
  stack& list = *c.list;
  CFI_tree* const C = cfi_tree;
  int* const supp = c.supp.data();
  const int* const tail = c.tail.data();
  const int s = C->stack_pos;

  for (int i = num_items - 1; i >= 0; --i) {
    Fnode* const hd = heads[i];
    const int sup = hd->count;
    list.items[s + 1] = hd->item;
    list.item_supports[s + 1] = sup;
    list.len = s + 2;
    if (C->is_subset(sup)) {
      list.len = s + 1;
      continue;
    }

    const int k = collect_tail(i);
    for (int t = 0; t < k; ++t) {
      list.items[s + 2 + t] = tail[t];
      list.item_supports[s + 2 + t] = supp[item_pos[tail[t]]];
    }

    if (k == 0) {
      ++c.ITlen[s + 1];
      if (out != nullptr) out->write_itemset(s + 2, list.items, sup);
      if (s == -1) ++C->cfi_count;
      update_cfi_trees(c, s + 1, sup);
      list.len = s + 1;
      continue;
    }

    if (k == 1) {
      // A lone tail item is a path of one entry, with its pair support above the top.
      C->generate_close(1, sup, out);
      supp[item_pos[tail[0]]] = 0;
      list.len = s + 1;
      continue;
    }

    const TreeMark mark(c);
    FI_tree* child = conditional_tree(k);
    child->scan2_DB(this, hd);

    if (child->Single_path(false)) {
      // The header order of a single path is its order from the root down;
      // taking the header keeps items without a node (support 0 when every
      // id is frequent) at the end, with their support.
      for (int p = 0; p < k; ++p) {
        list.items[s + 2 + p] = child->pos_item[p];
        list.item_supports[s + 2 + p] = child->supports[p];
      }
      const bool covered = C->generate_close(k, sup, out);
      list.len = s + 1;
      if (covered && k == i) return k;
      continue;
    }

    bool level_is_closed = true;
    for (int t = s + 2; t < s + 2 + k; ++t)
      if (list.item_supports[t] == sup) level_is_closed = false;
    if (level_is_closed) {
      ++c.ITlen[s + 1];
      if (out != nullptr) out->write_itemset(s + 2, list.items, sup);
      if (s == -1) ++C->cfi_count;
      update_cfi_trees(c, s + 1, sup);
    }

    std::unique_ptr<memory> pool = allocate_buf(i, s, c.ms_closed);
    CFI_tree* child_cfi = pool->take<CFI_tree>(1);
    child_cfi->init(pool.get(), child, C, C->heads[i], s + 1);
    child->cfi_tree = child_cfi;
    c.cfitrees[s + 2] = child_cfi;
    child->Mine_Closed(out);
    c.cfitrees[s + 2] = nullptr;
    list.len = child_cfi->stack_pos;
    release_ladder_pool(std::move(pool), c.ms_closed);
  }
  return 0;
}

}  // namespace zub
