#pragma once
// Where found itemsets and rules go. A miner's recorder hands its itemsets
// over in batches of records (records.h), so that a destination costs one
// call per batch, not per itemset; a rule (made from an itemset by the
// rule maker) is handed over alone, or as its line among others' when the
// destination writes text. The kinds: the text writer (FSout:
// plain, CSV or JSON lines), a callback (CallbackSink: the C++ API and
// Python), a unit's buffer (run/unit_buffer.h: a worker's results kept
// until its unit is committed in order), a distributed run's sender
// (src/cluster/results.h: each unit's records to rank 0), and discard
// (DiscardSink: the recorder's counts are the only result).
#include <span>
#include <string_view>

namespace zub {

struct FoundRule;
class RuleLines;

class ItemsetSink {
 public:
  virtual ~ItemsetSink() = default;
  // Takes records (length, items as main-tree positions, support; back to
  // back) in the order they were found. Throws RunError when the
  // destination fails (a write error), or what the callback behind it throws.
  virtual void take(std::span<const int> records) = 0;
  // The records that follow are unit `unit`'s (a pass in units tells each
  // unit's turn, in order, before its records): for a sink that sends each
  // unit's records elsewhere.
  virtual void unit_begins(int unit) { (void)unit; }
};

class RuleSink {
 public:
  virtual ~RuleSink() = default;
  // Takes one rule, its items as main-tree positions.
  virtual void take(const FoundRule& rule) = 0;
  // A text writer's lines, so that a copy makes them where the rules are
  // made (on every mining thread) and take_lines() gets their bytes in
  // order instead of each rule; null: each rule comes to take().
  virtual const RuleLines* lines() const { return nullptr; }
  virtual void take_lines(std::string_view text) { (void)text; }
  // The rules that follow are made from unit `unit`'s itemsets.
  virtual void unit_begins(int unit) { (void)unit; }
};

// A step between a recorder and its destination that turns the itemsets
// recorded into other records where they are found, so that the work is
// done on every mining thread (the rule run's: each itemset's rules). The
// records it makes go on to the destination as a unit's itemsets would: in
// the units' order. over() is called once per thread before the threads
// start; the sink it gives hands each batch's records to `next` within the
// same take(), and lives as long as the stage.
class RecordStage {
 public:
  virtual ~RecordStage() = default;
  virtual ItemsetSink& over(ItemsetSink& next) = 0;
  // The itemsets its sinks have taken so far, over every thread (for a
  // progress report: what reaches the destination are other records).
  virtual long long taken() const = 0;
};

// Counting only: a run without an output file.
class DiscardSink final : public ItemsetSink {
 public:
  void take(std::span<const int>) override {}
};

}  // namespace zub
