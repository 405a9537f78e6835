// The main tree read and built on several threads: whatever the threads
// (1 to 8), the ranges the file is cut into (down to a byte), the build
// (strings in units down to a byte, trees with child links in batches down
// to one position, or the automatic choice looking early) and the input (a
// file in ranges, or a pipe read as one stream), the tree is the trie of
// the transactions, numbered depth first, node for node the same, with the
// same pair counts and level statistics; the miners on it agree with the
// brute force for every target. A file changed between the passes, an id
// too large and a set stop flag end the reading as one stream ends it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <random>

#include "common/run_error.h"
#include "io/callback_sink.h"
#include "support/brute_force.h"
#include "support/prepared.h"
#include "support/random_db.h"
#include "support/reading.h"
#include "support/tree_checks.h"
#include "trees/range_passes.h"

namespace zub {
namespace {

using namespace zub::test;

constexpr std::uint32_t kDatabases = databases(48, 12);

// A way to read and build, derived from a number.
struct Reading {
  int threads;
  Tuning tuning;
  std::string describe() const {
    static const char* kBuilds[] = {"automatic", "strings", "link trees"};
    return std::to_string(threads) + " threads, ranges of " + std::to_string(tuning.read_range_bytes) +
           " bytes, " + (tuning.masked_reading ? "masks, " : "bytes, ") + "restart at line " +
           std::to_string(tuning.count_line_restart) + ", " + kBuilds[static_cast<int>(tuning.main_build)] + ", units of " +
           std::to_string(tuning.build_unit_bytes) + ", batches of " + std::to_string(tuning.build_batch_positions) + ", radix sort from " +
           std::to_string(tuning.radix_sort_least) + " strings";
  }
};

Reading reading(std::uint32_t k) {
  Reading r{1 + static_cast<int>(k % 8), {}};
  const std::size_t ranges[] = {1, 3, 16, 200, std::size_t(4) << 20};
  r.tuning.read_range_bytes = ranges[k / 8 % 5];
  r.tuning.masked_reading = k / 3 % 2 == 0;
  r.tuning.count_line_restart = k % 7 == 0 ? 10 + k % 13 : kLineRestartMost;  // line numbers start again
  r.tuning.main_build = static_cast<MainBuild>(k % 3);
  r.tuning.build_unit_bytes = k % 4 == 0 ? 1 : k % 4 == 1 ? 24 : std::size_t(1) << 20;
  r.tuning.build_batch_positions = k % 5 == 0 ? 1 : 7;
  r.tuning.radix_sort_least = k / 2 % 2 == 0 ? 2 : std::size_t(1) << 30;  // units sorted by radix or by comparisons
  r.tuning.link_tree_check_bytes = 40;
  return r;
}

// The main tree as numbers: each node's item, count and parent from the
// root on; then every pair count, and the level statistic.
struct TreeImage {
  std::vector<long long> numbers;
  bool operator==(const TreeImage&) const = default;
};

TreeImage image(const FI_tree& t) {
  TreeImage i;
  for (NodeRef r = t.root_ref(); r < t.store().mark(); ++r)
    i.numbers.insert(i.numbers.end(), {t.node(r)->item, t.node(r)->count, t.node(r)->parent});
  if (t.has_pair_counts())
    for (int a = 1; a < t.num_items(); ++a)
      for (int b = 0; b < a; ++b) i.numbers.push_back(t.pair_count(b, a));
  const double level = t.level_25_percent();
  i.numbers.push_back(level == level ? static_cast<long long>(level * 1e6) : -1);
  return i;
}

// The pairs of frequent positions, counted from the transactions.
void expect_pair_counts(const FI_tree& t, const Database& db, const ItemMap& items) {
  if (!t.has_pair_counts()) return;
  std::vector<std::vector<int>> pairs(static_cast<std::size_t>(t.num_items()), std::vector<int>(static_cast<std::size_t>(t.num_items()), 0));
  std::map<int, int> position;  // of each frequent file id (a run keeps only the way from positions)
  for (int q = 0; q < items.frequent(); ++q) position[items.file_id[static_cast<std::size_t>(q)]] = q;
  for (const auto& tr : db) {
    std::vector<int> p;
    for (int x : tr)
      if (position.count(x) != 0) p.push_back(position[x]);
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    for (std::size_t a = 0; a < p.size(); ++a)
      for (std::size_t b = 0; b < a; ++b) ++pairs[static_cast<std::size_t>(p[a])][static_cast<std::size_t>(p[b])];
  }
  for (int a = 1; a < t.num_items(); ++a)
    for (int b = 0; b < a; ++b)
      ASSERT_EQ(t.pair_count(b, a), pairs[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)]) << b << ", " << a;
}

// A database text with CR LF line ends, and no line feed at its end.
std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

TEST(ParallelRead, EveryReadingAndBuildGivesTheSameTree) {
  for (std::uint32_t seed = 1; seed <= kDatabases; ++seed) {
    const RandomDb db = random_db(seed, seed % 3 == 0, true);
    const std::string text = seed % 4 == 1 ? with_crlf(db.text) : db.text;
    TempDir dir;
    dir.write("db", text);
    const int minsup = 1 + static_cast<int>(seed % 3);
    TreeImage first;
    for (std::uint32_t k = 0; k < 12; ++k) {
      const Reading r = reading(seed * 12 + k);
      SCOPED_TRACE("seed " + std::to_string(seed) + ", " + r.describe());
      RunRequest req = request(minsup, MiningTarget::maximal, r.tuning);
      req.threads = r.threads;
      zub::Run run(req);
      if (k == 11) {  // a pipe, read as one stream
        through_pipe(dir.file("db"), [&](Data& data) { run.read(data); });
      } else {
        Data data(dir.file("db").c_str());
        run.read(data);
      }
      FI_tree& t = run.main_tree();
      ASSERT_FALSE(t.child_links());
      const TreeImage i = image(t);
      if (k == 0) {
        first = i;
        ASSERT_NO_FATAL_FAILURE(expect_pair_counts(t, db.transactions, run.items()));
        t.make_chains();
        ASSERT_NO_FATAL_FAILURE(expect_tree(t, trie_of(db.transactions, run.items())));
        for (NodeRef n = t.root_ref() + 1; n < t.store().mark(); ++n)
          ASSERT_LT(t.node(n)->parent, n) << "numbered depth first: a parent before its children";
      } else {
        ASSERT_TRUE(i == first) << "another numbering, count or pair count";
      }
    }
  }
}

// Every target and method on the tree of any reading, against the brute force.
TEST(ParallelRead, MinersAgreeWithBruteForceWhateverTheReading) {
  for (std::uint32_t seed = 100; seed < 100 + kDatabases; ++seed) {
    const bool wide = seed % 4 == 0;
    const RandomDb db = random_db(seed, wide);
    TempDir dir;
    dir.write("db", db.text);
    const int n = static_cast<int>(db.transactions.size());
    const int minsup = wide ? std::max(2, n / 40) : 1 + static_cast<int>(seed % 3);
    const Mined frequent = all_frequent(db.transactions, minsup);
    const Mined expected[] = {maximal_of(frequent), maximal_of(frequent), closed_of(frequent), closed_of(frequent),
                              frequent};
    for (int job = 0; job < 5; ++job) {
      const Reading r = reading(seed * 5 + static_cast<std::uint32_t>(job));
      SCOPED_TRACE("seed " + std::to_string(seed) + ", job " + std::to_string(job) + ", " + r.describe());
      RunRequest req = request(minsup, job < 2 ? MiningTarget::maximal : job < 4 ? MiningTarget::closed
                                                                                  : MiningTarget::all,
                               r.tuning);
      req.method = job == 1 ? MaximalMethod::projected : MaximalMethod::lookahead;
      req.closed_method = job == 3 ? ClosedMethod::cfi_tree : ClosedMethod::closure;
      req.threads = r.threads;
      req.tuning.maximal_unit_copy = false;
      zub::Run run(req);
      Data data(dir.file("db").c_str());
      run.read(data);
      const Mined found = mine_all(run);
      EXPECT_EQ(found, expected[job]) << "found:\n" << describe(found) << "expected:\n" << describe(expected[job]);
    }
    if (HasFailure()) break;
  }
}

// The first pass counts each id once in each line that holds it, whatever
// the loop, the ranges, the threads and the line at which the numbers that
// tell lines apart start again: here often, inside long lines (the masked
// loop restarts them at a chunk's end), with ids below and above 2^20
// repeated within lines.
TEST(ParallelRead, CountsEachIdOnceALineWhateverTheRestarts) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int ids[] = {0, 5, 999, 1000, 65535, 1048575, 1048576, 2000000000, 2147483647};
  std::string text;
  std::map<int, std::uint32_t> expected;
  for (int line = 0; line < 300; ++line) {
    std::set<int> in_line;
    for (int k = pick(0, 40); k > 0; --k) {
      const int id = ids[pick(0, 8)];
      text += (pick(0, 3) == 0 ? "000" : "") + std::to_string(id) + (pick(0, 5) == 0 ? "  " : " ");
      in_line.insert(id);
    }
    for (int id : in_line) ++expected[id];
    text += line % 9 == 0 ? "\r\n" : "\n";
  }
  TempDir dir;
  dir.write("db", text);
  for (bool masked : {false, true}) {
    for (std::uint64_t restart : {std::uint64_t{2}, std::uint64_t{7}, kLineRestartMost}) {
      for (std::size_t range : {std::size_t(61), std::size_t(4) << 20}) {
        for (int threads : {1, 2}) {
          SCOPED_TRACE(std::string(masked ? "masks" : "bytes") + ", restart at " + std::to_string(restart) +
                       ", ranges of " + std::to_string(range) + ", " + std::to_string(threads) + " threads");
          Tuning tuning;
          tuning.masked_reading = masked;
          tuning.count_line_restart = restart;
          tuning.read_range_bytes = range;
          Data data(dir.file("db").c_str());
          ByteSource source;
          ASSERT_TRUE(data.byte_source(source));
          const ItemCounts c = count_items_in_ranges(data, source, tuning, threads, PassProgress{}, StopFlag{}, nullptr);
          EXPECT_EQ(c.transactions, 300);
          std::map<int, std::uint32_t> counted;
          for (int id = 0; id < c.dense_ids; ++id)
            if (c.dense.get()[id] != 0) counted[id] = c.dense.get()[id];
          c.large.for_each([&](int id, std::uint32_t n) { counted[id] = n; });
          EXPECT_EQ(counted, expected);
        }
      }
    }
  }
}

