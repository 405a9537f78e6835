#pragma once
// One reading thread's share of the transactions in the second pass: held
// as strings (trees/transaction_strings.h) until they show that their tree
// would be much smaller (dense data, where the strings of every
// transaction would cost far more than the tree), from then on built into
// a tree with child links (trees/link_tree_share.h). The look is taken once,
// at Tuning::link_tree_check_bytes of strings: the largest root child's
// strings are sorted and their nodes counted; a tree with links of under
// a quarter of their bytes makes the switch.
#include <cstddef>
#include <memory>

#include "common/threads.h"
#include "trees/link_tree_share.h"
#include "trees/transaction_strings.h"

namespace zub {

class FI_tree;

class alignas(kCacheLine) TransactionShare {
 public:
  explicit TransactionShare(const FI_tree& main);

  // Adds a transaction: its k >= 1 positions, ascending.
  void add(const int* positions, int k) {
    if (links_ != nullptr) {
      links_->add(positions, k);
      return;
    }
    strings_.add(positions, k);
    if (strings_.bytes() >= check_at_) check();
  }
  bool has_tree() const { return links_ != nullptr; }
  TransactionStrings& strings() { return strings_; }
  // The share's tree, made from its strings if it has none yet.
  LinkTreeShare& tree();

 private:
  void check();

  const FI_tree* main_;
  TransactionStrings strings_;
  std::unique_ptr<LinkTreeShare> links_;
  std::size_t check_at_;  // the strings' bytes at which the look is taken
};

}  // namespace zub
