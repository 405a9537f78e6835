// The maximal-itemset recursion: per header position, from the least frequent
// item up, the tail, the subset check, the direct cases, the first MFI, head
// extension, and otherwise the conditional tree and a recursive call.
#include <algorithm>
#include <cassert>

#include "fp_tree/fi_tree.h"
#include "fp_tree/mfi_tem.h"
#include "fp_tree/mfi_tree.h"
#include "io/fsout.h"

namespace zub {

int FI_tree::Mine_Max(FSout* out) {
  Context& c = *ctx;
  stack& list = *c.list;
  mfi_tem& tem = *c.LMFITEM;
  MFI_tree* const M = mfi_tree;
  int* const supp = c.supp.data();
  int* const tail = c.tail.data();
  const int b = list.len;
  auto clear_tail_supports = [&](int tlen) {
    for (int k = 0; k < tlen; ++k) supp[item_pos[tail[k]]] = 0;
  };

  for (int i = num_items - 1; i >= covered_len; --i) {
    Fnode* const hd = heads[i];
    const int h = hd->item;
    list.items[b] = h;
    list.len = b + 1;
    std::fill(supp, supp + i, 0);

    // The tail: items below i frequent together with the prefix and h.
    int tlen = collect_tail(i);

    if (M->is_subset(h, tail, tlen)) {
      clear_tail_supports(tlen);
      list.len = b;
      if (tlen == i) return i;
      continue;
    }
    std::copy(tail, tail + tlen, list.items + b + 1);
    list.len = b + 1 + tlen;

    if (tlen <= 1) {
      // Nothing left to combine: the stack is maximal.
      ++c.ITlen[list.len - 1];
      if (out != nullptr) out->write_itemset(list.len, list.items, tlen == 1 ? supp[item_pos[tail[0]]] : hd->count);
      M->insert(list.items, M->stack_pos + 1, list.len);
      update_mfi_trees(c, M->stack_pos + 1);
      if (tlen == 1) supp[item_pos[tail[0]]] = 0;
      list.len = b;
      if (tlen == i) return i;
      continue;
    }

    // The first MFI: a greedy extension of h, often settling h at once.
    list.len = b + 1;
    int support = 0;
    // h's chain, read once: by the lookahead, head extension and the build.
    Fnode** const nodes = c.head_tem.data();
    int node_count = load_chain(hd, nodes);
    const int n = c.ITEM_NO > c.first_mfi_2_items ? first_mfi_2(hd, nodes, node_count, support)
                                                   : first_mfi(hd, nodes, node_count, support);
    list.len = b + n;  // drop the second copy of h
    const int e = n - 1;
    const bool is_new = (e > tem.has[0] && tem.count != 0) || !M->is_subset();
    if (is_new) {
      list.len = b + n + 1;  // h, still above the extension items, joins the path
      M->insert(list.items, M->stack_pos + 1, list.len);
      list.len = b + n;
      update_mfi_trees(c, M->stack_pos + 1);
      if (out != nullptr) out->write_itemset(list.len, list.items, support);
      list.len = b + 1;
      assert(tem.tree == M);  // the list was made by this round's subset check
      const int slot = tem.count;
      tem.entries[slot] = M->heads[item_pos[h]];
      tem.has[slot] = e;
      if (slot != 0) {
        for (int j = 0; j < slot; ++j) {
          if (tem.has[j] < e) {
            std::swap(tem.entries[j], tem.entries[slot]);
            std::swap(tem.has[j], tem.has[slot]);
            break;
          }
        }
      }
      ++tem.count;
      if (e == i) {
        clear_tail_supports(tlen);
        return i;
      }
      if (e == tlen) {
        list.len = b;
        clear_tail_supports(tlen);
        continue;
      }
    } else {
      list.len = b + 1;
    }

    // The conditional tree, after head extension when the best listed
    // itemset misses exactly one tail item.
    int extra = 0;
    const bool extended = tem.count != 0 && tem.has[0] == tlen - 1;
    if (extended) {
      extra = head_increase(tail, tlen, nodes, node_count);
      if (tlen > 0) {
        std::copy(tail, tail + tlen, list.items + list.len);
        list.len += tlen;
      }
      if (tlen < 0) {
        for (int k = b + 1; k <= b + extra; ++k) supp[item_pos[list.items[k]]] = 0;
        list.len = b;
        continue;
      }
      if (tlen <= 1) {
        ++c.ITlen[list.len - 1];
        if (out != nullptr) out->write_itemset(list.len, list.items, supp[item_pos[list.items[list.len - 1]]]);
        M->insert_items(list.items + b, list.len - b);
        update_mfi_trees(c, M->stack_pos + 1);
        for (int k = b + 1; k <= b + extra; ++k) supp[item_pos[list.items[k]]] = 0;
        list.len = b;
        if (tlen == i) return i;
        continue;
      }
    }
    const TreeMark mark(c);
    FI_tree* child = conditional_tree(tlen);
    child->scan2_DB(this, nodes, node_count);  // the whole chain, or the nodes head extension kept

    list.len = b + 1 + extra;
    const int sp = child->cal_single_prefix();
    if (sp == child->num_items) {
      // One path: the stack and the whole tail form the only new itemset.
      if (!extended) std::copy(tail, tail + tlen, list.items + list.len);
      if (out != nullptr) out->write_itemset(list.len + tlen, list.items, child->heads[sp - 1]->count);
      M->insert_items(list.items + b, list.len + tlen - b);
      list.len += tlen;
      update_mfi_trees(c, M->stack_pos + 1);
      list.len = b;
      if (tlen == i) return i;
      continue;
    }

    if (sp > 0) {
      for (int k = 0; k < sp; ++k) list.items[list.len++] = child->pos_item[k];
      child->remove_single_prefix(sp);
    }
    std::unique_ptr<memory> pool = allocate_buf(i - sp, M->stack_pos + 10, c.ms_max);
    MFI_tree* child_mfi = pool->take<MFI_tree>(1);
    child_mfi->init(pool.get(), child, list.len - 1);
    child->mfi_tree = child_mfi;
    c.mfitrees[child_mfi->stack_pos + 1] = child_mfi;
    if (tem.count < c.MFI_NO - 10000) {
      c.MFI_NO = std::max(tem.count, 10000);
      tem.resize(c.MFI_NO);
    }
    const int r = child->Mine_Max(out);
    c.mfitrees[child_mfi->stack_pos + 1] = nullptr;
    list.len = b;
    release_ladder_pool(std::move(pool), c.ms_max);
    if (r + 1 == i) return i;
  }
  return 0;
}

}  // namespace zub
