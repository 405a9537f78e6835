#include "rules/mine_rules.h"

#include <algorithm>

#include "io/found_rule.h"
#include "io/records.h"

namespace zub {

namespace {

// The sink of the all-itemsets pass: each frequent itemset Z of two items
// or more is split into the rules it yields, which go to the rule sink.
class RuleMaking final : public ItemsetSink {
 public:
  RuleMaking(ClosedSupports& closed, const RuleSettings& options, StopFlag stop, RuleReport& report, RuleSink& out)
      : maker_(closed, options), stop_(stop), report_(report), out_(out) {}
  void take(std::span<const int> records) override {
    for_each_record(records, [this](const int* z, int n, int support) {
      stop_.check();  // an itemset may give many rules, so the flag is read per itemset
      ++report_.itemsets;
      maker_.rules_of({z, static_cast<std::size_t>(n)}, support, [this](const FoundRule& rule) {
        const std::size_t length = rule.antecedent.size() + rule.consequent.size();
        if (report_.lengths.size() < length) report_.lengths.resize(length);
        ++report_.lengths[length - 1];
        ++report_.rules;
        out_.take(rule);
      });
    });
  }

 private:
  RuleMaker maker_;
  StopFlag stop_;
  RuleReport& report_;
  RuleSink& out_;
};

}  // namespace

RuleReport mine_rules(Run& run, const RuleSettings& options, const LengthLimits& lengths, RuleSink& out) {
  RuleReport report;
  // All the closed itemsets, whatever the lengths asked: the closure of a
  // short itemset may be long.
  ClosedSupports closed(run.frequent());
  run.mine(closed, Run::Pass{MiningTarget::closed, LengthLimits{}, true});
  closed.index();
  report.closed = static_cast<long long>(closed.size());

  RuleMaking making(closed, options, run.settings().stop, report, out);
  run.mine(making, Run::Pass{MiningTarget::all, LengthLimits{std::max(2, lengths.min), lengths.max}, false});
  return report;
}

}  // namespace zub
