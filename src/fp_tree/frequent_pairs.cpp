#include "fp_tree/frequent_pairs.h"

#include <algorithm>

#include "fp_tree/ancestor_walk.h"
#include "fp_tree/fi_tree.h"

namespace zub {

void FrequentPairs::reset() {
  const std::size_t n = static_cast<std::size_t>(tree_->num_items);
  begin_.assign(n, -1);
  size_.assign(n, 0);
  partners_.clear();
  supports_.clear();
  scratch_.assign(n, 0);
  touched_.clear();
}

void FrequentPairs::compute(int a) {
  const FI_tree& t = *tree_;
  const int threshold = t.ctx->THRESHOLD;
  touched_.clear();
  int* scratch = scratch_.data();
  auto add = [&](const Fnode& n, const Fnode& anc) {
    const int q = t.item_pos[anc.item];
    if (scratch[q] == 0) touched_.push_back(q);
    scratch[q] += n.count;
  };
  const FI_tree::Chain nodes = t.chain(a);
  for_each_ancestor(t.ctx->nodes, nodes.nodes, nodes.size, t.root, add);
  begin_[a] = static_cast<int>(partners_.size());
  if (threshold <= 0 || touched_.size() * 8 > static_cast<std::size_t>(a)) {
    // Most positions were met (or all count): sweep them in order.
    for (int b = 0; b < a; ++b) {
      if (scratch[b] >= threshold) {  // at a threshold of 0, also a pair that never occurs
        partners_.push_back(b);
        supports_.push_back(scratch[b]);
      }
      scratch[b] = 0;
    }
  } else {
    std::sort(touched_.begin(), touched_.end());
    for (int b : touched_) {
      if (scratch_[b] >= threshold) {
        partners_.push_back(b);
        supports_.push_back(scratch_[b]);
      }
      scratch_[b] = 0;
    }
  }
  size_[a] = static_cast<int>(partners_.size()) - begin_[a];
}

int FrequentPairs::count(int b, int a) {
  const Row r = row(a);
  const int* at = std::lower_bound(r.partner, r.partner + r.size, b);
  return at != r.partner + r.size && *at == b ? r.support[at - r.partner] : 0;
}

int FrequentPairs::next_frequent(int a, int from) {
  const Row r = row(a);
  const int* at = std::lower_bound(r.partner, r.partner + r.size, from);
  return at != r.partner + r.size ? *at : a;
}

}  // namespace zub
