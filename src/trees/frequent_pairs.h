#pragma once
// The frequent pairs of a large tree, held sparsely: for a position a, the
// positions b < a whose pair with a reaches the support threshold, with the
// pair's support. A row is computed on first use by climbing from the nodes
// of a's chain (which gives exactly the pair supports) and kept. The main
// tree uses this instead of a dense triangle of num_items^2 / 2 counters, of
// which on sparse data only a tiny share is ever frequent.
//
// The rows kept hold at most `budget` pairs in all: on wide data (a
// transaction of thousands of items) nearly every pair is frequent, and
// keeping them all would cost the square of the items. Once a row does not
// fit, no further row is made: a position without a row has its tail walked
// and its lookahead unpruned, which is what its row would have saved.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "memory/zeroed_array.h"

namespace zub {

class FI_tree;

class FrequentPairs {
 public:
  struct Row {
    const int* partner;  // ascending positions
    const int* support;
    int size;
  };

  FrequentPairs(const FI_tree* tree, std::size_t budget) : tree_(tree), budget_(budget) { reset(); }
  // Forgets every row; for a tree whose positions changed.
  void reset();
  // Whether a has a row, made on first use while the budget allows.
  bool has_row(int a) {
    if (begin_[a] == kNoRow && !full_) compute(a);
    return begin_[a] != kNoRow;
  }
  // a's row; has_row(a) must hold.
  Row row(int a) const {
    assert(begin_[a] != kNoRow && "the position has a row");
    const Rows& r = stores_[store_[a]];
    const int begin = begin_[a] - 1;
    return Row{r.partners.data() + begin, r.supports.data() + begin, size_[a]};
  }
  // Settles every position not settled yet (a row or none), on `threads`
  // threads, each with its share of the budget: afterwards threads may
  // share the rows, and no row is made any more.
  void compute_all(int threads);
  // The pair's support when it is frequent, else 0; a must have a row.
  int count(int b, int a) const;
  // The smallest frequent partner of a that is at least `from`; a if none.
  int next_frequent(int a, int from) const;

 private:
  // What the computation of rows writes to: per position scratch, and the rows.
  struct Rows {
    ZeroedArray<int> scratch;             // per position, zero between computations (zeroed pages)
    std::vector<std::uint64_t> touched;   // a bit per position, zero between computations
    std::vector<int> partners;
    std::vector<int> supports;
  };
  // In begin_: no row, or not computed yet while the budget is not full.
  static constexpr int kNoRow = 0;
  static constexpr int kNone = -1;  // compute_into: the row did not fit
  void compute(int a) {
    int size = 0;
    const int begin = compute_into(a, stores_[0], size, budget_ - kept_);
    if (begin == kNone) {
      full_ = true;
      return;
    }
    begin_[a] = begin + 1;
    size_[a] = size;
    store_[a] = 0;
    kept_ += static_cast<std::size_t>(size);
  }
  // Appends a's row to `rows` when it has at most `room` pairs; returns
  // where it starts (kNone when it did not fit), and its size in `size`.
  int compute_into(int a, Rows& rows, int& size, std::size_t room) const;
  const FI_tree* tree_;
  std::size_t budget_;
  std::size_t kept_ = 0;
  bool full_ = false;       // a row did not fit: no more are made
  // By position: its row's offset + 1 (kNoRow for none), its size and its
  // store. Zeroed pages: on wide data (a million items) few positions get a
  // row before the budget is spent, and only their pages take memory.
  ZeroedArray<int> begin_;
  ZeroedArray<int> size_;
  // The rows: those computed one at a time in the first store, each thread's
  // of compute_all in a store of its own; the store of each position's row.
  std::vector<Rows> stores_;
  ZeroedArray<std::uint8_t> store_;
};

}  // namespace zub
