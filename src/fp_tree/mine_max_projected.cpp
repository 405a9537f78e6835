// The second maximal-itemset recursion: per header position, from the least
// frequent item up, the tail, a subset check of the whole candidate, the
// direct cases, and otherwise the conditional tree with an MFI-tree projected
// from this level's.
#include "fp_tree/fi_tree.h"
#include "fp_tree/mfi_tree.h"
#include "io/fsout.h"

namespace zub {

int FI_tree::Mine_Max_Projected(FSout* out) {
  Context& c = *ctx;
  stack& list = *c.list;
  MFI_tree* const M = mfi_tree;
  int* const supp = c.supp.data();
  const int* const tail = c.tail.data();
  const int s = M->stack_pos;
  auto clear_tail_supports = [&] {
    for (int k = s + 2; k < list.len; ++k) supp[item_pos[list.items[k]]] = 0;
  };

  for (int i = num_items - 1; i >= 0; --i) {
    Fnode* const hd = heads[i];
    list.items[s + 1] = hd->item;
    const int k = collect_tail(i);
    for (int t = 0; t < k; ++t) list.items[s + 2 + t] = tail[t];
    list.len = s + 2 + k;

    if (M->is_subset()) {
      clear_tail_supports();
      list.len = s + 1;
      if (k == i) return i;
      continue;
    }

    if (k <= 1) {
      // Nothing left to combine: the candidate is maximal.
      ++c.ITlen[list.len - 1];
      if (out != nullptr) out->write_itemset(list.len, list.items, k == 1 ? supp[item_pos[tail[0]]] : hd->count);
      M->insert(list.items, s + 1, list.len);
      update_mfi_trees(c, s + 1);
      clear_tail_supports();
      list.len = s + 1;
      if (k == i) return i;
      continue;
    }

    const TreeMark mark(c);
    FI_tree* child = conditional_tree(k);
    child->scan2_DB(this, hd);
    list.len = s + 2;  // the tail stays written above the top

    if (child->Single_path(false)) {
      // One path: the level item with its whole tail is the only itemset.
      if (out != nullptr) out->write_itemset(s + 2 + k, list.items, child->heads[child->num_items - 1]->count);
      ++c.ITlen[s + 1 + k];
      M->insert(list.items, s + 1, s + 2 + k);
      list.len = s + 2 + k;
      update_mfi_trees(c, s + 1);
      list.len = s + 1;
      if (k == i) return k;
      continue;
    }

    std::unique_ptr<memory> pool = allocate_buf(i, s, c.ms_projected);
    MFI_tree* child_mfi = pool->take<MFI_tree>(1);
    child_mfi->init(pool.get(), child, M, M->heads[i], list.len - 1);
    child->mfi_tree = child_mfi;
    c.mfitrees[s + 2] = child_mfi;
    const int r = child->Mine_Max_Projected(out);
    // The slot is cleared at once: no reader may meet a released tree.
    c.mfitrees[s + 2] = nullptr;
    list.len = child_mfi->stack_pos;
    release_ladder_pool(std::move(pool), c.ms_projected);
    if (r + 1 == i) return i;
  }
  return 0;
}

}  // namespace zub
