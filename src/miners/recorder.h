#pragma once
// The recorder: the one way out of every miner, on every thread. It owns
// what each miner's output needs: the itemset under construction (the
// stack), the length limits of the pass, the counts of the itemsets
// recorded by length, the registry of the open result trees that a found
// itemset must enter (so that later candidates inside it are rejected),
// and the hand-off: records (records.h) gathered into a batch that goes to
// the sink when full, and when the caller flushes (at the end of a pass or
// of a unit). One recorder per worker; nothing in it is shared.
//
// The result trees open on the recursion path stand in a registry by slot:
// the tree of a level sits at the stack index of that level's item and holds,
// of every itemset recorded below that level, the items above that index.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <span>
#include <vector>

#include "common/settings.h"
#include "common/tuning.h"
#include "io/records.h"
#include "io/sink.h"
#include "memory/zeroed_array.h"
#include "trees/stack.h"

namespace zub {

class MFI_tree;
class CFI_tree;

class Recorder {
 public:
  // For itemsets of up to `frequent_items` items (the main tree's).
  explicit Recorder(int frequent_items);
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // A pass begins: its sink (none: discard), its length limits, counts from
  // zero. With a stage, what this recorder records goes through the stage's
  // sink for its thread on to `sink`, while the records it passes on (made
  // by another thread's recorder, which staged and counted them) go to
  // `sink` as they are.
  void start(ItemsetSink* sink, LengthLimits lengths, RecordStage* stage = nullptr);
  RecordStage* stage() const { return stage_; }
  const LengthLimits& lengths() const { return lengths_; }
  // Itemsets recorded (and handed on, or waiting in the batch) by length -
  // 1, up to the longest recorded (at least kTallyLengths entries).
  std::vector<long long> tally() const;
  long long recorded() const;

  // Records items[0..length) with `support`: counted and handed on, unless
  // shorter than the pass's minimum length.
  void found(const int* items, int length, int support) {
    if (length < lengths_.min) return;
    count(length);
    int* p = reserve(record_size(length));
    p[0] = length;
    std::copy_n(items, length, p + 1);
    p[1 + length] = support;
  }
  // Records the stack's first `length` items with `support`, then enters
  // them into the trees of slots 0 to `slot`. Each tree takes the items
  // above its own slot, but the tree of `slot` (the level that found the
  // itemset) takes them from `own_from`, which lets a level keep its own
  // item in its tree where it needs the node.
  template <class Tree>
  void record(ZeroedArray<Tree*>& trees, int length, int support, int slot, int own_from) {
    found(itemset.items, length, support);
    enter(trees, length, support, slot, own_from);
  }
  // Enters the stack's first `length` items into the trees as `record`
  // does, without recording them: an itemset longer than the length limit
  // that later candidates must still be checked against.
  template <class Tree>
  void enter(ZeroedArray<Tree*>& trees, int length, int support, int slot, int own_from) {
    const int* items = itemset.items;
    for (int t = 0; t <= slot; ++t) {
      Tree* tree = trees[static_cast<std::size_t>(t)];
      if (tree == nullptr) continue;
      const int from = t == slot ? own_from : t + 1;
      if (length > from) tree->enter(items + from, length - from, support);
    }
  }

  // Hands the batch to the sink. Throws what the sink throws.
  void flush() {
    if (used_ == 0) return;
    const std::size_t n = used_;
    used_ = 0;  // a sink that throws leaves an empty batch
    sink_->take({batch_.get(), n});
  }
  // Counts records that another recorder made (a unit's, in its turn) and
  // hands them to the sink after this one's own; staged records were counted
  // by their recorder (add_counts).
  void pass_on(std::span<const int> records) {
    flush();
    if (stage_ == nullptr)
      for_each_record(records, [this](const int*, int n, int) { count(n); });
    out_->take(records);
  }
  // Joins another recorder's counts to this one's.
  void add_counts(const Recorder& other);
  // Hands the batch on and tells the sink that unit `unit`'s records follow.
  void begin_unit(int unit) {
    flush();
    sink_->unit_begins(unit);
  }

  stack itemset;  // the itemset under construction, with a support per entry
  // The open result trees of the maximal and the closed miners, by slot:
  // empty until a miner that keeps result trees opens them, then an entry per
  // possible stack index, in zeroed pages that only the deep slots touch.
  ZeroedArray<MFI_tree*> mfi_trees;
  ZeroedArray<CFI_tree*> cfi_trees;
  void open_mfi_trees();
  void open_cfi_trees();

 private:
  int* reserve(std::size_t n) {
    if (used_ + n > capacity_) [[unlikely]]
      make_room(n);
    int* p = batch_.get() + used_;
    used_ += n;
    return p;
  }
  // Hands the batch over; grows it for a record larger than it.
  void make_room(std::size_t n) {
    flush();
    if (n > capacity_) {
      capacity_ = n;
      batch_.reset(new int[n]);
    }
  }

  DiscardSink discard_;  // until a pass names its sink
  ItemsetSink* sink_ = &discard_;  // of what this recorder records
  ItemsetSink* out_ = &discard_;   // of what it passes on
  RecordStage* stage_ = nullptr;
  // Counts by length: the short lengths in an array, the longer ones as
  // (length, count) pairs by length, so that one itemset of a million items
  // costs an entry, not 8 MB in every workspace.
  static constexpr std::size_t kTallyLengths = 64;
  void count(int length) {
    if (static_cast<std::size_t>(length) <= kTallyLengths) [[likely]]
      ++tally_[static_cast<std::size_t>(length) - 1];
    else
      count_long(length, 1);
  }
  void count_long(int length, long long n);
  std::vector<std::pair<int, long long>> long_tally_;
  std::size_t slots_;  // the result-tree registries' entries once open
  LengthLimits lengths_;
  std::vector<long long> tally_;
  std::unique_ptr<int[]> batch_;
  std::size_t used_ = 0;
  std::size_t capacity_ = kRecordBatchInts;
};

}  // namespace zub
