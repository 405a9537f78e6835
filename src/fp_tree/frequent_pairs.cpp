#include "fp_tree/frequent_pairs.h"

#include <algorithm>
#include <bit>

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
  touched_.assign((n + 63) / 64, 0);
}

void FrequentPairs::compute(int a) {
  const FI_tree& t = *tree_;
  const int threshold = t.threshold();
  int* scratch = scratch_.data();
  std::uint64_t* touched = touched_.data();
  // The ancestors' positions are below a; a bit set marks those met, read
  // back in ascending order without a sort.
  auto add = [&](const Fnode& n, const Fnode& anc) {
    const int q = t.item_pos[anc.item];
    scratch[q] += n.count;
    touched[q >> 6] |= std::uint64_t{1} << (q & 63);
  };
  const FI_tree::Chain nodes = t.chain(a);
  for_each_ancestor(*t.store, nodes.nodes, nodes.size, t.root, add);
  begin_[a] = static_cast<int>(partners_.size());
  auto keep = [&](int b) {
    if (scratch[b] >= threshold) {  // at a threshold of 0, also a pair that never occurs
      partners_.push_back(b);
      supports_.push_back(scratch[b]);
    }
    scratch[b] = 0;
  };
  const int words = (a + 63) / 64;
  if (threshold <= 0) {
    for (int b = 0; b < a; ++b) keep(b);
    std::fill(touched, touched + words, 0);
  } else {
    for (int w = 0; w < words; ++w) {
      for (std::uint64_t bits = touched[w]; bits != 0; bits &= bits - 1) keep(w * 64 + std::countr_zero(bits));
      touched[w] = 0;
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
