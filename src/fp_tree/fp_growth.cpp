// Every frequent itemset: per header position, the level item alone, then
// its extensions, by conditional trees; a single-path conditional tree is
// written as the subsets of its path without further trees.
#include "fp_tree/fi_tree.h"
#include "io/fsout.h"

namespace zub {

int FI_tree::FP_growth(FSout* out) {
  Context& c = *ctx;
  stack& list = *c.list;
  int* const supp = c.supp.data();
  const int* const tail = c.tail.data();

  for (int i = num_items - 1; i >= 0; --i) {
    Fnode* const hd = heads[i];
    list.items[list.len++] = hd->item;
    const int top0 = list.len;
    ++c.ITlen[top0 - 1];
    if (out != nullptr) out->write_itemset(top0, list.items, hd->count);

    const int k = collect_tail(i);
    if (k == 1) {
      list.items[top0] = tail[0];
      ++c.ITlen[top0];
      if (out != nullptr) out->write_itemset(top0 + 1, list.items, supp[item_pos[tail[0]]]);
      supp[item_pos[tail[0]]] = 0;
    } else if (k >= 2) {
      const TreeMark mark(c);
      FI_tree* child = conditional_tree(k);
      child->scan2_DB(this, hd);
      if (child->Single_path(false)) {
        // The header order of a single path is its order from the root
        // down; taking the header also keeps items without a node (support
        // 0 when every id is frequent), which sort last.
        for (int p = 0; p < k; ++p) list.items[top0 + p] = child->pos_item[p];
        child->powerset(c.prefix.data(), 0, list.items, top0, top0 + k, out);
      } else {
        child->FP_growth(out);
      }
    }
    list.len = top0 - 1;
  }
  return 0;
}

void FI_tree::powerset(int* subset_buf, int length, int* source, int from, int to, FSout* out) const {
  for (int j = 0; j < to - from; ++j) {
    powerset(subset_buf, length + j, source, from + j + 1, to, out);
    subset_buf[length + j] = source[from + j];
  }
  length += to - from;
  if (length == 0) return;
  const stack& list = *ctx->list;
  ++ctx->ITlen[length + list.len - 1];
  if (out != nullptr) {
    out->write_items(list.len, list.items);
    out->write_itemset(length, subset_buf, heads[item_pos[subset_buf[length - 1]]]->count);
  }
}

void FI_tree::generate_all(int n, FSout* out) const {
  stack& list = *ctx->list;
  powerset(ctx->prefix.data(), 0, list.items, list.len, list.len + n, out);
}

}  // namespace zub
