#pragma once
// Mining association rules: two passes over one run's main tree. The
// closed itemsets go into ClosedSupports; then every frequent itemset Z of
// at least two items is streamed from the all-itemsets miner and split into
// the rules it yields, each X and Y's support looked up among the closed
// itemsets. Nothing but the closed itemsets is kept.
#include <vector>

#include "io/sink.h"
#include "rules/closed_supports.h"
#include "rules/rules.h"
#include "run/run.h"

namespace zub {

struct RuleReport {
  long long closed = 0;            // the closed itemsets the supports came from
  long long itemsets = 0;          // frequent itemsets of two items or more, split
  long long rules = 0;
  std::vector<long long> lengths;  // rules by the items of X u Y, - 1
};

// The sink of the all-itemsets pass: each frequent itemset Z of two items
// or more is split into the rules it yields, which go to the rule sink.
class RuleMaking final : public ItemsetSink {
 public:
  RuleMaking(ClosedSupports& closed, const RuleSettings& options, StopFlag stop, RuleReport& report, RuleSink& out)
      : maker_(closed, options), stop_(stop), report_(report), out_(out) {}
  void take(std::span<const int> records) override;
  void unit_begins(int unit) override { out_.unit_begins(unit); }

 private:
  RuleMaker maker_;
  StopFlag stop_;
  RuleReport& report_;
  RuleSink& out_;
};

// Mines the rules of `run` (read, not mined) whose X u Y has `lengths`
// items into `out`, each rule's items main-tree positions. Throws RunError;
// a set stop flag ends the rule making too.
RuleReport mine_rules(Run& run, const RuleSettings& options, const LengthLimits& lengths, RuleSink& out);

}  // namespace zub
