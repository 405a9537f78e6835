// The second maximal miner's level: per head item, a subset check of the
// whole candidate (head and tail), the itemsets found directly, and
// otherwise the conditional tree with an MFI-tree projected from this
// level's; no lookahead, no head extension.
#include <algorithm>

#include "fp_tree/level_loop.h"
#include "fp_tree/mfi_tree.h"
#include "fp_tree/miners.h"
#include "fp_tree/record.h"

namespace zub {

namespace {

class ProjectedLevel {
 public:
  static constexpr bool kPassesCover = true;

  ProjectedLevel(FI_tree& tree, MFI_tree& mfi)
      : tree_(tree), ws_(*tree.ws), M_(mfi), list_(ws_.itemset), supp_(ws_.supp.data()), b_(mfi.stack_pos + 1) {}

  int lowest_position() const { return 0; }

  Step head(int, Fnode* hd) {
    list_.items[b_] = hd->item;
    return Step::go;
  }

  Step tail(int i, Fnode* hd, int& k) {
    std::copy(ws_.tail.data(), ws_.tail.data() + k, list_.items + b_ + 1);
    list_.len = b_ + 1 + k;
    if (M_.is_subset()) {
      clear_tail_supports();
      list_.len = b_;
      return k == i ? Step::stop : Step::next;
    }
    if (k <= 1) {
      // Nothing left to combine: the candidate is maximal.
      record(ws_, ws_.maximal.trees, list_.len, k == 1 ? supp_[tree_.item_pos[ws_.tail[0]]] : hd->count, b_,
             b_ + 1);
      clear_tail_supports();
      list_.len = b_;
      return k == i ? Step::stop : Step::next;
    }
    return Step::go;
  }

  void fill(FI_tree* child, Fnode* hd) {
    child->scan2_DB(&tree_, hd);
    list_.len = b_ + 1;  // the tail stays written above the top
  }

  Step child(FI_tree* child, int i, int k) {
    if (!child->Single_path(false)) return Step::go;
    // One path: the level item with its whole tail is the only itemset.
    record(ws_, ws_.maximal.trees, b_ + 1 + k, child->heads[child->num_items - 1]->count, b_, b_ + 1);
    list_.len = b_;
    return k == i ? Step::stop : Step::next;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i, b_ - 1, tree_.num_items, ws_.ladder.projected);
    MFI_tree* child_mfi = pool.get().take<MFI_tree>(1);
    child_mfi->init(&pool.get(), child, &M_, M_.heads[i], list_.len - 1);
    MFI_tree*& slot = ws_.maximal.trees[static_cast<std::size_t>(b_) + 1];
    slot = child_mfi;
    const int r = Mine_Max_Projected(*child, *child_mfi);
    slot = nullptr;  // no reader may meet a released tree
    list_.len = child_mfi->stack_pos;
    return r;
  }

 private:
  void clear_tail_supports() {
    for (int k = b_ + 1; k < list_.len; ++k) supp_[tree_.item_pos[list_.items[k]]] = 0;
  }

  FI_tree& tree_;
  Workspace& ws_;
  MFI_tree& M_;
  stack& list_;
  int* const supp_;
  const int b_;  // the stack index of the head item; M's slot
};

}  // namespace

int Mine_Max_Projected(FI_tree& tree, MFI_tree& mfi) {
  ProjectedLevel level(tree, mfi);
  return mine_positions(level, tree);
}

}  // namespace zub
