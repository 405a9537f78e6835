#include "trees/link_tree_share.h"

#include <bit>
#include <numeric>
#include <vector>

#include "common/tuning.h"
#include "trees/fi_tree.h"
#include "trees/transaction_strings.h"

namespace zub {

LinkTreeShare::LinkTreeShare(const FI_tree& main)
    : pool_(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2),
      itemset_(main.num_items() + 1, false),
      scratch_(main.settings(), main.num_items(), itemset_),
      limit_(main.settings().tuning.build_batch_positions) {
  // The main tree's positions are its ids already.
  const int n = main.num_items();
  tree_ = pool_.make<FI_tree>(main.settings(), &scratch_, pool_, nodes_, n, n);
  std::vector<int> positions(static_cast<std::size_t>(n));
  std::iota(positions.begin(), positions.end(), 0);
  tree_->set_header(positions.data(), n);
}

void LinkTreeShare::add(const int* positions, int k) {
  batch_.add(positions, k);
  if (batch_.positions() >= limit_) flush();
}

void LinkTreeShare::take(TransactionStrings& strings) {
  for (int first = 0; first < strings.positions(); ++first) {
    strings.for_each_of(first, [this](const int* positions, int k) { add(positions, k); });
    strings.release(first);
  }
}

void LinkTreeShare::flush() {
  batch_.sort(tree_->num_items());
  tree_->insert_sorted(batch_);
  batch_.clear();
  // A batch grows with the tree: a search in a large tree misses the cache,
  // and a larger batch shares more of its prefixes among its own transactions.
  const auto nodes = static_cast<std::size_t>(nodes_.mark() - tree_->root_ref());
  limit_ = std::max(limit_, std::bit_floor(nodes / tree_->settings().tuning.build_batch_share));
}

void LinkTreeShare::finish() {
  if (batch_.size() > 0) flush();
  batch_.release();
}

}  // namespace zub
