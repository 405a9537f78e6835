#pragma once
// Mining association rules: two passes over one run's main tree. The
// closed itemsets go into ClosedSupports; then every frequent itemset Z of
// at least two items is streamed from the all-itemsets miner and split into
// the rules it yields, each X and Y's support looked up among the closed
// itemsets. Nothing but the closed itemsets is kept.
#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/rule_lines.h"
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
// into the rules it yields, counted and handed on as rule records (rules.h),
// or, with a text writer's `lines`, as text records of their lines, so
// that the thread that writes only appends bytes.
class RuleSplitting final : public ItemsetSink {
 public:
  RuleSplitting(const ClosedSupports& closed, const RuleSettings& options, const RuleLines* lines, StopFlag stop,
                std::atomic<long long>& taken, ItemsetSink& next);
  void take(std::span<const int> records) override;
  void unit_begins(int unit) override { next_.unit_begins(unit); }
  // The rules made so far, and by the items of X u Y, - 1.
  long long rules() const { return rules_made_; }
  const std::vector<long long>& lengths() const { return lengths_; }

 private:
  void hand_on();
  RuleMaker maker_;
  const int transactions_;
  std::optional<RuleLines> lines_;
  StopFlag stop_;
  std::atomic<long long>& taken_;
  ItemsetSink& next_;
  std::vector<int> rules_;
  std::string text_;        // the lines of rules_
  std::vector<int> packed_;  // text_ as a record
  long long rules_made_ = 0;
  std::vector<long long> lengths_;
};

// On the thread that writes, in the units' order: the rule records each as
// its rule to the rule sink, or the text records' bytes to its take_lines().
class RuleWriting final : public ItemsetSink {
 public:
  RuleWriting(int transactions, bool text, RuleSink& out) : transactions_(transactions), text_(text), out_(out) {}
  void take(std::span<const int> records) override;
  void unit_begins(int unit) override { out_.unit_begins(unit); }

 private:
  const int transactions_;
  const bool text_;
  RuleSink& out_;
};

// Both on one thread: the sink of an all-itemsets pass whose rules go
// straight to `out` (a rank of the cluster program makes its rules so).
class RuleMaking final : public ItemsetSink {
 public:
  RuleMaking(const ClosedSupports& closed, const RuleSettings& options, StopFlag stop, RuleReport& report,
             RuleSink& out)
      : report_(report),
        writing_(options.transactions, false, out),
        splitting_(closed, options, nullptr, stop, taken_, writing_) {}
  void take(std::span<const int> records) override {
    splitting_.take(records);
    report_.itemsets = taken_.load(std::memory_order_relaxed);
    report_.rules = splitting_.rules();
    report_.lengths = splitting_.lengths();
  }
  void unit_begins(int unit) override { splitting_.unit_begins(unit); }

 private:
  RuleReport& report_;
  std::atomic<long long> taken_{0};
  RuleWriting writing_;
  RuleSplitting splitting_;
};

// Mines the rules of `run` (read, not mined) whose X u Y has `lengths`
// items into `out`, each rule's items main-tree positions (or, when `out`
// gives its lines, their text made on the mining threads). Throws RunError;
// a set stop flag ends the rule making too.
RuleReport mine_rules(Run& run, const RuleSettings& options, const LengthLimits& lengths, RuleSink& out);

}  // namespace zub
