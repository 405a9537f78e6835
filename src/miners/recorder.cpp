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

void Recorder::count_long(int length, long long n) {
  auto at = std::lower_bound(long_tally_.begin(), long_tally_.end(), length,
                             [](const std::pair<int, long long>& e, int l) { return e.first < l; });
  if (at == long_tally_.end() || at->first != length) at = long_tally_.insert(at, {length, 0});
  at->second += n;
}

void Recorder::add_counts(const Recorder& other) {
  for (std::size_t k = 0; k < kTallyLengths; ++k) tally_[k] += other.tally_[k];
  for (const auto& [length, n] : other.long_tally_) count_long(length, n);
}

std::vector<long long> Recorder::tally() const {
  std::vector<long long> all(tally_);
  if (!long_tally_.empty()) all.resize(static_cast<std::size_t>(long_tally_.back().first), 0);
  for (const auto& [length, n] : long_tally_) all[static_cast<std::size_t>(length) - 1] = n;
  return all;
}

void Recorder::start(ItemsetSink* sink, LengthLimits lengths, RecordStage* stage) {
  out_ = sink != nullptr ? sink : &discard_;
  stage_ = stage;
  sink_ = stage != nullptr ? &stage->over(*out_) : out_;
  lengths_ = lengths;
  std::fill(tally_.begin(), tally_.end(), 0);
  long_tally_.clear();
  used_ = 0;
}

long long Recorder::recorded() const {
  long long n = 0;
  for (long long k : tally_) n += k;
  for (const auto& e : long_tally_) n += e.second;
  return n;
}

}  // namespace zub
