// Every frequent itemset: per head item, the item alone, then its extensions
// by conditional trees; a single-path conditional tree is written as the
// subsets of its path without further trees. Under a maximum length a head
// that reaches it has no tail, one just below it is written with each tail
// item without a conditional tree, and a path gives only the subsets that fit.
#include "fp_tree/level_loop.h"
#include "fp_tree/miners.h"
#include "fp_tree/record.h"
#include "fp_tree/frequent_pairs.h"
#include "parallel/unit_workers.h"

namespace zub {

namespace {

struct AllLevel {
  static constexpr bool kPassesCover = false;  // nothing covers a frequent itemset

  FI_tree& tree;
  Workspace& ws;
  stack& list = ws.itemset;
  const int b = list.len;  // the stack index of the head item
  const int most = ws.settings.lengths.max;

  int lowest_position() const { return 0; }

  Step head(int, Fnode* hd) {
    list.items[b] = hd->item;
    list.len = b + 1;
    write_found(ws, list.items, b + 1, hd->count);
    return b + 1 == most ? Step::next : Step::go;
  }

  Step tail(int, Fnode*, int& k) {
    if (k > 1 && b + 2 == most) {
      // Each tail item completes an itemset of the maximum length.
      for (int t = 0; t < k; ++t) {
        list.items[b + 1] = ws.tail[t];
        int& s = ws.supp[tree.item_pos[ws.tail[t]]];
        write_found(ws, list.items, b + 2, s);
        s = 0;
      }
      return Step::next;
    }
    if (k != 1) return k == 0 ? Step::next : Step::go;
    const int t = ws.tail[0];
    list.items[b + 1] = t;
    write_found(ws, list.items, b + 2, ws.supp[tree.item_pos[t]]);
    ws.supp[tree.item_pos[t]] = 0;
    return Step::next;
  }

  void fill(FI_tree* child, Fnode* hd) { child->scan2_DB(&tree, hd); }

  Step child(FI_tree* child, int, int k) {
    if (!child->Single_path(false)) return Step::go;
    // The header order of a single path is its order from the root down;
    // taking the header also keeps items without a node (support 0 when
    // every id is frequent), which sort last.
    for (int p = 0; p < k; ++p) list.items[b + 1 + p] = child->pos_item[p];
    powerset(*child, ws.subsets.data(), 0, list.items, b + 1, b + 1 + k, most - (b + 1));
    return Step::next;
  }

  int descend(FI_tree* child, int) { return FP_growth(*child); }
};

}  // namespace

int FP_growth(FI_tree& tree) {
  AllLevel level{tree, *tree.ws};
  return mine_positions(level, tree);
}

void FP_growth_parallel(FI_tree& tree, int threads) {
  // The workers read the main tree and nothing else of it changes; its lazy
  // pair rows are made first.
  if (tree.frequent_pairs != nullptr) tree.frequent_pairs->compute_all(threads);
  const int units = tree.num_items;  // the positions, in the walk's order
  UnitWorkers workers(*tree.ws, units, threads);
  // Each worker sees the main tree through its own workspace.
  std::vector<FI_tree> views(static_cast<std::size_t>(workers.size()), tree);
  for (int w = 0; w < workers.size(); ++w) views[static_cast<std::size_t>(w)].ws = &workers.workspace(w);
  workers.run([&](int worker, int slot) {
    FI_tree& view = views[static_cast<std::size_t>(worker)];
    AllLevel level{view, *view.ws};
    mine_position(level, view, units - 1 - slot);
  });
}

void powerset(const FI_tree& tree, int* subset_buf, int length, const int* source, int from, int to, int most) {
  // A call writes `length` items and all of source[from..to-1]; the calls it
  // makes write at least `length + j`.
  for (int j = 0; j < to - from && length + j <= most; ++j) {
    powerset(tree, subset_buf, length + j, source, from + j + 1, to, most);
    subset_buf[length + j] = source[from + j];
  }
  length += to - from;
  if (length == 0 || length > most) return;
  // A long path has millions of subsets: a set stop flag ends them too.
  tree.ws->settings.stop.check();
  write_found_above_stack(*tree.ws, subset_buf, length, tree.heads[tree.item_pos[subset_buf[length - 1]]]->count);
}

void generate_all(const FI_tree& tree, int n) {
  stack& list = tree.ws->itemset;
  const int most = tree.ws->settings.lengths.max;
  powerset(tree, tree.ws->subsets.data(), 0, list.items, list.len, list.len + n,
           most == LengthLimits::kNone ? most : most - list.len);
}

}  // namespace zub
