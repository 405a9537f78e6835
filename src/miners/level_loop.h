#pragma once
// The walk every miner makes over one FP-tree: its header positions from the
// least frequent item up, each as the head item with the prefix on the
// stack. The loop holds what the miners share; a miner's Level class (the
// loop is a template over it: no virtual call) supplies what differs:
//   kPassesCover, lowest_position()
//   covering()        the temporary MFI list that orders a conditional
//                     tree's items (the maximal miner's), or none
//   head(i, hd)       pushes the head item; may settle the position
//   tail(i, hd, k)    the tail of k items is collected: subset checks and
//                     itemsets found directly; may settle it or stop
//   fill(child, hd)   the conditional tree's second scan
//   child(child, i, k)  a tree settled at once (one path), or made ready
//   descend(child, i)   the child's result tree and the recursion
//   leave()           the stack back to the level's prefix: called however
//                     the position ends (a guard), so no step resets it
// The early exit: an itemset found at position i that holds every lower
// position (its tail is all i of them) holds every candidate of the lower
// positions, so the level stops and returns i. A level whose conditional
// tree returned the position just below its own (r + 1 == i) found such an
// itemset with the whole tail and stops too, unless the miner's itemsets are
// told apart by support (kPassesCover false).
#include <algorithm>
#include <climits>
#include <memory>

#include "miners/workspace.h"
#include "trees/fi_tree.h"
#include "common/progress.h"
#include "memory/memory.h"
#include "memory/power2.h"

namespace zub {

enum class Step { go, next, stop };  // on to the next stage; position settled; level covered

// The position of the progress tree being mined, told at once.
inline void report_position(Workspace& ws, long long done, long long total) {
  ws.progress_done = done;
  ws.progress_total = total;
  if (ws.tell_progress) ws.tell_progress();
}

// One position of the walk; true when the level stops there. A set stop
// flag ends the run here.
template <class Level>
bool mine_position(Level& level, FI_tree& tree, int i) {
  Workspace& ws = level.ws;
  ws.settings.stop.check();
  ws.tick();
  struct Leave {
    Level& level;
    ~Leave() { level.leave(); }
  } const leave{level};
  Fnode* const hd = tree.head(i);
  if (level.head(i, hd) == Step::next) return false;
  int k = tree.collect_tail(i);
  Step s = level.tail(i, hd, k);
  if (s == Step::go) {
    const TreeMark mark(ws.trees);  // the conditional tree lives to the end of the position
    FI_tree* child = tree.conditional_tree(k, level.covering());
    level.fill(child, hd);
    s = level.child(child, i, k);
    if (s == Step::go) {
      const int r = level.descend(child, i);
      if (Level::kPassesCover && r + 1 == i) return true;
    }
  }
  return s == Step::stop;
}

template <class Level>
int mine_positions(Level& level, FI_tree& tree) {
  Workspace& ws = level.ws;
  for (int i = tree.num_items() - 1; i >= level.lowest_position(); --i) {
    if (ws.progress_tree == &tree) report_position(ws, tree.num_items() - 1 - i, tree.num_items());
    if (mine_position(level, tree, i)) return i;
  }
  return 0;
}

// Each choice of `want` of the n items (want >= 1), kept in their order and
// written to out[0..want-1], then visit(least) with the least of their
// supports, support_of(p) being the p-th item's. `out` must not overlap `items`.
template <class SupportOf, class Visit>
void for_each_choice(const int* items, int n, int want, int* out, const SupportOf& support_of, const Visit& visit,
                     int from = 0, int least = INT_MAX) {
  for (int p = from; p + want <= n; ++p) {
    out[0] = items[p];
    const int s = std::min(least, support_of(p));
    if (want == 1)
      visit(s);
    else
      for_each_choice(items, n, want - 1, out + 1, support_of, visit, p + 1, s);
  }
}

// The pool of one level's result tree, from the pool ladder: its blocks
// start at 2^(step + extra), the extra growing with the position mined (one
// per 10, 50 or 100 positions on trees of up to 100, 500 or more items) on
// the first levels; a pool that needed two thirds of its block slots makes
// the miner's later pools start one step larger.
class LadderPool {
 public:
  LadderPool(int pos, int level, int num_items, int& step) : step_(step) {
    const int divisor = num_items <= 100 ? 10 : num_items <= 500 ? 50 : 100;
    const int extra = (level >= -1 && level <= 3) ? std::min(pos / divisor, 4 - level) : 0;
    // The unit is one power above the first block: keep both inside the table.
    const int x = std::min(step + extra, kPower2Max - 1);
    pool_ = std::make_unique<memory>(kLadderBlocks, power2[x], power2[x + 1], 2);
  }
  ~LadderPool() {
    if (pool_->fill_quotient() >= 3) ++step_;
  }
  LadderPool(const LadderPool&) = delete;
  LadderPool& operator=(const LadderPool&) = delete;
  memory& get() { return *pool_; }

 private:
  int& step_;
  std::unique_ptr<memory> pool_;
};

}  // namespace zub
