// Every frequent itemset: per head item, the item alone, then its extensions
// by conditional trees; a single-path conditional tree is written as the
// subsets of its path without further trees. Under a maximum length a head
// that reaches it has no tail, one just below it is written with each tail
// item without a conditional tree, and a path gives only the subsets that fit.
#include "miners/level_loop.h"
#include "miners/miners.h"
#include "miners/recorder.h"

namespace zub {

namespace {

struct AllLevel {
  static constexpr bool kPassesCover = false;  // nothing covers a frequent itemset

  FI_tree& tree;
  Workspace& ws;
  stack& list = ws.recorder.itemset;
  const int b = list.len;  // the stack index of the head item
  const int most = ws.recorder.lengths().max;

  int lowest_position() const { return 0; }
  const mfi_tem* covering() const { return nullptr; }
  void leave() { list.len = b; }

  Step head(int, Fnode* hd) {
    list.items[b] = hd->item;
    list.len = b + 1;
    ws.recorder.found(list.items, b + 1, hd->count);
    return b + 1 == most ? Step::next : Step::go;
  }

  Step tail(int, Fnode*, int& k) {
    if (k > 1 && b + 2 == most) {
      // Each tail item completes an itemset of the maximum length.
      for (int t = 0; t < k; ++t) {
        list.items[b + 1] = ws.trees.tail[t];
        int& s = ws.trees.supp[tree.item_pos(ws.trees.tail[t])];
        ws.recorder.found(list.items, b + 2, s);
        s = 0;
      }
      return Step::next;
    }
    if (k != 1) return k == 0 ? Step::next : Step::go;
    const int t = ws.trees.tail[0];
    list.items[b + 1] = t;
    ws.recorder.found(list.items, b + 2, ws.trees.supp[tree.item_pos(t)]);
    ws.trees.supp[tree.item_pos(t)] = 0;
    return Step::next;
  }

  void fill(FI_tree* child, Fnode* hd) { child->scan2_DB(&tree, hd); }

  Step child(FI_tree* child, int, int k) {
    if (!child->Single_path(false)) return Step::go;
    // The header order of a single path is its order from the root down;
    // taking the header also keeps items without a node (support 0 when
    // every id is frequent), which sort last.
    for (int p = 0; p < k; ++p) list.items[b + 1 + p] = child->pos_item(p);
    int* itemset = ws.subsets.data();
    std::copy(list.items, list.items + b + 1, itemset);
    powerset(ws.recorder, *child, itemset, b + 1, list.items + b + 1, k, most - (b + 1));
    return Step::next;
  }

  int descend(FI_tree* child, int) { return FP_growth(ws, *child); }
};

}  // namespace

int FP_growth(Workspace& ws, FI_tree& tree) {
  AllLevel level{tree, ws};
  return mine_positions(level, tree);
}

void FP_growth_position(Workspace& ws, FI_tree& tree, int i) {
  AllLevel level{tree, ws};
  mine_position(level, tree, i);
}

void powerset(Recorder& out, const FI_tree& tree, int* itemset, int prefix, const int* source, int n, int most) {
  // Counting without recursion (a path may be a million items long): the
  // chosen items stand ascending by their place in `source`, the last at
  // `last`. A step adds source[n-1] while it fits; otherwise it carries:
  // the run of chosen items that ends at `last` (consecutive in `source`)
  // gives way to the item just before the run. No carry left: done.
  int* chosen = itemset + prefix;
  int k = 0, last = -1;
  for (;;) {
    if (last < n - 1 && k < most) {
      last = n - 1;
      chosen[k++] = source[last];
    } else {
      int run = 0;
      while (run < k && run <= last && chosen[k - 1 - run] == source[last - run]) ++run;
      const int start = last - run + 1;
      if (start == 0) return;
      k -= run;
      last = start - 1;
      chosen[k++] = source[last];
    }
    // A long path has millions of subsets: a set stop flag ends them too.
    tree.settings().stop.check();
    out.found(itemset, prefix + k, tree.head(tree.item_pos(chosen[k - 1]))->count);
  }
}

void generate_all(Workspace& ws, const FI_tree& tree, int n) {
  stack& list = ws.recorder.itemset;
  const int most = ws.recorder.lengths().max;
  int* itemset = ws.subsets.data();
  std::copy(list.items, list.items + list.len, itemset);
  powerset(ws.recorder, tree, itemset, list.len, list.items + list.len, n,
           most == LengthLimits::kNone ? most : most - list.len);
}

}  // namespace zub
