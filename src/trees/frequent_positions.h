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
        out_(static_cast<std::size_t>(positions) + 1),
        end_(out_.data()) {}

  // Takes one id of the transaction. A bit per position drops repeats.
  void add(int id) {
    const int p = items_->position_of(id);
    if (p < 0) return;
    std::uint64_t& word = words_[static_cast<std::size_t>(p) >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (p & 63);
    if (word & bit) return;
    word |= bit;
    *end_++ = p;
  }
  // Ends the transaction: its positions' number, the positions in data().
  int finish() {
    int* const out = out_.data();
    const int k = static_cast<int>(end_ - out);
    end_ = out;
    if (k == 0) return 0;
    // Where the bits fill a few words (up to 512 positions), reading them
    // back in order is the sort; otherwise the positions are sorted.
    if (words_.size() <= kScannedWords) {
      int* at = out;
      for (std::size_t w = 0; w < words_.size(); ++w) {
        for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1)
          *at++ = static_cast<int>(w * 64) + std::countr_zero(bits);
        words_[w] = 0;
      }
    } else {
      std::sort(out, out + k);
      for (int j = 0; j < k; ++j) words_[static_cast<std::size_t>(out[j]) >> 6] = 0;
    }
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
  std::vector<std::uint64_t> words_;  // a bit per position, all clear between transactions
  std::vector<int> out_;
  int* end_;  // behind the transaction's positions so far
};

}  // namespace zub
