#include "rules/itemset_table.h"

#include <algorithm>

namespace zub {

namespace {

std::uint64_t hash_of(std::span<const int> sorted) {
  std::uint64_t h = sorted.size();
  for (int item : sorted) h = (h ^ static_cast<std::uint32_t>(item)) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

}  // namespace

void ItemsetTable::clear() {
  values_.clear();
  pool_.clear();
  begin_.assign(1, 0);
  std::fill(slots_.begin(), slots_.end(), 0u);
  if (slots_.empty()) slots_.assign(16, 0);
}

void ItemsetTable::place(std::uint32_t number) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash_of(items(number)) & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = number + 1;
}

void ItemsetTable::add(std::span<const int> sorted, int value) {
  pool_.insert(pool_.end(), sorted.begin(), sorted.end());
  begin_.push_back(static_cast<std::uint32_t>(pool_.size()));
  values_.push_back(value);
  const auto number = static_cast<std::uint32_t>(values_.size() - 1);
  if (2 * values_.size() <= slots_.size()) {
    place(number);
    return;
  }
  slots_.assign(2 * slots_.size(), 0);
  for (std::uint32_t n = 0; n <= number; ++n) place(n);
}

int ItemsetTable::find(std::span<const int> sorted) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash_of(sorted) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const std::uint32_t number = slots_[slot] - 1;
    const std::span<const int> c = items(number);
    if (std::equal(c.begin(), c.end(), sorted.begin(), sorted.end())) return static_cast<int>(number);
  }
  return -1;
}

}  // namespace zub
