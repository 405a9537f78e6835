#include "common/threads.h"
#include "trees/range_passes.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>

#include "common/run_error.h"
#include "io/data.h"

namespace zub {

namespace {

// Marks a large id as already counted in the line of `marked_line`.
constexpr std::uint32_t kSeen = 0x80000000u;

// One thread's counts: ids below kDenseIds in an array (mapped zero pages,
// so only the pages of ids read cost memory: calloc may clear all 8 MiB by
// hand once it reuses freed memory), each with the number of the line that
// counted it last, so that an id repeated in a line counts once at the cost
// of one comparison; larger ids in a table, marked while their line is read
// (the marks are cleared when a large id of a later line comes).
struct alignas(kCacheLine) CountShare {
  struct Cell {
    std::uint32_t count;
    std::uint32_t line;
  };
  struct Unmap {
    void operator()(Cell* p) const { munmap(p, kBytes); }
  };
  static constexpr std::size_t kBytes = std::size_t{kDenseIds} * sizeof(Cell);
  static Cell* map_cells() {
    void* p = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<Cell*>(p);
  }
  std::unique_ptr<Cell[], Unmap> dense{map_cells()};
  IdTable large;
  std::vector<int> marked;  // the large ids counted in marked_line
  std::uint64_t marked_line = 0;

  [[gnu::noinline]] void count_large(int x, std::uint64_t line) {
    if (line != marked_line) {
      unmark();
      marked_line = line;
    }
    std::uint32_t& n = large.at(x);
    if ((n & kSeen) == 0) {
      n = (n + 1) | kSeen;
      marked.push_back(x);
    }
  }
  void unmark() {
    for (int x : marked) large.at(x) &= ~kSeen;
    marked.clear();
  }
  // The line numbers start again at 1, the current line's (`line`) marks
  // kept: a line may go on across the restart.
  [[gnu::noinline]] std::uint64_t restart(std::uint64_t line) {
    const auto current = static_cast<std::uint32_t>(line);
    Cell* cells = dense.get();
    // Only cells counted are written: a page of ids never read stays unmapped.
    for (std::size_t x = 0; x < kDenseIds; ++x)
      if (cells[x].line != 0) cells[x].line = cells[x].line == current ? 1 : 0;
    if (marked_line != line) unmark();
    marked_line = 1;
    return 1;
  }
};

// The reader's sink over a CountShare: what counting an id touches, held by
// value, so that the reader's loop keeps it in registers (RangeReader::
// read_lines copies its sink while it reads a block). It takes ids line by
// line (id, end) or with their lines' offsets (id_at, ended).
struct Counter {
  CountShare::Cell* cells;
  CountShare* share;
  std::uint64_t restart_at;  // Tuning::count_line_restart
  std::uint64_t line = 1;    // the current line's number

