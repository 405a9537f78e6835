#include "rules/mine_rules.h"

#include <algorithm>
#include <numeric>

#include "io/fsout.h"

namespace zub {

RuleReport mine_rules(Run& run, const RuleSettings& options, const LengthLimits& lengths,
                      const std::function<void(const FoundRule&)>& each) {
  RuleReport report;
  const int f = run.frequent();
  // The passes' writers hand over main-tree positions: their order table
  // maps each position to itself.
  std::vector<int> same(static_cast<std::size_t>(f));
  std::iota(same.begin(), same.end(), 0);

  // All the closed itemsets, whatever the lengths asked: the closure of a
  // short itemset may be long.
  ClosedSupports closed(f);
  FSout closed_out([&closed](std::span<const int> items, int support) { closed.add(items, support); });
  closed_out.set_order(same.data());
  run.mine(closed_out, Run::Pass{MiningTarget::closed, LengthLimits{}, true});
  closed.index();
  report.closed = static_cast<long long>(closed.size());

  RuleMaker maker(closed, options);
  auto count = [&](const FoundRule& rule) {
    const std::size_t length = rule.antecedent.size() + rule.consequent.size();
    if (report.lengths.size() < length) report.lengths.resize(length);
    ++report.lengths[length - 1];
    ++report.rules;
    each(rule);
  };
  FSout all_out([&](std::span<const int> z, int support) {
    ++report.itemsets;
    maker.rules_of(z, support, count);
  });
  all_out.set_order(same.data());
  run.mine(all_out, Run::Pass{MiningTarget::all, LengthLimits{std::max(2, lengths.min), lengths.max}, false});
  return report;
}

}  // namespace zub
