#pragma once
// A rank's share of a plain file of ids (or of a folder's parts) read as
// zub-mine reads a regular file: each piece by the byte-range parser
// (io/byte_ranges.h), not through a stream. The first pass counts the
// pieces in ranges (trees/range_passes.h) and keeps each range's digest;
// the second reads the same ranges again, in file order, and must find the
// same digests. Input read by names, standard input and gzip data go
// through the stream (share.h).
#include <string>
#include <vector>

#include "common/run_error.h"
#include "common/tuning.h"
#include "io/byte_ranges.h"
#include "io/line_ranges.h"
#include "trees/fi_tree.h"

namespace zub {

class Progress;

class RangeShare {
 public:
  // Opens each piece's file; throws RunError "<path> could not be opened!".
  explicit RangeShare(std::vector<FilePiece> pieces);
  ~RangeShare();
  RangeShare(const RangeShare&) = delete;
  RangeShare& operator=(const RangeShare&) = delete;

  // The first pass: the share's counts, on `threads` threads. A failure
  // names the piece's file and the line within the piece (throws RunError).
  ItemCounts count(const Tuning& tuning, int threads, Progress* progress);
  // The second pass over the ranges of the first, in file order: `lines`
  // gets id(x) for each id as read and end() behind each transaction (it
  // is copied while a block is read, so it holds its state behind
  // pointers). Throws RunError "<name> changed while it was read!" when a
  // range reads otherwise than in the first pass.
  template <class Lines>
  void read_again(const std::string& name, Lines lines);

  const std::vector<FilePiece>& pieces() const { return pieces_; }
  // Each piece's lines, as far as the first pass read them.
  const std::vector<long long>& lines() const { return lines_; }
  bool has_ids() const { return has_ids_; }
  bool words_without_ids() const { return words_without_ids_; }

 private:
  std::vector<FilePiece> pieces_;
  std::vector<RangePlan> plans_;  // by piece: its file's descriptor, its ranges and their digests
  std::vector<long long> lines_;
  bool has_ids_ = false;
  bool words_without_ids_ = false;
};

template <class Lines>
void RangeShare::read_again(const std::string& name, Lines lines) {
  for (std::size_t p = 0; p < plans_.size(); ++p) {
    const RangePlan& plan = plans_[p];
    RangeReader reader(plan.source.fd);
    for (std::size_t r = 0; r < plan.ranges.size(); ++r) {
      const RangeRead read = reader.read_lines(plan.ranges[r], lines);
      if (read.failure == RangeRead::Failure::io) throw RunError(kExitFile, pieces_[p].path + " could not be read!");
      if (read.failure != RangeRead::Failure::none || !(read.digest == plan.digests[r]))
        throw RunError(kExitFile, name + " changed while it was read!");
    }
  }
}

}  // namespace zub
