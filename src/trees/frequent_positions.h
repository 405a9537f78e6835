#pragma once
// The second pass's view of a transaction: its frequent items as main-tree
// positions, each once, ascending. One per reading thread.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <vector>

#include "trees/item_map.h"

namespace zub {

class FrequentPositions {
 public:
  FrequentPositions(const ItemMap& items, int positions)
      : items_(&items), words_(static_cast<std::size_t>(positions) / 64 + 1, 0), out_(static_cast<std::size_t>(positions)) {}

  // Takes one id of the transaction.
  void add(int id) {
    const int p = items_->position_of(id);
    if (p < 0) return;
    const std::size_t w = static_cast<std::size_t>(p) >> 6;
    const std::uint64_t bit = std::uint64_t{1} << (p & 63);
    if (words_[w] & bit) return;
    words_[w] |= bit;
    out_[static_cast<std::size_t>(k_++)] = p;
    low_ = std::min(low_, w);
    high_ = std::max(high_, w);
  }
  // Ends the transaction: its positions' number, the positions in data().
  int finish() {
    // A bit per position drops repeats; where the transaction's positions
    // lie within a few words, reading the words back in order is their
    // sort, otherwise they are sorted.
    const int k = k_;
    if (k == 0) return 0;
    if (high_ - low_ <= static_cast<std::size_t>(k) + 2) {
      int* out = out_.data();
      for (std::size_t w = low_; w <= high_; ++w) {
        for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1)
          *out++ = static_cast<int>(w * 64) + std::countr_zero(bits);
        words_[w] = 0;
      }
    } else {
      std::sort(out_.begin(), out_.begin() + k);
      for (int j = 0; j < k; ++j) words_[static_cast<std::size_t>(out_[static_cast<std::size_t>(j)]) >> 6] = 0;
    }
    k_ = 0;
    low_ = SIZE_MAX;
    high_ = 0;
    return k;
  }
  // The positions of the n ids of a transaction, as add() and finish().
  int of(const int* ids, int n) {
    for (int j = 0; j < n; ++j) add(ids[j]);
    return finish();
  }
  const int* data() const { return out_.data(); }

 private:
  const ItemMap* items_;
  std::vector<std::uint64_t> words_;  // a bit per position, all clear between transactions
  std::vector<int> out_;
  int k_ = 0;  // positions of the transaction so far
  std::size_t low_ = SIZE_MAX, high_ = 0;  // the words they lie in
};

}  // namespace zub
