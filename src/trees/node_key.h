#pragma once
// The item and depth of an MFI- or CFI-tree node in one 32-bit word: the
// item in the low bits, as many as the main tree's item count needs, the
// depth above it, and the top bit for a node whose first child is kept
// aside (LateChildren). The depth only prunes the subset check, so it may
// saturate: a depth field too narrow for a path holds its largest value,
// which means "this deep or deeper", and the check then climbs where it
// would have stopped. The split is chosen once per tree from the data, so
// it is exact for any item count: a million items leave 11 bits, depth
// 2047; 2^31 items leave none, and nothing is pruned.
#include <algorithm>
#include <bit>
#include <cstdint>

namespace zub {

class NodeKeys {
 public:
  static constexpr std::uint32_t kLate = std::uint32_t{1} << 31;

  // For item ids below `items`, with an item field at least `min_item_bits`
  // wide (the tests widen it, so that depths saturate).
  void init(int items, int min_item_bits) {
    // The field's largest value is no item: the root's.
    const int bits = std::max<int>(std::bit_width(static_cast<std::uint32_t>(std::max(items, 1))), min_item_bits);
    shift_ = std::min(bits, 31);
    mask_ = (std::uint32_t{1} << shift_) - 1;
    cap_ = static_cast<int>((kLate - 1) >> shift_);
  }
  std::uint32_t make(int item, int depth) const {
    return static_cast<std::uint32_t>(item) | static_cast<std::uint32_t>(std::min(depth, cap_)) << shift_;
  }
  std::uint32_t root() const { return mask_; }  // depth 0, an item no node has
  int item(std::uint32_t key) const { return static_cast<int>(key & mask_); }
  bool is_item(std::uint32_t key, int item) const { return (key & mask_) == static_cast<std::uint32_t>(item); }
  // The depth, or the field's largest value for a path that deep or deeper.
  int depth(std::uint32_t key) const { return static_cast<int>((key & ~kLate) >> shift_); }
  // Can the node's path hold `need` items? Yes when its depth cannot tell.
  bool reaches(std::uint32_t key, int need) const { return depth(key) >= std::min(need, cap_); }
  int cap() const { return cap_; }

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  int cap_ = 0;
};

}  // namespace zub