  void id(int x) { count(x, line); }
  void end() { advance(1); }
  void id_at(int x, long long k) { count(x, line + static_cast<std::uint64_t>(k)); }
  bool ended(long long n) {
    advance(static_cast<std::uint64_t>(n));
    return true;
  }
  // An id of line `at`; counted once in the line.
  void count(int x, std::uint64_t at) {
    if (static_cast<unsigned>(x) < unsigned(kDenseIds)) [[likely]] {
      CountShare::Cell& c = cells[x];
      if (c.line != static_cast<std::uint32_t>(at)) {
        c.line = static_cast<std::uint32_t>(at);
        ++c.count;
      }
      return;
    }
    share->count_large(x, at);
  }
  void advance(std::uint64_t n) {
    line += n;
    if (line >= restart_at) [[unlikely]]
      line = share->restart(line);
  }
};

// The shares' counts added up. The ids below 10000 and the others ORed
// (RangeRead::long_id_bits) bound the ids read: the merge reads no page of
// larger ids (each read would map one).
ItemCounts merge(std::vector<CountShare>& shares, const std::vector<RangeOutcome>& outcomes) {
  ItemCounts c;
  std::uint64_t bits = 9999;  // every id of up to four digits
  for (const RangeOutcome& o : outcomes) bits |= o.read.long_id_bits;
  // A bound on the dense ids counted, then one past the largest.
  int dense_ids = static_cast<int>(std::min<std::uint64_t>(std::bit_ceil(bits + 1), kDenseIds));
  c.dense.reset(static_cast<std::uint32_t*>(std::calloc(static_cast<std::size_t>(dense_ids), sizeof(std::uint32_t))));
  if (c.dense == nullptr) fail_memory();
  int largest = -1;
  for (std::size_t w = 0; w < shares.size(); ++w) {
    CountShare& s = shares[w];
    s.unmark();
    for (std::size_t x = 0; x < static_cast<std::size_t>(dense_ids); ++x) c.dense.get()[x] += s.dense[x].count;
    s.large.for_each([&](int x, std::uint32_t n) {
      c.large.at(x) += n;
      largest = std::max(largest, x);
    });
    s.dense.reset();
    s.large = IdTable();
  }
  while (dense_ids > 0 && c.dense.get()[dense_ids - 1] == 0) --dense_ids;
  c.dense_ids = dense_ids;
  c.largest = std::max(largest, dense_ids - 1);
  return c;
}

}  // namespace

void check_ranges(const std::string& name, const std::vector<RangeOutcome>& outcomes,
                  const std::vector<PassDigest>* digests) {
  long long before = 0;  // the lines of the ranges before
  for (const RangeOutcome& o : outcomes) {
    if (o.read.failure != RangeRead::Failure::none) {
      const long long line = before + o.read.failed_line;
      if (line > INT_MAX + 1LL) break;  // one stream stops at the count of transactions first
      if (o.read.failure == RangeRead::Failure::io) throw RunError(kExitFile, name + " could not be read!");
      throw RunError(kExitFile, name + ", line " + std::to_string(line) + ": item id is larger than 2147483647!");
    }
    before += o.read.lines;
    if (before > INT_MAX) break;
  }
  if (before > INT_MAX) throw RunError(kExitFile, name + " has more than 2147483647 transactions!");
  if (digests == nullptr) return;
  // Lines appended since the first pass lie behind its last range and are
  // not read; any other change would make itemsets of neither version.
  for (std::size_t r = 0; r < outcomes.size(); ++r)
    if (!(outcomes[r].read.digest == (*digests)[r])) throw RunError(kExitFile, name + " changed while it was read!");
}

ItemCounts count_items_in_ranges(Data& data, const ByteSource& source, const Tuning& tuning, int threads,
                                 const PassProgress& report, StopFlag stop, ReadTimes* times) {
  RangePlan plan{source, split_ranges(source.begin, source.end, tuning.read_range_bytes), {}};
  const int workers = std::max(1, std::min<int>(threads, static_cast<int>(plan.ranges.size())));
  std::vector<CountShare> shares(static_cast<std::size_t>(workers));
  std::vector<Counter> counters;
  for (CountShare& s : shares) {
    if (s.dense == nullptr) fail_memory();
    counters.push_back({s.dense.get(), &s, std::min(tuning.count_line_restart, kLineRestartMost)});
  }
  const std::vector<RangeOutcome> outcomes =
      read_ranges(source, plan.ranges, workers, report, stop, tuning.masked_reading ? ReadLoop::masks : ReadLoop::bytes,
                  [&counters](int worker) -> Counter& { return counters[static_cast<std::size_t>(worker)]; });
  check_ranges(data.name(), outcomes, nullptr);
  const double started = thread_seconds();
  ItemCounts c = merge(shares, outcomes);
  const bool any_id = c.dense_ids > 0 || c.large.size() > 0;
  for (const RangeOutcome& o : outcomes) {
    c.transactions += static_cast<int>(o.read.lines);
    plan.digests.push_back(o.read.digest);
  }
  // A file without a single id: whether it held words, for the caller's hint.
  data.note_read_in_ranges(any_id, !any_id && RangeReader(source.fd).has_letters({source.begin, source.end}));
  if (times != nullptr) {
    times->merge = thread_seconds() - started;
    times->count.clear();
    for (const RangeOutcome& o : outcomes) times->count.push_back(o.seconds);
  }
  c.plan = std::move(plan);
  return c;
}

}  // namespace zub
