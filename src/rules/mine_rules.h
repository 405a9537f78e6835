#pragma once
// Mining association rules: two passes over one run's main tree. The
// closed itemsets go into ClosedSupports; then every frequent itemset Z of
// at least two items is streamed from the all-itemsets miner and split into
// the rules it yields, each X and Y's support looked up among the closed
// itemsets. Nothing but the closed itemsets is kept.
#include <atomic>
#include <span>
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

// On a mining thread: every frequent itemset Z of two items or more is split
// into the rules it yields, handed on as rule records (rules.h).
class RuleSplitting final : public ItemsetSink {
 public:
  RuleSplitting(const ClosedSupports& closed, const RuleSettings& options, StopFlag stop,
                std::atomic<long long>& taken, ItemsetSink& next)
      : maker_(closed, options), stop_(stop), taken_(taken), next_(next) {}
  void take(std::span<const int> records) override;
  void unit_begins(int unit) override { next_.unit_begins(unit); }

 private:
  void hand_on();
  RuleMaker maker_;
  StopFlag stop_;
  std::atomic<long long>& taken_;
  ItemsetSink& next_;
  std::vector<int> rules_;
};

// On the thread that writes, in the units' order: each rule record's
// measures, counted and handed to the rule sink.
class RuleWriting final : public ItemsetSink {
 public:
  RuleWriting(int transactions, RuleReport& report, RuleSink& out)
      : transactions_(transactions), report_(report), out_(out) {}
  void take(std::span<const int> records) override;
  void unit_begins(int unit) override { out_.unit_begins(unit); }

 private:
  const int transactions_;
  RuleReport& report_;
  RuleSink& out_;
};

// Both on one thread: the sink of an all-itemsets pass whose rules go
// straight to `out` (a rank of the cluster program makes its rules so).
class RuleMaking final : public ItemsetSink {
 public:
  RuleMaking(const ClosedSupports& closed, const RuleSettings& options, StopFlag stop, RuleReport& report,
             RuleSink& out)
      : report_(report), writing_(options.transactions, report, out), splitting_(closed, options, stop, taken_, writing_) {}
  void take(std::span<const int> records) override {
    splitting_.take(records);
    report_.itemsets = taken_.load(std::memory_order_relaxed);
  }
  void unit_begins(int unit) override { splitting_.unit_begins(unit); }

 private:
  RuleReport& report_;
  std::atomic<long long> taken_{0};
  RuleWriting writing_;
  RuleSplitting splitting_;
};

// Mines the rules of `run` (read, not mined) whose X u Y has `lengths`
// items into `out`, each rule's items main-tree positions. Throws RunError;
// a set stop flag ends the rule making too.
RuleReport mine_rules(Run& run, const RuleSettings& options, const LengthLimits& lengths, RuleSink& out);

}  // namespace zub
