#include "trees/transaction_share.h"

#include <cstdint>

#include "trees/fi_tree.h"
#include "trees/string_build.h"

namespace zub {

TransactionShare::TransactionShare(const FI_tree& main) : main_(&main), strings_(main.num_items()) {
  const Tuning& tuning = main.settings().tuning;
  check_at_ = tuning.main_build == MainBuild::strings      ? SIZE_MAX
              : tuning.main_build == MainBuild::link_trees ? 0
                                                           : tuning.link_tree_check_bytes;
}

LinkTreeShare& TransactionShare::tree() {
  if (links_ == nullptr) {
    links_ = std::make_unique<LinkTreeShare>(*main_);
    links_->take(strings_);
  }
  return *links_;
}

void TransactionShare::check() {
  check_at_ = SIZE_MAX;
  if (main_->settings().tuning.main_build == MainBuild::link_trees) {
    tree();
    return;
  }
  int largest = 0;
  for (int p = 1; p < strings_.positions(); ++p)
    if (strings_.group(p).bytes > strings_.group(largest).bytes) largest = p;
  const std::size_t bytes = strings_.group(largest).bytes;
  const std::size_t nodes = subtree_nodes(strings_, largest);
  if (4 * nodes * (sizeof(Fnode) + sizeof(FnodeLinks)) < bytes) tree();
}

}  // namespace zub
