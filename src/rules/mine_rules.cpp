#include "rules/mine_rules.h"

#include <algorithm>

#include "io/found_rule.h"
#include "io/records.h"

namespace zub {

void RuleMaking::take(std::span<const int> records) {
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
