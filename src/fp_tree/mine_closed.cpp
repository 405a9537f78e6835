// The closed miner's level: per head item, a closedness test of the head
// alone, the tail with its supports, the closed itemsets of a single path
// read off directly, and otherwise the conditional tree with a CFI-tree
// projected from this level's.
#include <algorithm>

#include "fp_tree/cfi_tree.h"
#include "fp_tree/level_loop.h"
#include "fp_tree/miners.h"
#include "fp_tree/record.h"

namespace zub {

bool CFI_tree::generate_close(int n, int support) {
  stack& list = ws->itemset;
  int* const items = list.items;
  const int* const supports = list.item_supports;
  const int s = stack_pos;
  const int L0 = list.len;
  const int end = L0 + n;
  // The support of what lies below the level item; with nothing below, the
  // empty itemset's, which every transaction supports.
  const int below = L0 >= 2 ? supports[L0 - 2] : ws->settings.transactions;

  // The level item with every entry of its own support: closed, never covered.
  int L = L0;
  while (L < end && supports[L] == support) ++L;
  list.len = L;
  record(*ws, ws->closed.trees, L, support, s + 1, s + 2);
  if (L == end && below == support) return true;

  // Each later support drop ends the next candidate.
  while (L < end) {
    const int g = supports[L];
    while (L < end && supports[L] == g) ++L;
    list.len = L;
    order_FS(items, s + 2, L - 1);
    if (is_subset(g)) continue;
    record(*ws, ws->closed.trees, L, g, s + 1, s + 2);
  }
  return false;
}

namespace {

class ClosedLevel {
 public:
  // A closed itemset below this level differs by support from the one that
  // covers the rest of a position, so no cover is passed on.
  static constexpr bool kPassesCover = false;

  ClosedLevel(FI_tree& tree, CFI_tree& cfi)
      : tree_(tree), ws_(*tree.ws), C_(cfi), list_(ws_.itemset), b_(cfi.stack_pos + 1) {}

  int lowest_position() const { return 0; }

  Step head(int, Fnode* hd) {
    support_ = hd->count;
    list_.items[b_] = hd->item;
    list_.item_supports[b_] = support_;
    list_.len = b_ + 1;
    if (!C_.is_subset(support_)) return Step::go;
    list_.len = b_;
    return Step::next;
  }

  Step tail(int, Fnode*, int& k) {
    const int* tail = ws_.tail.data();
    for (int t = 0; t < k; ++t) {
      list_.items[b_ + 1 + t] = tail[t];
      list_.item_supports[b_ + 1 + t] = ws_.supp[tree_.item_pos[tail[t]]];
    }
    if (k == 0) {
      record_level_item();
      list_.len = b_;
      return Step::next;
    }
    if (k == 1) {
      // A lone tail item is a path of one entry, with its pair support above the top.
      C_.generate_close(1, support_);
      ws_.supp[tree_.item_pos[tail[0]]] = 0;
      list_.len = b_;
      return Step::next;
    }
    return Step::go;
  }

  void fill(FI_tree* child, Fnode* hd) { child->scan2_DB(&tree_, hd); }

  Step child(FI_tree* child, int i, int k) {
    if (child->Single_path(false)) {
      // The header order of a single path is its order from the root down;
      // taking the header keeps items without a node (support 0 when every
      // id is frequent) at the end, with their support.
      for (int p = 0; p < k; ++p) {
        list_.items[b_ + 1 + p] = child->pos_item[p];
        list_.item_supports[b_ + 1 + p] = child->supports[p];
      }
      const bool covered = C_.generate_close(k, support_);
      list_.len = b_;
      return covered && k == i ? Step::stop : Step::next;
    }
    bool level_is_closed = true;
    for (int t = b_ + 1; t < b_ + 1 + k; ++t)
      if (list_.item_supports[t] == support_) level_is_closed = false;
    if (level_is_closed) record_level_item();
    return Step::go;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i, b_ - 1, tree_.num_items, ws_.ladder.closed);
    CFI_tree* child_cfi = pool.get().take<CFI_tree>(1);
    child_cfi->init(&pool.get(), child, &C_, C_.heads[i], b_);
    CFI_tree*& slot = ws_.closed.trees[static_cast<std::size_t>(b_) + 1];
    slot = child_cfi;
    Mine_Closed(*child, *child_cfi);
    slot = nullptr;
    list_.len = child_cfi->stack_pos;
    return -1;
  }

 private:
  // The prefix and the head item alone, closed.
  void record_level_item() { record(ws_, ws_.closed.trees, b_ + 1, support_, b_, b_ + 1); }

  FI_tree& tree_;
  Workspace& ws_;
  CFI_tree& C_;
  stack& list_;
  const int b_;  // the stack index of the head item; C's slot
  int support_ = 0;  // the head item's
};

}  // namespace

int Mine_Closed(FI_tree& tree, CFI_tree& cfi) {
  ClosedLevel level(tree, cfi);
  return mine_positions(level, tree);
}

}  // namespace zub
