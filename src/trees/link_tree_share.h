#pragma once
// One reading thread's transactions built into a tree of its own with child
// links, for data whose tree is much smaller than its transactions (dense
// data, where holding every transaction as a string would cost far more
// than the tree): sorted batches inserted in turn, each transaction
// compared only with the one before, a batch growing to a quarter of the
// tree's nodes. The threads' trees are then merged into the main tree
// (trees/tree_merge.h).
#include <cstddef>

#include "memory/memory.h"
#include "trees/node_store.h"
#include "trees/sorted_batch.h"
#include "trees/stack.h"
#include "trees/tree_scratch.h"

namespace zub {

class FI_tree;
class TransactionStrings;

class LinkTreeShare {
 public:
  // For the transactions of `main`, whose first scan is done.
  explicit LinkTreeShare(const FI_tree& main);
  LinkTreeShare(const LinkTreeShare&) = delete;
  LinkTreeShare& operator=(const LinkTreeShare&) = delete;

  // Adds a transaction: its k >= 1 positions, ascending.
  void add(const int* positions, int k);
  // Adds the transactions held as strings, giving their memory back.
  void take(TransactionStrings& strings);
  // Inserts what is still batched.
  void finish();
  const FI_tree& tree() const { return *tree_; }

 private:
  void flush();

  memory pool_;
  NodeStore nodes_;
  stack itemset_;
  TreeScratch scratch_;
  FI_tree* tree_;
  SortedBatch batch_;
  std::size_t limit_;  // positions of a batch
};

}  // namespace zub
