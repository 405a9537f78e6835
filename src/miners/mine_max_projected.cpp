// The second maximal miner's level: per head item, a subset check of the
// whole candidate (head and tail), the itemsets found directly, and
// otherwise the conditional tree with an MFI-tree projected from this
// level's; no lookahead, no head extension. Under a maximum length M (see
// mine_max.cpp) a stack of M items is a leaf, and a single path longer than
// allowed gives each choice of the allowed size.
#include <algorithm>

#include "miners/absorbed_positions.h"
#include "miners/level_loop.h"
#include "trees/mfi_tree.h"
#include "miners/miners.h"
#include "miners/recorder.h"

namespace zub {

namespace {

struct ProjectedLevel {
  static constexpr bool kPassesCover = true;

  FI_tree& tree;
  Workspace& ws;
  MFI_tree& M;
  stack& list = ws.recorder.itemset;
  const int b = M.stack_pos + 1;  // the stack index of the head item; M's slot
  const int most = ws.recorder.lengths().max;
  // The level mines one position alone (a unit of a parallel run): once it
  // descends, nothing reads M again, so the itemsets found below skip it.
  bool sole_position = false;
  AbsorbedPositions* absorbed = nullptr;  // the main tree's, without a maximum length

  int lowest_position() const { return 0; }
  const mfi_tem* covering() const { return nullptr; }
  void leave() { list.len = b; }
  // Records the stack's first `length` items; M takes those above the head.
  void record_max(int length, int support) { ws.recorder.record(ws.recorder.mfi_trees, length, support, b, b + 1); }
  void clear_tail_supports() {
    for (int k = b + 1; k < list.len; ++k) ws.trees.supp[tree.item_pos(list.items[k])] = 0;
  }

  Step head(int i, Fnode* hd) {
    if (absorbed != nullptr && absorbed->has(i)) return Step::next;
    list.items[b] = hd->item;
    if (b + 1 < most) return Step::go;
    // The head completes a set of the maximum length.
    list.len = b + 1;
    if (!M.is_subset()) record_max(b + 1, hd->count);
    list.len = b;
    return Step::next;
  }

  Step tail(int i, Fnode* hd, int& k) {
    if (absorbed != nullptr) absorbed->mark_tail(tree, ws.trees.tail.data(), k, ws.trees.supp.data());
    if (k > 1 && b + 2 == most) {
      // Each tail item completes a set of the maximum length.
      list.len = b + 2;
      for (int t = 0; t < k; ++t) {
        int& support = ws.trees.supp[tree.item_pos(ws.trees.tail[t])];
        list.items[b + 1] = ws.trees.tail[t];
        if (!M.is_subset()) record_max(b + 2, support);
        support = 0;
      }
      list.len = b;
      return Step::next;
    }
    std::copy(ws.trees.tail.data(), ws.trees.tail.data() + k, list.items + b + 1);
    list.len = b + 1 + k;
    const bool covered = M.is_subset();
    // Nothing left to combine: the candidate is maximal.
    if (!covered && k <= 1) record_max(list.len, k == 1 ? ws.trees.supp[tree.item_pos(ws.trees.tail[0])] : hd->count);
    if (!covered && k > 1) return Step::go;
    clear_tail_supports();
    list.len = b;
    return k == i ? Step::stop : Step::next;
  }

  void fill(FI_tree* child, Fnode* hd) {
    child->scan2_DB(&tree, hd);
    list.len = b + 1;  // the tail stays written above the top
  }

  Step child(FI_tree* child, int i, int k) {
    if (!child->Single_path(false)) return Step::go;
    if (b + 1 + k > most) {
      // One path longer than allowed: each choice of the allowed size, in
      // ascending position as the subset check reads the stack.
      int* path = ws.subsets.data();
      std::copy(list.items + b + 1, list.items + b + 1 + k, path);
      const FI_tree& c = *child;
      list.len = most;
      for_each_choice(
          path, k, most - b - 1, list.items + b + 1, [&](int p) { return c.head(c.item_pos(path[p]))->count; },
          [&](int support) {
            if (!M.is_subset()) record_max(most, support);
          });
      list.len = b;
      return Step::next;
    }
    // One path: the head item with its whole tail is the only itemset.
    record_max(b + 1 + k, child->head(child->num_items() - 1)->count);
    list.len = b;
    return k == i ? Step::stop : Step::next;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i, b - 1, tree.num_items(), ws.ladder.projected);
    MFI_tree* child_mfi = pool.get().take<MFI_tree>(1);
    child_mfi->init(&pool.get(), child, &M, M.heads[i], list.len - 1);
    MFI_tree*& slot = ws.recorder.mfi_trees[static_cast<std::size_t>(b) + 1];
    slot = child_mfi;
    if (sole_position) ws.recorder.mfi_trees[static_cast<std::size_t>(b)] = nullptr;
    const int r = Mine_Max_Projected(ws, *child, *child_mfi);
    slot = nullptr;  // no reader may meet a released tree
    list.len = b;
    return r;
  }
};

}  // namespace

int Mine_Max_Projected(Workspace& ws, FI_tree& tree, MFI_tree& mfi, AbsorbedPositions* absorbed) {
  ProjectedLevel level{tree, ws, mfi};
  level.absorbed = absorbed;
  return mine_positions(level, tree);
}

bool Mine_Max_Projected_Position(Workspace& ws, FI_tree& tree, MFI_tree& mfi, int i, AbsorbedPositions* absorbed) {
  ProjectedLevel level{tree, ws, mfi};
  level.sole_position = true;
  level.absorbed = absorbed;
  return mine_position(level, tree, i);
}

}  // namespace zub
