#include "run/mining_run.h"

#include <algorithm>

#include "run/main_tree.h"
#include "fp_tree/cfi_tree.h"
#include "fp_tree/fi_tree.h"
#include "fp_tree/mfi_tem.h"
#include "fp_tree/mfi_tree.h"
#include "common/run_error.h"
#include "io/fsout.h"

namespace zub {

MiningRun::MiningRun(Context& ctx, FI_tree* tree, int prefix_length, MiningTarget target) : ctx_(ctx) {
  if (prefix_length != 0 && target != MiningTarget::maximal)
    throw RunError(kExitInternal, "only maximal mining takes the single prefix off the tree");
  const int f = ctx.ITEM_NO;
  ctx.current_fi.reset(new bool[f > 0 ? f : 1]());
  ctx.supp.assign(f, 0);
  ctx.tail.assign(f, 0);
  ctx.record_buf.assign(f + 1, 0);
  ctx.first_mfi_buf.assign(f + 1, 0);
  ctx.candidates.assign(f + 1, 0);
  ctx.mfitrees.assign(f + 1, nullptr);
  ctx.Max_Width = 0;
  for (int w : ctx.width) ctx.Max_Width = std::max(ctx.Max_Width, w);

  if (target == MiningTarget::closed) {
    // Closed mining keeps each entry's support beside it; the stack is empty.
    ctx.list = std::make_unique<stack>(f + 1, true);
    ctx.cfitrees.assign(f + 1, nullptr);
    cfi_pool_ = std::make_unique<memory>(250, 0x40000, 0x80000, 2);
    root_cfi_ = cfi_pool_->take<CFI_tree>(1);
    root_cfi_->init(cfi_pool_.get(), tree, nullptr, nullptr, -1);
    tree->cfi_tree = root_cfi_;
    ctx.cfitrees[0] = root_cfi_;
    finish_main_tree(tree);
    return;
  }
  if (target == MiningTarget::all) {
    ctx.prefix.assign(f, 0);
    finish_main_tree(tree);
    return;
  }

  stack& list = *ctx.list;
  if (prefix_length > 0) {
    for (int k = 0; k < prefix_length; ++k) list.items[list.len++] = tree->pos_item[k];
    tree->remove_single_prefix(prefix_length);
    ctx.FIRST_TREE_POS = list.len - 1;
  }
  mfi_pool_ = std::make_unique<memory>(250, 0x40000, 0x80000, 2);
  root_mfi_ = mfi_pool_->take<MFI_tree>(1);
  root_mfi_->init(mfi_pool_.get(), tree, nullptr, kNoMnode, list.len - 1);
  lmfitem_ = std::make_unique<mfi_tem>();
  ctx.LMFITEM = lmfitem_.get();
  lmfitem_->init(&ctx, mfi_pool_.get(), f);

  const std::size_t w = static_cast<std::size_t>(ctx.Max_Width);
  ctx.temp1.assign(w, nullptr);
  ctx.temp2.assign(w, nullptr);
  ctx.temp_count.assign(w, 0);
  ctx.temp_at.assign(w, 0);
  ctx.temp_up.assign(w, 0);
  ctx.head_tem.assign(w, nullptr);

  tree->mfi_tree = root_mfi_;
  ctx.mfitrees[ctx.FIRST_TREE_POS + 1] = root_mfi_;
  finish_main_tree(tree);
}

// Every node made so far is the main tree's; the conditional trees come
// after. The links go first, so that they and the chain arrays are never
// held at once.
void MiningRun::finish_main_tree(FI_tree* tree) {
  ctx_.nodes.drop_links_below(ctx_.nodes.mark());
  tree->make_chains();
}

MiningRun::~MiningRun() {
  ctx_.LMFITEM = nullptr;
  for (CFI_tree*& t : ctx_.cfitrees) t = nullptr;
}

void mine_main_tree(Context& ctx, const MainTree& main, MiningTarget target, MaximalMethod method, FSout& out) {
  const int f = main.frequent;
  FI_tree* tree = main.tree;
  if (f == 0) return;  // nothing is frequent
  if (target == MiningTarget::maximal && main.single_prefix == f) {
    write_single_path(ctx, main, &out);
  } else if (target == MiningTarget::maximal) {
    MiningRun mining(ctx, tree, main.single_prefix, MiningTarget::maximal);
    if (method == MaximalMethod::projected)
      tree->Mine_Max_Projected(&out);
    else
      tree->Mine_Max(&out);
  } else {
    MiningRun mining(ctx, tree, 0, target);
    if (target == MiningTarget::closed)
      tree->Mine_Closed(&out);
    else
      tree->FP_growth(&out);
  }
}

}  // namespace zub
