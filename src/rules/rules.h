#pragma once
// Association rules X -> Y of one frequent itemset Z = X u Y (X and Y
// non-empty and disjoint), with the supports of X and Y from the closed
// itemsets and the usual measures.
#include <cstdint>
#include <span>
#include <string_view>
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

// A rule as a record (records.h): X's items, Y's items, |X|, supp(X) and
// supp(Y), then supp(X u Y) as the record's support; |X| + |Y| + 3 ints
// before it. Its measures follow from the supports and n (rule_of), so
// that it is made on any thread and written in order on another.
constexpr int kRuleRecordExtra = 3;

// The rule of a record read by for_each_record, its sides pointing into it.
FoundRule rule_of(const int* items, int n, int support, int transactions);

// Rules as text (the lines a text writer's RuleLines made on a mining
// thread) in one record: the bytes packed in its items, four to an int,
// the last padded; their number as its support. So the lines go the
// records' road (kept in order, bounded in memory, spilled) to the writer.
void append_text_record(std::string_view text, std::vector<int>& out);
inline std::string_view text_of(const int* items, int support) {
  return {reinterpret_cast<const char*>(items), static_cast<std::size_t>(support)};
}

// Makes the rules of one frequent itemset after another, on one thread.
class RuleMaker {
 public:
  RuleMaker(const ClosedSupports& closed, const RuleSettings& options) : lookup_(closed), options_(options) {}
  // Appends to `out` the record of every split of `z` (support `support`,
  // at least two items) whose confidence and lift reach the options'
  // minimums. A rule's items keep z's order. Splits of more than 30 items
  // into any consequents are beyond any output and not made.
  void rules_of(std::span<const int> z, int support, std::vector<int>& out);

 private:
  template <class InY>
  void try_split(std::span<const int> z, int support, InY in_y, std::vector<int>& out);
  SupportLookup lookup_;
  RuleSettings options_;
  std::vector<int> z_sorted_, x_, y_, x_sorted_, y_sorted_;  // the split being tried
};

}  // namespace zub
