#pragma once
// The support of any frequent itemset from the closed itemsets alone: it is
// the largest support of a closed itemset that holds it (the support of its
// closure). The closed itemsets are numbered by descending support, and
// each item keeps the ascending numbers of those that hold it, so the first
// number that all of an itemset's items share is its closure.
#include <span>
#include <unordered_map>
#include <vector>

namespace zub {

class ClosedSupports {
 public:
  // Takes one closed itemset (its items, in any order, and its support).
  void add(std::span<const int> items, int support);
  // Numbers the itemsets taken; call once, after the last add.
  void index();
  // The support of `items` (a frequent itemset: some closed itemset holds
  // it), or 0 when no closed itemset holds them all.
  int support_of(std::span<const int> items) const;
  std::size_t size() const { return supports_.size(); }

 private:
  std::vector<int> supports_;               // by number, once indexed
  std::vector<std::vector<int>> items_;     // each closed itemset's items, until indexed
  std::unordered_map<int, std::vector<int>> holders_;  // item -> ascending numbers
};

}  // namespace zub
