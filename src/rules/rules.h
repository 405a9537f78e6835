#pragma once
// Association rules X -> Y of one frequent itemset Z = X u Y (X and Y
// non-empty and disjoint), with the supports of X and Y from the closed
// itemsets and the usual measures.
#include <functional>
#include <span>

#include "rules/closed_supports.h"

namespace zub {

struct RuleOptions {
  double min_confidence = 0.8;
  double min_lift = 0;              // 0: no minimum
  bool single_consequent = true;    // Y of one item; otherwise every split
  int transactions = 0;             // n, for the shares
};

struct Rule {
  std::span<const int> antecedent;  // X
  std::span<const int> consequent;  // Y
  int support = 0;                  // of X u Y
  int antecedent_support = 0;
  int consequent_support = 0;
  double confidence = 0;            // supp(X u Y) / supp(X)
  double lift = 0;                  // confidence / (supp(Y) / n)
  double leverage = 0;              // supp(X u Y)/n - supp(X)/n * supp(Y)/n
  double conviction = 0;            // (1 - supp(Y)/n) / (1 - confidence); infinity at confidence 1
};

// Calls each(rule) for every split of `z` (support `support`, at least two
// items) whose confidence and lift reach the options' minimums.
void rules_of(std::span<const int> z, int support, const ClosedSupports& closed, const RuleOptions& options,
              const std::function<void(const Rule&)>& each);

}  // namespace zub
