#pragma once
// The second pass's view of a transaction: its frequent items as main-tree
// positions, each once, ascending. One per reading thread.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "common/threads.h"
#include "trees/item_map.h"

namespace zub {

class alignas(kCacheLine) FrequentPositions {
 public:
  FrequentPositions(const ItemMap& items, int positions)
      : items_(&items),
        words_(static_cast<std::size_t>(positions) / 64 + 1, 0),
        scanned_(words_.size() <= kScannedWords),
        out_(static_cast<std::size_t>(positions) + 1),
        end_(out_.data()) {}

  // Takes one id of the transaction. Bit p + 1 stands for position p (bit
  // 0 for the ids that are not frequent), so a repeat sets its bit again.
  // Where the bits fill a few words (up to 511 positions), setting the bit
  // is all: no branch on whether the id is frequent, which a predictor
  // misses on a good share of the ids.
  void add(int id) {
    const int p = items_->position_of(id);
    std::uint64_t& word = words_[static_cast<std::size_t>(p + 1) >> 6];
    const std::uint64_t bit = std::uint64_t{1} << ((p + 1) & 63);
    if (scanned_) {
      word |= bit;
      return;
    }
    if (p < 0 || (word & bit) != 0) return;
    word |= bit;
    *end_++ = p;
  }
  // Ends the transaction: its positions' number, the positions in data().
  int finish() {
    int* const out = out_.data();
    if (scanned_) {  // reading the bits back in order is the sort
      int* at = out;
      words_[0] &= ~std::uint64_t{1};
      for (std::size_t w = 0; w < words_.size(); ++w) {
        for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1)
          *at++ = static_cast<int>(w * 64) + std::countr_zero(bits) - 1;
        words_[w] = 0;
      }
      return static_cast<int>(at - out);
    }
    const int k = static_cast<int>(end_ - out);
    end_ = out;
    std::sort(out, out + k);
    for (int j = 0; j < k; ++j) words_[static_cast<std::size_t>(out[j] + 1) >> 6] = 0;
    return k;
  }
  // The positions of the n ids of a transaction, as add() and finish().
  int of(const int* ids, int n) {
    for (int j = 0; j < n; ++j) add(ids[j]);
    return finish();
  }
  const int* data() const { return out_.data(); }

 private:
  static constexpr std::size_t kScannedWords = 8;
  const ItemMap* items_;
  std::vector<std::uint64_t> words_;  // bit p + 1 for position p, all clear between transactions
  bool scanned_;
  std::vector<int> out_;
  int* end_;  // behind the transaction's positions so far (when not scanned_)
};

}  // namespace zub
