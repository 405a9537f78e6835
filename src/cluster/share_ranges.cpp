#include "cluster/share_ranges.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "common/progress.h"
#include "io/data.h"
#include "trees/range_passes.h"

namespace zub {

namespace {

// `from`'s counts added to `into`'s.
void add_counts(ItemCounts& into, ItemCounts& from) {
  if (from.dense_ids > into.dense_ids) {
    std::swap(into.dense, from.dense);
    std::swap(into.dense_ids, from.dense_ids);
  }
  for (int x = 0; x < from.dense_ids; ++x) into.dense.get()[x] += from.dense.get()[x];
  from.large.for_each([&](int x, std::uint32_t n) { into.large.at(x) += n; });
  into.largest = std::max(into.largest, from.largest);
  const long long transactions = static_cast<long long>(into.transactions) + from.transactions;
  if (transactions > INT_MAX) fail_memory();  // the sum over the ranks fails first (order.cpp)
  into.transactions = static_cast<int>(transactions);
}

}  // namespace

RangeShare::RangeShare(std::vector<FilePiece> pieces) : pieces_(std::move(pieces)), lines_(pieces_.size(), 0) {
  for (const FilePiece& p : pieces_) {
    const int fd = ::open(p.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      for (const RangePlan& plan : plans_) ::close(plan.source.fd);  // no destructor runs
      throw RunError(kExitFile, p.path + " could not be opened!");
    }
    plans_.push_back({{fd, static_cast<std::uint64_t>(p.begin), static_cast<std::uint64_t>(p.end)}, {}, {}});
  }
}

RangeShare::~RangeShare() {
  for (const RangePlan& plan : plans_) ::close(plan.source.fd);
}

ItemCounts RangeShare::count(const Tuning& tuning, int threads, Progress* progress) {
  ItemCounts all;
  bool letters = false;  // a piece without ids holds letters
  for (std::size_t p = 0; p < pieces_.size(); ++p) {
    // The piece's file as a reader, one piece at a time: its name for the
    // messages, and what the ranges found for the hint about words.
    Data file(pieces_[p].path.c_str());
    ItemCounts c = count_items_in_ranges(file, plans_[p].source, tuning, threads,
                                         PassProgress{progress, Progress::Phase::reading, 0}, StopFlag{}, nullptr);
    lines_[p] = c.transactions;
    has_ids_ = has_ids_ || file.has_ids();
    letters = letters || file.words_without_ids();
    plans_[p].ranges = std::move(c.plan->ranges);
    plans_[p].digests = std::move(c.plan->digests);
    c.plan.reset();
    if (p == 0)
      all = std::move(c);
    else
      add_counts(all, c);
  }
  words_without_ids_ = letters && !has_ids_;
  return all;
}

}  // namespace zub
