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
  if (mfi_trees.size() == 0) mfi_trees = ZeroedArray<MFI_tree*>(slots_);  // null pointers are zero bits
}

void Recorder::open_cfi_trees() {
  if (cfi_trees.size() == 0) cfi_trees = ZeroedArray<CFI_tree*>(slots_);
}

void Recorder::grow_tally(int length) { tally_.resize(static_cast<std::size_t>(length), 0); }

void Recorder::start(ItemsetSink* sink, LengthLimits lengths, RecordStage* stage) {
  out_ = sink != nullptr ? sink : &discard_;
  stage_ = stage;
  sink_ = stage != nullptr ? &stage->over(*out_) : out_;
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
