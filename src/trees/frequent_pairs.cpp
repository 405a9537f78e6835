#include "trees/frequent_pairs.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "common/threads.h"
#include "trees/ancestor_walk.h"
#include "trees/fi_tree.h"

namespace zub {

void FrequentPairs::reset() {
  const std::size_t n = static_cast<std::size_t>(tree_->num_items());
  begin_ = ZeroedArray<int>(n);
  size_ = ZeroedArray<int>(n);
  store_ = ZeroedArray<std::uint8_t>(n);
  stores_.clear();
  stores_.emplace_back();
  stores_[0].scratch = ZeroedArray<int>(n);
  stores_[0].touched.assign((n + 63) / 64, 0);
  kept_ = 0;
  full_ = false;
}

namespace {

// Appends the partners of a marked in `touched` (every one below a at a
// threshold of 0) whose count in `scratch` reaches the threshold, unless
// they are more than `room`; clears both. Whether they fit. Out of line:
// inlined, it made the climb before it 9% slower (retail.dat at MINSUP 10).
template <class Rows>
[[gnu::noinline]] bool append_row(int a, int threshold, Rows& rows, std::size_t room) {
  int* scratch = rows.scratch.data();
  std::uint64_t* touched = rows.touched.data();
  const int words = (a + 63) / 64;
  // Room for a partner of every position below a, or for the budget's
  // rest; growth doubles, but never past the budget.
  const std::size_t begin = rows.partners.size();
  const std::size_t need = begin + std::min(static_cast<std::size_t>(a), room);
  if (need > rows.partners.capacity()) {
    const std::size_t grown = std::max(need, std::min(2 * rows.partners.capacity(), begin + room));
    rows.partners.reserve(grown);
    rows.supports.reserve(grown);
  }
  // A row of fewer positions than the budget's rest always fits; only a
  // longer one counts.
  const std::size_t last = static_cast<std::size_t>(a) <= room ? SIZE_MAX : begin + room;
  bool fits = true;
  auto keep = [&](int b) {
    if (scratch[b] >= threshold) {  // at a threshold of 0, also a pair that never occurs
      if (rows.partners.size() == last) fits = false;
      if (fits) {
        rows.partners.push_back(b);
        rows.supports.push_back(scratch[b]);
      }
    }
    scratch[b] = 0;
  };
  if (threshold <= 0) {
    for (int b = 0; b < a; ++b) keep(b);
    std::fill(touched, touched + words, 0);
  } else {
    for (int w = 0; w < words; ++w) {
      for (std::uint64_t bits = touched[w]; bits != 0; bits &= bits - 1) keep(w * 64 + std::countr_zero(bits));
      touched[w] = 0;
    }
  }
  if (!fits) {
    rows.partners.resize(begin);
    rows.supports.resize(begin);
  }
  return fits;
}

}  // namespace

int FrequentPairs::compute_into(int a, Rows& rows, int& size, std::size_t room) const {
  const FI_tree& t = *tree_;
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
  const std::size_t begin = rows.partners.size();
  if (!append_row(a, t.threshold(), rows, room)) {
    size = 0;
    return kNone;
  }
  size = static_cast<int>(rows.partners.size() - begin);
  return static_cast<int>(begin);
}

void FrequentPairs::compute_all(int threads) {
  const int n = static_cast<int>(begin_.size());
  if (threads <= 1) {
    for (int a = 0; a < n && !full_; ++a)
      if (begin_[a] == kNoRow) compute(a);
    full_ = true;
    return;
  }
  // Thread t settles the positions t, t + threads, ... into a store of its
  // own (the stores are at most 255), with an equal share of what is left
  // of the budget, so that the rows kept do not depend on timing.
  threads = std::min(threads, 255 - static_cast<int>(stores_.size()) + 1);
  const std::size_t first = stores_.size();
  stores_.resize(first + static_cast<std::size_t>(threads));
  const std::size_t share = full_ ? 0 : (budget_ - kept_) / static_cast<std::size_t>(threads);
  std::vector<std::size_t> used(static_cast<std::size_t>(threads), 0);
  for_each_thread(threads, [&](int t) {
    Rows& r = stores_[first + static_cast<std::size_t>(t)];
    r.scratch = ZeroedArray<int>(static_cast<std::size_t>(n));
    r.touched.assign(static_cast<std::size_t>((n + 63) / 64), 0);
    std::size_t& mine = used[static_cast<std::size_t>(t)];
    for (int a = t; a < n; a += threads) {
      if (begin_[a] != kNoRow) continue;
      int size = 0;
      const int begin = compute_into(a, r, size, share - mine);
      if (begin == kNone) break;  // this thread's share is spent
      begin_[a] = begin + 1;
      size_[a] = size;
      store_[a] = static_cast<std::uint8_t>(first + static_cast<std::size_t>(t));
      mine += static_cast<std::size_t>(size);
    }
    r.scratch = {};
    r.touched = {};
  });
  for (std::size_t u : used) kept_ += u;
  full_ = true;
}

int FrequentPairs::count(int b, int a) const {
  const Row r = row(a);
  const int* at = std::lower_bound(r.partner, r.partner + r.size, b);
  return at != r.partner + r.size && *at == b ? r.support[at - r.partner] : 0;
}

int FrequentPairs::next_frequent(int a, int from) const {
  const Row r = row(a);
  const int* at = std::lower_bound(r.partner, r.partner + r.size, from);
  return at != r.partner + r.size ? *at : a;
}

}  // namespace zub
