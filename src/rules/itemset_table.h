#pragma once
// Itemsets (ascending items) with a value each, numbered in the order
// added and found whole through an open-addressing hash table. The items
// of all itemsets share one array.
#include <cstdint>
#include <span>
#include <vector>

namespace zub {

class ItemsetTable {
 public:
  ItemsetTable() { clear(); }
  // Adds `sorted` (not already in the table) with `value`.
  void add(std::span<const int> sorted, int value);
  // The number of `sorted`, or -1 when it is not in the table.
  int find(std::span<const int> sorted) const;
  std::span<const int> items(std::uint32_t number) const {
    return {pool_.data() + begin_[number], pool_.data() + begin_[number + 1]};
  }
  int value(std::uint32_t number) const { return values_[number]; }
  const std::vector<int>& values() const { return values_; }
  std::size_t size() const { return values_.size(); }
  // Empties the table, keeping its memory.
  void clear();

 private:
  void place(std::uint32_t number);  // into the slots
  std::vector<int> values_;
  std::vector<std::uint32_t> begin_;  // each itemset's items in pool_
  std::vector<int> pool_;
  std::vector<std::uint32_t> slots_;  // number + 1, 0 empty; a power of two, at most half full
};

}  // namespace zub
