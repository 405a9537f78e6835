#include "trees/frequent_pairs.h"

#include <algorithm>
#include <bit>

#include "trees/ancestor_walk.h"
#include "trees/fi_tree.h"
#include "common/threads.h"

namespace zub {

void FrequentPairs::reset() {
  const std::size_t n = static_cast<std::size_t>(tree_->num_items());
  begin_.assign(n, -1);
  size_.assign(n, 0);
  store_.assign(n, 0);
  stores_.assign(1, Rows{});
  stores_[0].scratch.assign(n, 0);
  stores_[0].touched.assign((n + 63) / 64, 0);
}

int FrequentPairs::compute_into(int a, Rows& rows, int& size) const {
  const FI_tree& t = *tree_;
  const int threshold = t.threshold();
  int* scratch = rows.scratch.data();
  std::uint64_t* touched = rows.touched.data();
  // The ancestors' positions are below a; a bit set marks those met, read
  // back in ascending order without a sort.
  auto add = [&](const Fnode& n, const Fnode& anc) {
    const int q = t.item_pos(anc.item);
    scratch[q] += n.count;
    touched[q >> 6] |= std::uint64_t{1} << (q & 63);
  };
  const FI_tree::Chain nodes = t.chain(a);
  for_each_ancestor(t.store(), nodes.nodes, nodes.size, t.root(), add);
  const int begin = static_cast<int>(rows.partners.size());
  auto keep = [&](int b) {
    if (scratch[b] >= threshold) {  // at a threshold of 0, also a pair that never occurs
      rows.partners.push_back(b);
      rows.supports.push_back(scratch[b]);
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
  size = static_cast<int>(rows.partners.size()) - begin;
  return begin;
}

void FrequentPairs::compute_all(int threads) {
  const int n = static_cast<int>(begin_.size());
  if (threads <= 1) {
    for (int a = 0; a < n; ++a)
      if (begin_[a] < 0) compute(a);
    return;
  }
  // Thread t computes the positions t, t + threads, ... into a store of
  // its own (the stores are at most 255).
  threads = std::min(threads, 255 - static_cast<int>(stores_.size()) + 1);
  const std::size_t first = stores_.size();
  stores_.resize(first + static_cast<std::size_t>(threads));
  for_each_thread(threads, [&](int t) {
    Rows& r = stores_[first + static_cast<std::size_t>(t)];
    r.scratch.assign(static_cast<std::size_t>(n), 0);
    r.touched.assign(static_cast<std::size_t>((n + 63) / 64), 0);
    for (int a = t; a < n; a += threads) {
      if (begin_[a] >= 0) continue;
      begin_[a] = compute_into(a, r, size_[a]);
      store_[a] = static_cast<std::uint8_t>(first + static_cast<std::size_t>(t));
    }
    r.scratch = {};
    r.touched = {};
  });
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
