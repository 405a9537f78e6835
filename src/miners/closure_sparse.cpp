// The closure miner's sparse levels: occurrence delivery over weighted
// transactions, each candidate's closure counted over its occurrences, and
// the child's database built from them, reduced and merged.
#include <algorithm>

#include "miners/closure_miner.h"
#include "miners/workspace.h"

namespace zub {

namespace {

template <class T>
void reserve_more(std::vector<T>& v, std::size_t more) {
  if (v.capacity() - v.size() < more) v.reserve(std::max(v.capacity() * 2, v.size() + more));
}

}  // namespace

void ClosureWorker::make_room(std::size_t items, std::size_t txs) {
  reserve_more(items_, items);
  reserve_more(txs_, txs);
}

void ClosureWorker::clear_counts() {
  for (int j : touched_) count_[static_cast<std::size_t>(j)] = 0;
  touched_.clear();
}

// Counts every rank over e's transactions. False, with the counts left for
// clear_counts, when a rank below e is in all of them; otherwise pushes e and
// the ranks above it that are in all of them: the closure.
bool ClosureWorker::count_closure(const Source& src, const ClosedCandidate& e) {
  int* count = count_.data();
  // Every rank is written at the end of the list, which grows by one when
  // the rank is new: no branch to mispredict.
  int* fresh = fresh_.data();
  int n = 0;
  const int* occ = src.occ + e.occ;
  for (int i = 0; i < e.n; ++i) {
    src.prefetch(occ, i, e.n);
    const ClosedTx& t = src.txs[occ[i]];
    const int* p = src.items + t.off;
    for (int k = 0; k < t.size; ++k) {
      const int j = p[k];
      fresh[n] = j;
      n += count[j] == 0;
      count[j] += t.weight;
    }
  }
  touched_.assign(fresh, fresh + n);
  for (int j : touched_)
    if (count[j] == e.support && j < e.rank) return false;
  push_set(e.rank);
  for (int j : touched_)
    if (count[j] == e.support && j > e.rank) push_set(j);
  return true;
}

void ClosureWorker::extend_sparse(const Source& src, const ClosedCandidate& e) {
  ws_.settings.stop.check();
  ws_.tick();
  const int len = set_len_;
  const bool child = count_closure(src, e);
  if (child && set_len_ <= max_len_) {
    write_set(e.support);
    if (set_len_ < max_len_) {
      const std::size_t items_mark = items_.size();
      const int tx_begin = static_cast<int>(txs_.size());
      build_child(src, e);
      clear_counts();
      const int tx_end = static_cast<int>(txs_.size());
      if (tx_end > tx_begin) {
        ++ws_.trees.counters.projections;
        long long occurrences = 0;
        for (int t = tx_begin; t < tx_end; ++t) occurrences += txs_[static_cast<std::size_t>(t)].size;
        if (choose_representation(tuning_, tx_end - tx_begin, child_items_, occurrences) == Representation::dense)
          make_dense(tx_begin, tx_end, e.rank);
        else
          mine_sparse(tx_begin, tx_end);
      }
      txs_.resize(static_cast<std::size_t>(tx_begin));
      items_.resize(items_mark);
    }
  }
  clear_counts();
  set_len_ = len;
}

// The child's transactions: of each of e's, the frequent ranks above e that
// are not in the closure (none: the transaction goes), then its blockers and
// its ranks below e that are frequent. Counts are those of count_closure.
void ClosureWorker::build_child(const Source& src, const ClosedCandidate& e) {
  const int* count = count_.data();
  const int th = threshold_;
  const int s = e.support;
  child_items_ = 0;
  for (int j : touched_) child_items_ += count[j] >= th && count[j] != s;
  merging_ = e.n >= tuning_.closed_merge_min_transactions;
  if (merging_) {
    std::size_t size = 16;
    while (size < 2 * static_cast<std::size_t>(e.n)) size *= 2;
    if (table_tx_.size() < size) {
      table_tx_.assign(size, 0);
      table_stamp_.assign(size, 0);
      stamp_ = 0;
    }
    if (++stamp_ == 0) {
      std::fill(table_stamp_.begin(), table_stamp_.end(), 0u);
      stamp_ = 1;
    }
    table_mask_ = size - 1;
  }
  const int* occ = src.occ + e.occ;
  for (int i = 0; i < e.n; ++i) {
    src.prefetch(occ, i, e.n);
    const ClosedTx& t = src.txs[occ[i]];
    const int* p = src.items + t.off;
    const int off = static_cast<int>(items_.size());
    // make_room left room for the whole transaction: each rank is written
    // and kept by moving on, without a branch.
    items_.resize(items_.size() + static_cast<std::size_t>(t.size));
    int* const out = items_.data() + off;
    int m = 0;
    int split = 0;
    while (p[split] < e.rank) ++split;  // e is among the ranks above the core
    for (int k = split + 1; k < t.above; ++k) {
      out[m] = p[k];
      m += count[p[k]] >= th && count[p[k]] != s;
    }
    const int above = m;
    if (above == 0) {
      items_.resize(static_cast<std::size_t>(off));
      continue;
    }
    for (int k = t.above; k < t.size; ++k) {
      out[m] = p[k];
      m += count[p[k]] >= th;
    }
    for (int k = 0; k < split; ++k) {
      out[m] = p[k];
      m += count[p[k]] >= th;
    }
    items_.resize(static_cast<std::size_t>(off + m));
    txs_.push_back({off, above, m, t.weight});
    if (merging_) merge_or_keep(static_cast<int>(txs_.size()) - 1);
  }
}

// Merges the transaction just built into an earlier one of the child with
// the same ranks above the core (weights added, blockers intersected), or
// enters it into the table.
void ClosureWorker::merge_or_keep(int x) {
  ClosedTx& t = txs_[static_cast<std::size_t>(x)];
  int* const base = items_.data();
  const int* p = base + t.off;
  std::uint64_t h = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < t.above; ++k) h = (h ^ static_cast<std::uint64_t>(p[k])) * 0x100000001B3ull;
  std::size_t slot = static_cast<std::size_t>(h ^ (h >> 29)) & table_mask_;
  for (; table_stamp_[slot] == stamp_; slot = (slot + 1) & table_mask_) {
    ClosedTx& u = txs_[static_cast<std::size_t>(table_tx_[slot])];
    int* q = base + u.off;
    if (u.above != t.above || !std::equal(p, p + t.above, q)) continue;
    // Intersect the blockers in place.
    int* out = q + u.above;
    const int* a = out;
    const int* a_end = q + u.size;
    const int* b = p + t.above;
    const int* b_end = p + t.size;
    while (a != a_end && b != b_end) {
      if (*a < *b) {
        ++a;
      } else if (*b < *a) {
        ++b;
      } else {
        *out++ = *a++;
        ++b;
      }
    }
    u.size = static_cast<int>(out - q);
    u.weight += t.weight;
    items_.resize(static_cast<std::size_t>(t.off));
    txs_.pop_back();
    return;
  }
  table_stamp_[slot] = stamp_;
  table_tx_[slot] = x;
}

