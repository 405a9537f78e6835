#include "trees/sorted_batch.h"

#include <algorithm>
#include <bit>

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

void SortedBatch::sort(int position_limit) {
  const std::size_t n = size();
  const int* p = positions_.data();
  const std::uint32_t* b = begin_.data();
  // The first positions, packed as many as fit, decide most comparisons
  // without a visit to the transaction (a cache miss on a large batch). A
  // position packs as itself plus one, a missing one as 0, which sorts a
  // prefix first.
  const int bits = std::max(1, static_cast<int>(std::bit_width(static_cast<unsigned>(position_limit))));
  const std::uint32_t packed = static_cast<std::uint32_t>(64 / bits);
  keyed_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::uint32_t end = std::min(b[t] + packed, b[t + 1]);
    std::uint64_t key = 0;
    int shift = 64;
    for (std::uint32_t j = b[t]; j < end; ++j) {
      shift -= bits;
      key |= static_cast<std::uint64_t>(p[j] + 1) << shift;
    }
    keyed_[t] = {key, static_cast<std::uint32_t>(t)};
  }
  std::sort(keyed_.begin(), keyed_.end(), [p, b, packed](const Keyed& x, const Keyed& y) {
    if (x.key != y.key) return x.key < y.key;
    const std::uint32_t from_x = std::min(b[x.index] + packed, b[x.index + 1]);
    const std::uint32_t from_y = std::min(b[y.index] + packed, b[y.index + 1]);
    return std::lexicographical_compare(p + from_x, p + b[x.index + 1], p + from_y, p + b[y.index + 1]);
  });
}

std::size_t SortedBatch::trie_nodes() const {
  std::size_t nodes = 0;
  const int* previous = nullptr;
  int previous_length = 0;
  for (std::size_t t = 0; t < size(); ++t) {
    int length;
    const int* items = transaction(t, length);
    const int common = std::min(length, previous_length);
    int shared = 0;
    while (shared < common && items[shared] == previous[shared]) ++shared;
    nodes += static_cast<std::size_t>(length - shared);
    previous = items;
    previous_length = length;
  }
  return nodes;
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
