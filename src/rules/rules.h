#pragma once
// Association rules X -> Y of one frequent itemset Z = X u Y (X and Y
// non-empty and disjoint), with the supports of X and Y from the closed
// itemsets and the usual measures.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/fraction.h"
#include "rules/closed_supports.h"
#include "io/found_rule.h"

namespace zub {

struct RuleSettings {
  Fraction min_confidence{4, 5};  // compared exactly
  Fraction min_lift{0, 1};
  bool single_consequent = true;  // Y of one item; otherwise every split
  int transactions = 0;           // n, for the shares
};

// Makes the rules of one frequent itemset after another.
class RuleMaker {
 public:
  RuleMaker(ClosedSupports& closed, const RuleSettings& options) : closed_(closed), options_(options) {}
  // Calls each(rule) for every split of `z` (support `support`, at least
  // two items) whose confidence and lift reach the options' minimums. A
  // rule's items keep z's order. Splits of more than 30 items into any
  // consequents are beyond any output and not made.
  void rules_of(std::span<const int> z, int support, const std::function<void(const FoundRule&)>& each);

 private:
  template <class InY>
  void try_split(std::span<const int> z, int support, InY in_y, const std::function<void(const FoundRule&)>& each);
  ClosedSupports& closed_;
  RuleSettings options_;
  std::vector<int> z_sorted_, x_, y_, x_sorted_, y_sorted_;  // the split being tried
};

}  // namespace zub
