#pragma once
// One association rule X -> Y: its items (as the code that made it numbers
// them), its supports and measures.
#include <span>

namespace zub {

struct FoundRule {
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

}  // namespace zub
