#include "fp_tree/sorted_batch.h"

#include <algorithm>

namespace zub {

void SortedBatch::reserve(std::size_t positions, std::size_t transactions) {
  positions_.reserve(positions);
  begin_.reserve(transactions + 1);
  keyed_.reserve(transactions);
}

void SortedBatch::add(const int* positions, int k) {
  if (begin_.empty()) begin_.push_back(0);
  positions_.insert(positions_.end(), positions, positions + k);
  begin_.push_back(static_cast<std::uint32_t>(positions_.size()));
}

void SortedBatch::sort() {
  const std::size_t n = size();
  const int* p = positions_.data();
  const std::uint32_t* b = begin_.data();
  // The first two positions, packed, decide most comparisons without a
  // visit to the transaction (a cache miss on a large batch). A missing
  // second position packs as 0, which sorts a prefix first.
  keyed_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::uint32_t first = static_cast<std::uint32_t>(p[b[t]]);
    const std::uint32_t second = b[t + 1] - b[t] > 1 ? static_cast<std::uint32_t>(p[b[t] + 1]) + 1 : 0;
    keyed_[t] = {std::uint64_t{first} << 32 | second, static_cast<std::uint32_t>(t)};
  }
  std::sort(keyed_.begin(), keyed_.end(), [p, b](const Keyed& x, const Keyed& y) {
    if (x.key != y.key) return x.key < y.key;
    const std::uint32_t from_x = std::min(b[x.index] + 2, b[x.index + 1]);
    const std::uint32_t from_y = std::min(b[y.index] + 2, b[y.index + 1]);
    return std::lexicographical_compare(p + from_x, p + b[x.index + 1], p + from_y, p + b[y.index + 1]);
  });
}

void SortedBatch::clear() {
  positions_.clear();
  begin_.clear();
  keyed_.clear();
}

void SortedBatch::release() {
  std::vector<int>().swap(positions_);
  std::vector<std::uint32_t>().swap(begin_);
  std::vector<Keyed>().swap(keyed_);
}

}  // namespace zub
