#include "rules/mine_rules.h"

#include <algorithm>
#include <atomic>
#include <deque>

#include "common/tuning.h"
#include "io/found_rule.h"
#include "io/records.h"

namespace zub {

RuleSplitting::RuleSplitting(const ClosedSupports& closed, const RuleSettings& options, const RuleLines* lines,
                             StopFlag stop, std::atomic<long long>& taken, ItemsetSink& next)
    : maker_(closed, options), transactions_(options.transactions), stop_(stop), taken_(taken), next_(next) {
  if (lines != nullptr) lines_.emplace(*lines);  // this thread's own copy: its scratch is its own
}

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
  for_each_record(rules_, [this](const int* items, int n, int support) {
    const auto length = static_cast<std::size_t>(n - kRuleRecordExtra);
    if (lengths_.size() < length) lengths_.resize(length);
    ++lengths_[length - 1];
    ++rules_made_;
    if (lines_) lines_->append(rule_of(items, n, support, transactions_), text_);
  });
  if (lines_) {
    append_text_record(text_, packed_);
    text_.clear();
    next_.take(packed_);
    packed_.clear();
  } else {
    next_.take(rules_);
  }
  rules_.clear();
}

void RuleWriting::take(std::span<const int> records) {
  for_each_record(records, [this](const int* items, int n, int support) {
    if (text_)
      out_.take_lines(text_of(items, support));
    else
      out_.take(rule_of(items, n, support, transactions_));
  });
}

namespace {

// A splitter per mining thread, each over that thread's next sink.
class RuleStage final : public RecordStage {
 public:
  RuleStage(const ClosedSupports& closed, const RuleSettings& options, const RuleLines* lines, StopFlag stop)
      : closed_(closed), options_(options), lines_(lines), stop_(stop) {}
  ItemsetSink& over(ItemsetSink& next) override {
    return makers_.emplace_back(closed_, options_, lines_, stop_, taken_, next);
  }
  long long taken() const override { return taken_.load(std::memory_order_relaxed); }
  // Once the threads have ended: the rules every thread made.
  void count_into(RuleReport& report) const {
    for (const RuleSplitting& m : makers_) {
      report.rules += m.rules();
      if (report.lengths.size() < m.lengths().size()) report.lengths.resize(m.lengths().size());
      for (std::size_t k = 0; k < m.lengths().size(); ++k) report.lengths[k] += m.lengths()[k];
    }
  }

 private:
  const ClosedSupports& closed_;
  const RuleSettings& options_;
  const RuleLines* lines_;
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

  // The rules are made where the itemsets are found, on every thread, and
  // so are their lines for a text writer: the writing thread, which takes
  // the units in turn, would bound the run otherwise.
  const RuleLines* lines = out.lines();
  RuleStage making(closed, options, lines, run.settings().stop);
  RuleWriting writing(options.transactions, lines != nullptr, out);
  const RunReport all = run.mine(
      writing, Run::Pass{MiningTarget::all, LengthLimits{std::max(2, lengths.min), lengths.max}, false, &making});
  report.itemsets = all.itemsets;
  making.count_into(report);
  return report;
}

}  // namespace zub
