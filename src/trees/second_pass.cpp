// The main FP-tree's second pass: the file read again (in its ranges on the
// run's threads, or as one stream), each transaction's frequent positions
// handed to its thread's share (trees/transaction_share.h), and the tree
// built from the shares: from their strings on the run's threads, or by
// merging their trees with child links.
#include <algorithm>

#include "common/run_error.h"
#include "common/threads.h"
#include "io/data.h"
#include "trees/fi_tree.h"
#include "trees/frequent_positions.h"
#include "trees/range_passes.h"
#include "trees/string_build.h"
#include "trees/transaction_share.h"
#include "trees/tree_merge.h"

namespace zub {

namespace {

// The second pass as one stream into `share`. Lines appended since the
// first pass are not read; any other change would make itemsets of neither
// version of the file.
void read_stream(Data* data, const ItemMap& items, const PassDigest& digest, TransactionShare& share,
                 int positions_count, Progress* progress, StopFlag stop) {
  constexpr long long kLook = 4096;  // lines between looks at the stop flag and the progress
  const long long transactions = digest.lines;
  Transaction tran(50);
  PassDigest read;
  FrequentPositions positions(items, positions_count);
  for (long long n = 0; n < transactions; ++n) {
    if (data->getNextTransaction(&tran) == nullptr) break;
    read.add(tran.items, tran.length);
    if (n % kLook == 0) {
      stop.check();
      if (progress != nullptr) progress->update(Progress::Phase::building, n, transactions, [] { return 0LL; });
    }
    const int k = positions.of(tran.items, tran.length);
    if (k > 0) share.add(positions.data(), k);
  }
  if (!(read == digest)) throw RunError(kExitFile, data->name() + " changed while it was read!");
}

// The second pass in the ranges of the first, a share per thread.
void read_in_ranges(Data* data, const ItemMap& items, const ItemCounts& counts,
                    std::vector<TransactionShare>& shares, int positions_count, Progress* progress, StopFlag stop,
                    ReadTimes* times) {
  const RangePlan& plan = *counts.plan;
  struct Collect {
    FrequentPositions* positions;
    TransactionShare* share;
    void id(int x) { positions->add(x); }
    void end() {
      const int k = positions->finish();
      if (k > 0) share->add(positions->data(), k);
    }
  };
  std::vector<FrequentPositions> positions;
  std::vector<Collect> sinks;
  for (std::size_t w = 0; w < shares.size(); ++w) positions.emplace_back(items, positions_count);
  for (std::size_t w = 0; w < shares.size(); ++w) sinks.push_back({&positions[w], &shares[w]});
  const std::vector<RangeOutcome> outcomes =
      // Byte by byte: with the masked loop, ending a transaction where the
      // line offset changes made this pass slower (1.50-1.56 s against
      // 1.66-1.78 s of processor time on 10 million generated baskets).
      read_ranges(plan.source, plan.ranges, static_cast<int>(shares.size()),
                  {progress, Progress::Phase::building, counts.transactions}, stop, ReadLoop::bytes,
                  [&sinks](int worker) -> Collect& { return sinks[static_cast<std::size_t>(worker)]; });
  check_ranges(data->name(), outcomes, &plan.digests);
  if (times != nullptr) {
    times->collect.clear();
    for (const RangeOutcome& o : outcomes) times->collect.push_back(o.seconds);
  }
}

}  // namespace

void FI_tree::scan2_DB(Data* data, const ItemMap& items, const ItemCounts& counts, int threads, Progress* progress,
                       StopFlag stop, ReadTimes* times) {
  const int readers =
      counts.plan ? std::max(1, std::min<int>(threads, static_cast<int>(counts.plan->ranges.size()))) : 1;
  std::vector<TransactionShare> shares;
  shares.reserve(static_cast<std::size_t>(readers));
  for (int w = 0; w < readers; ++w) shares.emplace_back(*this);
  if (counts.plan)
    read_in_ranges(data, items, counts, shares, num_items_, progress, stop, times);
  else
    read_stream(data, items, counts.digest, shares.front(), num_items_, progress, stop);
  // The reader's block (or a pipe's recording) is not needed for the build.
  data->close();
  build_from_shares(shares, threads, stop, times, progress, counts.transactions);
}

void FI_tree::build_from_shares(std::vector<TransactionShare>& shares, int threads, StopFlag stop,
                                ReadTimes* times, Progress* progress, long long transactions) {
  const int readers = static_cast<int>(shares.size());
  ZeroedArray<int>& depth_nodes = scratch_->build.depth_nodes;
  if (std::any_of(shares.begin(), shares.end(), [](const TransactionShare& s) { return s.has_tree(); })) {
    // Dense data: every share becomes a tree, and the trees are merged.
    for_each_thread(readers, [&](int w) { shares[static_cast<std::size_t>(w)].tree().finish(); });
    std::vector<const FI_tree*> trees;
    for (TransactionShare& s : shares) trees.push_back(&s.tree().tree());
    merge_link_trees(trees, *this, depth_nodes);
  } else {
    std::vector<TransactionStrings> strings;
    for (TransactionShare& s : shares) strings.push_back(std::move(s.strings()));
    shares.clear();
    build_from_strings(*this, strings, threads, settings_->tuning, depth_nodes, stop, times, progress,
                       transactions);
  }
  child_links_ = false;
  cal_level_25();
}

}  // namespace zub
