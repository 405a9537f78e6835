// The closed miner's level: per head item, a closedness test of the head
// alone, the tail with its supports, the closed itemsets of a single path
// read off directly, and otherwise the conditional tree with a CFI-tree
// projected from this level's.
//
// Under a maximum length M: an itemset is closed when no item outside it is
// in every transaction that holds it. Within a level those items are the
// tail items of the candidate's support, and the others are found by the
// CFI-trees, which must hold, for every set of up to M + 1 items mined
// before, a recorded superset of the same support. A level whose stack has M
// items is therefore not mined further: its stack is written when no tail
// item has its support, and recorded (unwritten) are the stack with those
// tail items, and the stack with each other tail item and its support (sets
// of M + 1 items). Closed itemsets of a single path longer than M are
// recorded without being written. A head covered by a recorded itemset is
// then still mined below (only its own set is not written): the sets below
// it must be recorded for the later checks, which an itemset longer than M
// no longer stands in for.
#include <algorithm>

#include "trees/cfi_tree.h"
#include "miners/level_loop.h"
#include "miners/miners.h"
#include "miners/recorder.h"

namespace zub {

namespace {

// Records (and writes) the closed itemsets of the stack followed by the `n`
// entries above its top (non-increasing supports). The stack's top is C's
// level item with support `support`; `covered` when the level item alone
// is inside a recorded itemset of that support. True when every remaining
// candidate of the level is covered by what it wrote (or by what covered it).
bool generate_close(Workspace& ws, CFI_tree& C, int n, int support, bool covered) {
  stack& list = ws.recorder.itemset;
  int* const items = list.items;
  const int* const supports = list.item_supports;
  const int s = C.stack_pos;
  const int L0 = list.len;
  const int end = L0 + n;
  // The support of what lies below the level item; with nothing below, the
  // empty itemset's, which every transaction supports.
  const int below = L0 >= 2 ? supports[L0 - 2] : ws.settings.transactions;
  const int most = ws.recorder.lengths().max;
  auto keep = [&](int length, int with) {
    if (length <= most)
      ws.recorder.record(ws.recorder.cfi_trees, length, with, s + 1, s + 2);
    else
      ws.recorder.enter(ws.recorder.cfi_trees, length, with, s + 1, s + 2);
  };

  // The level item with every entry of its own support: closed, unless the
  // level item alone was covered.
  int L = L0;
  while (L < end && supports[L] == support) ++L;
  list.len = L;
  if (covered) C.order_FS(items, s + 2, L - 1);
  if (!covered || !C.is_subset(support)) keep(L, support);
  if (L == end && below == support) return true;

  // Each later support drop ends the next candidate.
  while (L < end) {
    const int g = supports[L];
    while (L < end && supports[L] == g) ++L;
    list.len = L;
    C.order_FS(items, s + 2, L - 1);
    if (C.is_subset(g)) continue;
    keep(L, g);
  }
  return false;
}

struct ClosedLevel {
  // A closed itemset below this level differs by support from the one that
  // covers the rest of a position, so no cover is passed on.
  static constexpr bool kPassesCover = false;

  FI_tree& tree;
  Workspace& ws;
  CFI_tree& C;
  stack& list = ws.recorder.itemset;
  const int b = C.stack_pos + 1;  // the stack index of the head item; C's slot
  int support = 0;                // the head item's
  bool covered = false;           // a recorded itemset holds the stack with its support
  const bool limited = ws.recorder.lengths().limits_max();

  int lowest_position() const { return 0; }
  const mfi_tem* covering() const { return nullptr; }
  void leave() { list.len = b; }
  // The prefix and the head item alone, closed.
  void record_head() {
    if (!covered) ws.recorder.record(ws.recorder.cfi_trees, b + 1, support, b, b + 1);
  }

  Step head(int, Fnode* hd) {
    support = hd->count;
    list.items[b] = hd->item;
    list.item_supports[b] = support;
    list.len = b + 1;
    covered = C.is_subset(support);
    if (!covered || limited) return Step::go;
    list.len = b;
    return Step::next;
  }

  Step tail(int, Fnode*, int& k) {
    if (b + 1 == ws.recorder.lengths().max) return last_level(k);
    for (int t = 0; t < k; ++t) {
      list.items[b + 1 + t] = ws.trees.tail[t];
      list.item_supports[b + 1 + t] = ws.trees.supp[tree.item_pos(ws.trees.tail[t])];
    }
    if (k > 1) return Step::go;
    if (k == 0) {
      record_head();
    } else {
      // A lone tail item is a path of one entry, with its pair support above the top.
      generate_close(ws, C, 1, support, covered);
      ws.trees.supp[tree.item_pos(ws.trees.tail[0])] = 0;
    }
    list.len = b;
    return Step::next;
  }

  // The stack has the maximum length: written when no tail item has its
  // support; recorded with the tail items that have it, and with each other
  // tail item at that item's support.
  Step last_level(int k) {
    int n = 0;
    for (int t = 0; t < k; ++t)
      if (ws.trees.supp[tree.item_pos(ws.trees.tail[t])] == support) list.items[b + 1 + n++] = ws.trees.tail[t];
    if (n == 0)
      record_head();
    else
      ws.recorder.enter(ws.recorder.cfi_trees, b + 1 + n, support, b, b + 1);
    for (int t = 0; t < k; ++t) {
      int& with = ws.trees.supp[tree.item_pos(ws.trees.tail[t])];
      if (with != support) {
        list.items[b + 1] = ws.trees.tail[t];
        ws.recorder.enter(ws.recorder.cfi_trees, b + 2, with, b, b + 1);
      }
      with = 0;
    }
    list.len = b;
    return Step::next;
  }

  void fill(FI_tree* child, Fnode* hd) { child->scan2_DB(&tree, hd); }

  Step child(FI_tree* child, int i, int k) {
    if (child->Single_path(false)) {
      // The header order of a single path is its order from the root down;
      // taking the header keeps items without a node (support 0 when every
      // id is frequent) at the end, with their support.
      for (int p = 0; p < k; ++p) {
        list.items[b + 1 + p] = child->pos_item(p);
        list.item_supports[b + 1 + p] = child->support(p);
      }
      const bool all = generate_close(ws, C, k, support, covered);
      list.len = b;
      return all && k == i ? Step::stop : Step::next;
    }
    if (std::none_of(list.item_supports + b + 1, list.item_supports + b + 1 + k,
                     [this](int s) { return s == support; }))
      record_head();
    return Step::go;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i, b - 1, tree.num_items(), ws.ladder.closed);
    CFI_tree* child_cfi = pool.get().take<CFI_tree>(1);
    child_cfi->init(&pool.get(), child, &C, C.heads[i], b);
    CFI_tree*& slot = ws.recorder.cfi_trees[static_cast<std::size_t>(b) + 1];
    slot = child_cfi;
    Mine_Closed(ws, *child, *child_cfi);
    slot = nullptr;
    list.len = b;
    return -1;
  }
};

}  // namespace

int Mine_Closed(Workspace& ws, FI_tree& tree, CFI_tree& cfi) {
  ClosedLevel level{tree, ws, cfi};
  return mine_positions(level, tree);
}

}  // namespace zub