// Occurrence delivery: one pass gives every candidate's support, a second
// lists its transactions; the frequent candidates go to candidates_.
void ClosureWorker::deliver(int tx_begin, int tx_end) {
  int* count = count_.data();
  int* hits = hits_.data();
  int* fresh = fresh_.data();  // as in count_closure
  int n = 0;
  for (int x = tx_begin; x < tx_end; ++x) {
    const ClosedTx& t = txs_[static_cast<std::size_t>(x)];
    const int* p = items_.data() + t.off;
    for (int k = 0; k < t.above; ++k) {
      fresh[n] = p[k];
      n += count[p[k]] == 0;
      count[p[k]] += t.weight;
      ++hits[p[k]];
    }
  }
  touched_.assign(fresh, fresh + n);
  int total = static_cast<int>(occ_.size());
  for (int j : touched_) {
    if (count[j] >= threshold_) {
      slot_[static_cast<std::size_t>(j)] = static_cast<int>(candidates_.size()) + 1;
      candidates_.push_back({j, count[j], total, 0});
      total += hits[j];
    }
    count[j] = 0;
    hits[j] = 0;
  }
  touched_.clear();
  occ_.resize(static_cast<std::size_t>(total));
  for (int x = tx_begin; x < tx_end; ++x) {
    const ClosedTx& t = txs_[static_cast<std::size_t>(x)];
    const int* p = items_.data() + t.off;
    for (int k = 0; k < t.above; ++k) {
      const int c = slot_[static_cast<std::size_t>(p[k])] - 1;
      if (c < 0) continue;
      ClosedCandidate& cand = candidates_[static_cast<std::size_t>(c)];
      occ_[static_cast<std::size_t>(cand.occ + cand.n++)] = x;
    }
  }
}

void ClosureWorker::mine_sparse(int tx_begin, int tx_end) {
  const std::size_t cand_begin = candidates_.size();
  const std::size_t occ_begin = occ_.size();
  deliver(tx_begin, tx_end);
  for (std::size_t c = cand_begin; c < candidates_.size(); ++c)
    slot_[static_cast<std::size_t>(candidates_[c].rank)] = 0;
  std::size_t room = 0;
  for (int x = tx_begin; x < tx_end; ++x) room += static_cast<std::size_t>(txs_[static_cast<std::size_t>(x)].size);
  const std::size_t delivered = candidates_.size() - cand_begin;
  if (group_candidates(tuning_, static_cast<long long>(delivered), static_cast<long long>(room) / (tx_end - tx_begin)))
    candidates_.resize(cand_begin + repeated_.keep_lowest(&candidates_[cand_begin], delivered, occ_.data()));
  const std::size_t cand_end = candidates_.size();
  for (std::size_t c = cand_begin; c < cand_end; ++c) {
    make_room(room, static_cast<std::size_t>(tx_end - tx_begin));
    const Source src{items_.data(), txs_.data(), occ_.data()};
    const ClosedCandidate e = candidates_[c];
    extend_sparse(src, e);
  }
  candidates_.resize(cand_begin);
  occ_.resize(occ_begin);
}

}  // namespace zub
