#pragma once
// The state the miners need beyond the main tree: scratch arrays, and per
// target the single prefix moved onto the stack with the root MFI-tree and
// the temporary MFI list (maximal), the stack with supports and the root
// CFI-tree (closed), or just an empty stack (all frequent itemsets).
// Shared by every program and entry point that mines a main tree. Once the
// main tree is ready the run gives back its child links (the miners only
// climb it and follow its chains, and the links are a third of its memory)
// and then makes its chain arrays.
#include <memory>

#include "fp_tree/context.h"

namespace zub {

class FI_tree;
class MFI_tree;
class CFI_tree;
class mfi_tem;
class FSout;
struct MainTree;

enum class MiningTarget {
  maximal,  // Mine_Max or Mine_Max_Projected
  closed,   // Mine_Closed
  all,      // FP_growth
};

// The maximal miner to run.
enum class MaximalMethod {
  lookahead,  // Mine_Max, as zub runs it
  projected,  // Mine_Max_Projected
};

// Mines a built main tree for `target` and writes every itemset through
// `out`: nothing when no item is frequent, the one path of a single-path
// tree for the maximal target, else the miner under a MiningRun. The one
// sequence of zub-mine and the embedding API. Throws RunError.
void mine_main_tree(Context& ctx, const MainTree& main, MiningTarget target, MaximalMethod method, FSout& out);

class MiningRun {
 public:
  // `tree` is the main tree. For the maximal target prefix_length is its
  // single prefix (below F), moved onto the stack; the closed and all targets
  // write itemsets that need not hold the prefix, so they take none (0).
  MiningRun(Context& ctx, FI_tree* tree, int prefix_length, MiningTarget target = MiningTarget::maximal);
  ~MiningRun();
  MiningRun(const MiningRun&) = delete;
  MiningRun& operator=(const MiningRun&) = delete;

  MFI_tree* root_mfi() const { return root_mfi_; }
  CFI_tree* root_cfi() const { return root_cfi_; }

 private:
  void finish_main_tree(FI_tree* tree);

  std::unique_ptr<memory> mfi_pool_;
  std::unique_ptr<mfi_tem> lmfitem_;
  std::unique_ptr<memory> cfi_pool_;
  MFI_tree* root_mfi_ = nullptr;
  CFI_tree* root_cfi_ = nullptr;
  Context& ctx_;
};

}  // namespace zub
