#include "rules/mine_rules.h"

#include <algorithm>
#include <numeric>

#include "io/fsout.h"

namespace zub {

RuleReport mine_rules(Run& run, const RuleOptions& options, const LengthLimits& lengths,
                      const std::function<void(const Rule&)>& each) {
  RuleReport report;
  const int f = run.frequent();
  // The passes' writers hand over main-tree positions: their order table
  // maps each position to itself.
  std::vector<int> same(static_cast<std::size_t>(f));
  std::iota(same.begin(), same.end(), 0);

  // Under a maximum length the closed itemsets are those of at most that
  // many items, and a subset's closure need not lie inside its superset's.
  ClosedSupports closed(f, lengths.max == LengthLimits::kNone);
  FSout closed_out([&closed](std::span<const int> items, int support) { closed.add(items, support); });
  closed_out.set_order(same.data());
  run.mine(closed_out, Run::Pass{MiningTarget::closed, LengthLimits{1, lengths.max}, true});
  closed.index();
  report.closed = static_cast<long long>(closed.size());

  RuleMaker maker(closed, options);
  auto count = [&](const Rule& rule) {
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
