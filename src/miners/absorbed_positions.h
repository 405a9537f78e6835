#pragma once
// Positions of the main tree that hold no maximal itemset of their own: a
// position q whose every transaction also holds the item of a later
// position i (found when i is mined: q is in i's tail with q's whole
// support). Any frequent set whose least frequent item is q's then stays
// frequent with i's item added, so it is not maximal, and q's position is
// passed over without walking its pattern base. On wide data (a line of a
// million ids and a few lines of parts of it) this turns a walk of the
// whole line per position, square time, into one walk per distinct line.
// Not under a maximum length, where a set of that length without i's item
// is maximal among the allowed ones.
//
// Workers mark and read positions concurrently: a mark missed by a worker
// that has already started the position only costs the walk.
#include <atomic>
#include <cstddef>

#include "memory/zeroed_array.h"
#include "trees/fi_tree.h"

namespace zub {

class AbsorbedPositions {
 public:
  explicit AbsorbedPositions(int positions) : marks_(static_cast<std::size_t>(positions)) {}
  bool has(int position) const {
    return std::atomic_ref<char>(marks_[static_cast<std::size_t>(position)]).load(std::memory_order_relaxed) != 0;
  }
  void mark(int position) {
    std::atomic_ref<char>(marks_[static_cast<std::size_t>(position)]).store(1, std::memory_order_relaxed);
  }
  // Marks the positions of the k tail items of a position of `tree` whose
  // support with it (supp, by position) is their whole support.
  void mark_tail(const FI_tree& tree, const int* tail, int k, const int* supp) {
    for (int t = 0; t < k; ++t) {
      const int q = tree.item_pos(tail[t]);
      if (supp[q] == tree.head(q)->count) mark(q);
    }
  }

 private:
  mutable ZeroedArray<char> marks_;  // marked through atomic_ref; untouched pages cost nothing on a million positions
};

}  // namespace zub
