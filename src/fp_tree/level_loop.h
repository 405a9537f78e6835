#pragma once
// The walk every miner makes over one FP-tree: the header positions from the
// least frequent item up to the most frequent, each as a head item with the
// prefix on the stack. What the miners share is here, once; what differs is
// the miner's Level, a class with these members (no virtual call: the loop
// is a template over it):
//
//   static constexpr bool kPassesCover   see the early exit below
//   int lowest_position() const         the last position to mine
//   Step head(int i, Fnode* hd)          push the head item; may settle it
//   Step tail(int i, Fnode* hd, int& k)  the tail of k items is collected:
//                                        subset checks, itemsets found
//                                        directly; may settle the position
//   void fill(FI_tree* child, Fnode* hd) the conditional tree's second scan
//   Step child(FI_tree* child, int i, int k)  a tree settled at once (one
//                                        path), or made ready to mine
//   int descend(FI_tree* child, int i)   its result tree, the recursion,
//                                        and what it returned
//
// The early exit: an itemset found at position i that holds every lower
// position (its tail is all i of them) contains every candidate of the lower
// positions, so the level stops and returns i. A level whose conditional
// tree returned the position just below its own (r + 1 == i) found such an
// itemset there, with the whole tail, and stops too; the closed miner, whose
// itemsets differ by support, does not pass it on.
#include <algorithm>
#include <memory>

#include "fp_tree/fi_tree.h"
#include "memory/memory.h"
#include "memory/power2.h"

namespace zub {

enum class Step {
  go,     // on to the next stage of this position
  next,   // this position is settled
  stop,   // every lower position is covered: the level returns
};

template <class Level>
int mine_positions(Level& level, FI_tree& tree) {
  for (int i = tree.num_items - 1; i >= level.lowest_position(); --i) {
    Fnode* const hd = tree.heads[i];
    Step s = level.head(i, hd);
    if (s == Step::next) continue;
    int k = tree.collect_tail(i);
    s = level.tail(i, hd, k);
    if (s == Step::stop) return i;
    if (s == Step::next) continue;
    // The conditional tree lives in the workspace from here to the end of
    // the position.
    const TreeMark mark(*tree.ws);
    FI_tree* child = tree.conditional_tree(k);
    level.fill(child, hd);
    s = level.child(child, i, k);
    if (s == Step::stop) return i;
    if (s == Step::next) continue;
    const int r = level.descend(child, i);
    if (Level::kPassesCover && r + 1 == i) return i;
  }
  return 0;
}

// The pool of one level's result tree, from the pool ladder: its blocks
// start at 2^(step + extra), the extra growing with the position mined and
// shrinking with depth; a pool that needed two thirds of its block slots
// makes the miner's later pools start one step larger.
class LadderPool {
 public:
  LadderPool(int pos, int level, int num_items, int& step) : step_(step) {
    const int divisor = num_items <= 100 ? 10 : num_items <= 500 ? 50 : 100;
    const int q = pos / divisor;
    const int extra = (level >= -1 && level <= 3) ? std::min(q, 4 - level) : 0;
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