// The first line of the file with an id too large is named, however the
// ranges fall and whichever thread reads it first.
TEST(ParallelRead, TheFirstTooLargeIdIsNamed) {
  std::string text;
  for (int line = 1; line <= 40; ++line)
    text += line == 17 || line == 31 ? "1 2147483648\n" : std::to_string(line % 5) + " 7\n";
  TempDir dir;
  dir.write("db", text);
  for (std::size_t range : {1, 5, 64, 300, 4 << 20}) {
    for (int threads : {1, 2, 3, 8}) {
      Tuning tuning;
      tuning.read_range_bytes = range;
      RunRequest req = request(1, MiningTarget::maximal, tuning);
      req.threads = threads;
      zub::Run run(req);
      Data data(dir.file("db").c_str());
      try {
        run.read(data);
        ADD_FAILURE() << "read";
      } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), dir.file("db") + ", line 17: item id is larger than 2147483647!")
            << range << " bytes, " << threads << " threads";
      }
    }
  }
}

// A stop flag set before the reading ends it in the first pass.
TEST(ParallelRead, AStopFlagEndsTheReading) {
  std::string text;
  for (int line = 0; line < 20000; ++line) text += std::to_string(line % 50) + " " + std::to_string(line % 7) + "\n";
  TempDir dir;
  dir.write("db", text);
  const std::atomic<bool> stop{true};
  for (int threads : {1, 3}) {
    Tuning tuning;
    tuning.read_range_bytes = 1000;
    RunRequest req = request(1, MiningTarget::maximal, tuning);
    req.threads = threads;
    req.stop = StopFlag(&stop);
    zub::Run run(req);
    Data data(dir.file("db").c_str());
    try {
      run.read(data);
      ADD_FAILURE() << "read on " << threads << " threads";
    } catch (const RunError& e) {
      EXPECT_EQ(e.status(), kExitCancelled);
    }
  }
}

}  // namespace
}  // namespace zub
