// The closure miner's dense levels: a row of transaction bits per rank, 64
// transactions a word. Weights are bit planes (plane b holds the
// transactions whose weight has bit b), so that a row's support is the sum
// of its popcounts against each plane, shifted by b; with all weights 1 it
// is the popcount alone. A closure is a subset test of rows, which needs no
// weights. A child keeps only the words where its candidate has bits.
#include <algorithm>
#include <bit>

#include "miners/closure_miner.h"
#include "miners/workspace.h"

namespace zub {

namespace {

inline __attribute__((always_inline)) int weight_of(const std::uint64_t* row, const std::uint64_t* planes,
                                                    int words, int nplanes) {
  long long sum = 0;
  if (nplanes == 1) {
    for (int i = 0; i < words; ++i) sum += std::popcount(row[i]);
    return static_cast<int>(sum);
  }
  for (int b = 0; b < nplanes; ++b) {
    const std::uint64_t* plane = planes + static_cast<std::size_t>(b) * static_cast<std::size_t>(words);
    long long bits = 0;
    for (int i = 0; i < words; ++i) bits += std::popcount(row[i] & plane[i]);
    sum += bits << b;
  }
  return static_cast<int>(sum);
}

#if defined(__x86_64__)
// The same with the processor's popcount instruction, where it has one: the
// portable build would count bits in software.
__attribute__((target("popcnt"))) int weight_popcnt(const std::uint64_t* row, const std::uint64_t* planes,
                                                    int words, int nplanes) {
  return weight_of(row, planes, words, nplanes);
}
const bool kPopcnt = __builtin_cpu_supports("popcnt");
#endif

}  // namespace

int ClosureWorker::weight(const std::uint64_t* row, const std::uint64_t* planes, int words, int nplanes) const {
#if defined(__x86_64__)
  if (kPopcnt) return weight_popcnt(row, planes, words, nplanes);
#endif
  return weight_of(row, planes, words, nplanes);
}

// The sparse level's transactions [tx_begin, tx_end) as rows, mined dense.
void ClosureWorker::make_dense(int tx_begin, int tx_end, int core) {
  const int m = tx_end - tx_begin;
  const int words = (m + 63) / 64;
  int heaviest = 0;
  touched_.clear();
  for (int x = tx_begin; x < tx_end; ++x) {
    const ClosedTx& t = txs_[static_cast<std::size_t>(x)];
    heaviest = std::max(heaviest, t.weight);
    for (int k = 0; k < t.size; ++k) {
      const int j = items_[static_cast<std::size_t>(t.off + k)];
      if (slot_[static_cast<std::size_t>(j)] == 0) {
        slot_[static_cast<std::size_t>(j)] = static_cast<int>(touched_.size()) + 1;
        touched_.push_back(j);
      }
    }
  }
  const int nplanes = std::bit_width(static_cast<unsigned>(heaviest));
  const int n_rows = static_cast<int>(touched_.size());
  const std::size_t off = bits_.size();
  const std::size_t w = static_cast<std::size_t>(words);
  bits_.resize(off + static_cast<std::size_t>(nplanes + n_rows) * w, 0);
  std::uint64_t* planes = bits_.data() + off;
  std::uint64_t* rows = planes + static_cast<std::size_t>(nplanes) * w;
  const int rows_begin = static_cast<int>(rows_.size());
  for (int r = 0; r < n_rows; ++r)
    rows_.push_back({off + (nplanes + r) * w, touched_[static_cast<std::size_t>(r)], false});
  for (int x = tx_begin; x < tx_end; ++x) {
    const ClosedTx& t = txs_[static_cast<std::size_t>(x)];
    const std::size_t i = static_cast<std::size_t>(x - tx_begin);
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    for (int b = 0; b < nplanes; ++b)
      if ((t.weight >> b) & 1) planes[static_cast<std::size_t>(b) * w + i / 64] |= bit;
    for (int k = 0; k < t.size; ++k) {
      const int j = items_[static_cast<std::size_t>(t.off + k)];
      rows[static_cast<std::size_t>(slot_[static_cast<std::size_t>(j)] - 1) * w + i / 64] |= bit;
    }
  }
  for (int j : touched_) slot_[static_cast<std::size_t>(j)] = 0;
  touched_.clear();
  const DenseLevel level{words, nplanes, off, rows_begin, static_cast<int>(rows_.size())};
  mine_dense(level, core);
  rows_.resize(static_cast<std::size_t>(rows_begin));
  bits_.resize(off);
}

void ClosureWorker::mine_dense(const DenseLevel& level, int core) {
  // Only a level of enough rows could have enough candidates to group.
  const long long rows = level.rows_end - level.rows_begin;
  const bool grouped = group_candidates(tuning_, rows, rows) && group_dense(level, core);
  for (int k = level.rows_begin; k < level.rows_end; ++k) {
    const DenseRow& row = rows_[static_cast<std::size_t>(k)];
    if (row.rank > core && (row.lowest || !grouped)) extend_dense(level, k);
  }
}

bool ClosureWorker::group_dense(const DenseLevel& level, int core) {
  DenseRow* rows = rows_.data() + level.rows_begin;
  const std::size_t n = static_cast<std::size_t>(level.rows_end - level.rows_begin);
  long long candidates = 0;
  for (std::size_t k = 0; k < n; ++k) candidates += rows[k].rank > core;
  if (!group_candidates(tuning_, candidates, static_cast<long long>(n))) return false;
  const std::uint64_t* bits = bits_.data();
  const std::size_t w = static_cast<std::size_t>(level.words);
  repeated_.group(
      n,
      [&](std::size_t k) {
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (std::size_t i = 0; i < w; ++i) h = (h ^ bits[rows[k].off + i]) * 0x100000001B3ull;
        return h;
      },
      [&](std::size_t a, std::size_t b) {
        return std::equal(bits + rows[a].off, bits + rows[a].off + w, bits + rows[b].off);
      },
      [&](std::size_t k) { return rows[k].rank; });
  for (std::size_t k = 0; k < n; ++k) rows[k].lowest = repeated_.lowest(k);
  return true;
}

void ClosureWorker::extend_dense(const DenseLevel& level, int k) {
  ws_.settings.stop.check();
  ws_.tick();
  const std::size_t w = static_cast<std::size_t>(level.words);
  const std::size_t n_rows = static_cast<std::size_t>(level.rows_end - level.rows_begin);
  if (bits_.capacity() - bits_.size() < (static_cast<std::size_t>(level.planes) + n_rows) * w)
    bits_.reserve(std::max(bits_.capacity() * 2, bits_.size() + (level.planes + n_rows) * w));
  if (rows_.capacity() - rows_.size() < n_rows) rows_.reserve(std::max(rows_.capacity() * 2, rows_.size() + n_rows));
  const DenseRow e = rows_[static_cast<std::size_t>(k)];
  const std::uint64_t* planes = bits_.data() + level.off;
  const std::uint64_t* re = bits_.data() + e.off;
  const int support = weight(re, planes, level.words, level.planes);
  if (support < threshold_) return;
  // A rank below e whose row holds e's: not a child.
  for (int r = level.rows_begin; r < level.rows_end; ++r) {
    const DenseRow& j = rows_[static_cast<std::size_t>(r)];
    if (j.rank >= e.rank) continue;
    const std::uint64_t* rj = bits_.data() + j.off;
    std::size_t i = 0;
    while (i < w && (re[i] & ~rj[i]) == 0) ++i;
    if (i == w) return;
  }
  words_.clear();
  for (std::size_t i = 0; i < w; ++i)
    if (re[i] != 0) words_.push_back(static_cast<int>(i));
  const std::size_t cw = words_.size();
  const int len = set_len_;
  push_set(e.rank);
  // The child: planes and rows on e's words, closure ranks to the set,
  // infrequent ranks dropped.
  const std::size_t off = bits_.size();
  bits_.resize(off + (static_cast<std::size_t>(level.planes) + n_rows) * cw);
  std::uint64_t* out = bits_.data() + off;
  for (int b = 0; b < level.planes; ++b)
    for (std::size_t i = 0; i < cw; ++i) *out++ = planes[static_cast<std::size_t>(b) * w + words_[i]];
  const std::uint64_t* child_planes = bits_.data() + off;
  const int rows_begin = static_cast<int>(rows_.size());
  bool candidates = false;
  for (int r = level.rows_begin; r < level.rows_end; ++r) {
    const DenseRow& j = rows_[static_cast<std::size_t>(r)];
    if (r == k) continue;
    const std::uint64_t* rj = bits_.data() + j.off;
    std::uint64_t missing = 0, any = 0;
    for (std::size_t i = 0; i < cw; ++i) {
      const std::size_t wi = static_cast<std::size_t>(words_[i]);
      out[i] = rj[wi] & re[wi];
      missing |= out[i] ^ re[wi];
      any |= out[i];
    }
    if (missing == 0) {
      push_set(j.rank);
      continue;
    }
    // A blocker is only tested for holding a later candidate's row: it
    // stays unless it is empty. A candidate stays when it is frequent.
    if (any == 0) continue;
    if (j.rank > e.rank && weight(out, child_planes, static_cast<int>(cw), level.planes) < threshold_) continue;
    rows_.push_back({static_cast<std::size_t>(out - bits_.data()), j.rank, false});
    candidates = candidates || j.rank > e.rank;
    out += cw;
  }
  if (set_len_ <= max_len_) {
    write_set(support);
    if (candidates && set_len_ < max_len_) {
      bits_.resize(static_cast<std::size_t>(out - bits_.data()));
      ++ws_.trees.counters.projections;
      mine_dense({static_cast<int>(cw), level.planes, off, rows_begin, static_cast<int>(rows_.size())}, e.rank);
    }
  }
  rows_.resize(static_cast<std::size_t>(rows_begin));
  bits_.resize(off);
  set_len_ = len;
}

}  // namespace zub
