// The closure miner's root, its workers' set-up and the order of its units.
#include <algorithm>

#include "miners/closure_miner.h"
#include "miners/workspace.h"
#include "miners/recorder.h"

namespace zub {

Representation choose_representation(const Tuning& tuning, int transactions, int items, long long occurrences) {
  if (transactions > tuning.closed_dense_max_transactions) return Representation::sparse;
  const long long cells = static_cast<long long>(transactions) * items;
  return occurrences * 100 >= cells * tuning.closed_dense_min_fill ? Representation::dense : Representation::sparse;
}

ClosureRoot::ClosureRoot(ClosedInput input, int threshold, const Tuning& tuning)
    : ClosureRoot(std::move(input), threshold, tuning, {}) {}

ClosureRoot::ClosureRoot(ClosedInput input, int threshold, const Tuning& tuning, const std::vector<int>& supports)
    : position(std::move(input.position)), support(input.transactions), full_support(input.full_support) {
  const std::size_t f = position.size();
  std::vector<int> supp(f, 0), hits(f, 0);
  for (const ClosedTx& t : input.txs)
    for (int k = 0; k < t.size; ++k) {
      const auto j = static_cast<std::size_t>(input.items[static_cast<std::size_t>(t.off + k)]);
      supp[j] += t.weight;
      ++hits[j];
    }
  if (!supports.empty()) supp = supports;
  // The closure of the empty set leaves the database, and so do the
  // infrequent items (none when the threshold is the run's own).
  std::vector<int> slot(f, -1);
  int occ_total = 0;
  for (std::size_t j = 0; j < f; ++j) {
    if (support > 0 && supp[j] == support) {
      closure.push_back(static_cast<int>(j));
    } else if (supp[j] >= threshold) {
      slot[j] = static_cast<int>(candidates.size());
      candidates.push_back({static_cast<int>(j), supp[j], occ_total, 0});
      occ_total += hits[j];
    }
  }
  occ.resize(static_cast<std::size_t>(occ_total));
  // The input's arrays, filtered in place, become the root's.
  std::size_t kept = 0, kept_txs = 0;
  for (const ClosedTx& t : input.txs) {
    const int off = static_cast<int>(kept);
    for (int k = 0; k < t.size; ++k) {
      const int j = input.items[static_cast<std::size_t>(t.off + k)];
      const int c = slot[static_cast<std::size_t>(j)];
      if (c < 0) continue;
      input.items[kept++] = j;
      ClosedCandidate& cand = candidates[static_cast<std::size_t>(c)];
      occ[static_cast<std::size_t>(cand.occ + cand.n++)] = static_cast<int>(kept_txs);
    }
    const int size = static_cast<int>(kept) - off;
    if (size > 0) input.txs[kept_txs++] = {off, size, size, t.weight};
  }
  input.items.resize(kept);
  input.txs.resize(kept_txs);
  items = std::move(input.items);
  txs = std::move(input.txs);
  const long long length = txs.empty() ? 0 : static_cast<long long>(items.size() / txs.size());
  if (group_candidates(tuning, static_cast<long long>(candidates.size()), length)) {
    if (supports.empty())
      candidates.resize(RepeatedCandidates().keep_lowest(candidates.data(), candidates.size(), occ.data()));
    else
      repeated = RepeatedCandidates().repeated(candidates.data(), candidates.size(), occ.data());
  }
}

ClosureWorker::ClosureWorker(Workspace& ws, const ClosureRoot& root, int threshold, int max_len,
                             const Tuning& tuning)
    : ws_(ws), root_(root), threshold_(threshold), max_len_(max_len), tuning_(tuning) {
  const std::size_t f = root.position.size();
  set_ = ZeroedArray<int>(f + 1);
  count_ = ZeroedArray<int>(f);
  hits_ = ZeroedArray<int>(f);
  slot_ = ZeroedArray<int>(f);
  fresh_ = ZeroedArray<int>(f + 1);
  for (int r : root.closure) push_set(r);
  base_len_ = set_len_;
}

void ClosureWorker::write_set(int support) { ws_.recorder.found(set_.data(), set_len_, support); }

void ClosureWorker::write_root() {
  if (base_len_ > 0 && base_len_ <= max_len_) write_set(root_.support);
}

void ClosureWorker::mine_unit(int k) {
  if (base_len_ >= max_len_) return;  // every child is longer than the limit
  if (!root_.repeated.empty() && root_.repeated[static_cast<std::size_t>(k)] != 0) return;
  set_len_ = base_len_;
  make_room(root_.items.size(), root_.txs.size());
  const Source src{root_.items.data(), root_.txs.data(), root_.occ.data()};
  extend_sparse(src, root_.candidates[static_cast<std::size_t>(k)]);
}

std::vector<int> unit_order(const ClosureRoot& root) {
  const std::size_t units = root.candidates.size();
  std::vector<long long> volume(units, 0);
  for (std::size_t k = 0; k < units; ++k) {
    const ClosedCandidate& e = root.candidates[k];
    for (int i = 0; i < e.n; ++i) {
      const ClosedTx& t = root.txs[static_cast<std::size_t>(root.occ[static_cast<std::size_t>(e.occ + i)])];
      const int* p = root.items.data() + t.off;
      volume[k] += p + t.size - std::upper_bound(p, p + t.size, e.rank);
    }
  }
  std::vector<int> order(units);
  for (std::size_t k = 0; k < units; ++k) order[k] = static_cast<int>(k);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return volume[static_cast<std::size_t>(a)] > volume[static_cast<std::size_t>(b)];
  });
  return order;
}

}  // namespace zub
