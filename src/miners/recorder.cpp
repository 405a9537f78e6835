#include "miners/recorder.h"

namespace zub {

// One slot more than an itemset can have: the first-MFI lookahead pushes
// the head item a second time on top of a possibly full itemset.
Recorder::Recorder(int frequent_items)
    : itemset(frequent_items + 1, true),
      slots_(static_cast<std::size_t>(frequent_items) + 1),
      tally_(kTallyLengths, 0),
      batch_(new int[kRecordBatchInts]) {}

void Recorder::open_mfi_trees() {
  if (mfi_trees.empty()) mfi_trees.assign(slots_, nullptr);
}

void Recorder::open_cfi_trees() {
  if (cfi_trees.empty()) cfi_trees.assign(slots_, nullptr);
}

void Recorder::grow_tally(int length) { tally_.resize(static_cast<std::size_t>(length), 0); }

void Recorder::start(ItemsetSink* sink, LengthLimits lengths) {
  sink_ = sink != nullptr ? sink : &discard_;
  lengths_ = lengths;
  std::fill(tally_.begin(), tally_.end(), 0);
  used_ = 0;
}

long long Recorder::recorded() const {
  long long n = 0;
  for (long long k : tally_) n += k;
  return n;
}

}  // namespace zub
