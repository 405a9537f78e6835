#include "miners/recorder.h"

namespace zub {

// One slot more than an itemset can have: the first-MFI lookahead pushes
// the head item a second time on top of a possibly full itemset.
Recorder::Recorder(int frequent_items)
    : itemset(frequent_items + 1, true),
      mfi_trees(static_cast<std::size_t>(frequent_items) + 1, nullptr),
      cfi_trees(static_cast<std::size_t>(frequent_items) + 1, nullptr),
      tally_(static_cast<std::size_t>(frequent_items) + 1, 0),
      batch_(new int[kRecordBatchInts]) {}

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
