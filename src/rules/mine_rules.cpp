#include "rules/mine_rules.h"

#include <algorithm>
#include <atomic>
#include <deque>

#include "common/tuning.h"
#include "io/found_rule.h"
#include "io/records.h"

namespace zub {

void RuleSplitting::take(std::span<const int> records) {
  long long itemsets = 0;
  for_each_record(records, [this, &itemsets](const int* z, int n, int support) {
    stop_.check();  // an itemset may give many rules, so the flag is read per itemset
    maker_.rules_of({z, static_cast<std::size_t>(n)}, support, rules_);
    ++itemsets;
    if (rules_.size() >= kRecordBatchInts) hand_on();
  });
  taken_.fetch_add(itemsets, std::memory_order_relaxed);
  hand_on();
}

void RuleSplitting::hand_on() {
  if (rules_.empty()) return;
  next_.take(rules_);
  rules_.clear();
}

void RuleWriting::take(std::span<const int> records) {
  for_each_record(records, [this](const int* items, int n, int support) {
    const FoundRule rule = rule_of(items, n, support, transactions_);
    const std::size_t length = rule.antecedent.size() + rule.consequent.size();
    if (report_.lengths.size() < length) report_.lengths.resize(length);
    ++report_.lengths[length - 1];
    ++report_.rules;
    out_.take(rule);
  });
}

namespace {

// A splitter per mining thread, each over that thread's next sink.
class RuleStage final : public RecordStage {
 public:
  RuleStage(const ClosedSupports& closed, const RuleSettings& options, StopFlag stop)
      : closed_(closed), options_(options), stop_(stop) {}
  ItemsetSink& over(ItemsetSink& next) override { return makers_.emplace_back(closed_, options_, stop_, taken_, next); }
  long long taken() const override { return taken_.load(std::memory_order_relaxed); }

 private:
  const ClosedSupports& closed_;
  const RuleSettings& options_;
  StopFlag stop_;
  std::atomic<long long> taken_{0};
  std::deque<RuleSplitting> makers_;  // one per thread; a deque keeps them in place
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

  // The rules are made where the itemsets are found, on every thread.
  RuleStage making(closed, options, run.settings().stop);
  RuleWriting writing(options.transactions, report, out);
  const RunReport all = run.mine(
      writing, Run::Pass{MiningTarget::all, LengthLimits{std::max(2, lengths.min), lengths.max}, false, &making});
  report.itemsets = all.itemsets;
  return report;
}

}  // namespace zub
