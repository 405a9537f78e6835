#pragma once
// The state the miners need beyond the main tree: scratch arrays, the single
// prefix moved onto the stack, the root MFI-tree and the temporary MFI list.
// Shared by every program and entry point that mines a main tree.
#include <memory>

#include "fp_tree/context.h"

namespace zub {

class FI_tree;
class MFI_tree;
class mfi_tem;

class MiningRun {
 public:
  // `tree` is the main tree and prefix_length its single prefix (below F).
  MiningRun(Context& ctx, FI_tree* tree, int prefix_length);
  ~MiningRun();
  MiningRun(const MiningRun&) = delete;
  MiningRun& operator=(const MiningRun&) = delete;

  MFI_tree* root_mfi() const { return root_mfi_; }

 private:
  std::unique_ptr<memory> mfi_pool_;
  std::unique_ptr<mfi_tem> lmfitem_;
  MFI_tree* root_mfi_ = nullptr;
  Context& ctx_;
};

}  // namespace zub
