// zub, zub-mine and the run sequence against the brute-force miner on many
// random databases: the written itemsets, their supports, zub's run report
// and single-path shortcut, --min-len and --max-len for every target and
// both maximal methods, ids from 2^20 up, and the reported counts by length;
// and zub's single prefix end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "io/callback_sink.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

constexpr int kNone = LengthLimits::kNone;
// Under the sanitizers, which run the miners ten times slower, a sixth of
constexpr std::uint32_t kDatabases = databases(600, 100);

// The supports tried on a database of n transactions; 0 and -2 only where
// the ids are few, and 0 for the frequent itemsets only where every set of
// ids 0 to the largest can be listed.
std::vector<int> supports_for(const RandomDb& db, std::uint32_t seed) {
  const int n = static_cast<int>(db.transactions.size());
  std::vector<int> s{1, 2, 3, std::max(1, n / 5), std::max(1, n / 4), std::max(1, n / 2), n + 1};
  if (db.largest_id <= 9 && seed % 3 == 0) s.push_back(0);
  if (db.largest_id <= 40 && seed % 10 == 0) s.push_back(seed % 20 == 0 ? 0 : -2);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

Mined mine(const std::vector<std::string>& args, std::string* raw = nullptr) {
  std::string out, err;
  EXPECT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  if (raw != nullptr) *raw = out;
  int lines = 0;
  const Mined m = parse_itemsets(out, &lines);  // fails on a repeated itemset
  EXPECT_EQ(lines, static_cast<int>(m.size()));
  return m;
}

Mined lengths_within(const Mined& m, int lo, int hi) {
  Mined kept;
  for (const auto& [items, support] : m)
    if (static_cast<int>(items.size()) >= lo && static_cast<int>(items.size()) <= hi) kept.emplace(items, support);
  return kept;
}

// How the main tree counts its pairs: a dense triangle, or sparse rows with
// room for `kept` pairs (a few, so that positions past the budget go without).
struct PairCounts {
  bool sparse = false;
  std::size_t kept = Tuning{}.sparse_pairs_kept;
};

PairCounts pair_counts_for(std::uint32_t seed) {
  if (seed % 2 != 0) return {};
  return seed % 4 == 0 ? PairCounts{true} : PairCounts{true, seed % 13};
}

// The run sequence itself, with the code paths that only large databases
// reach by default: the pair-pruned lookahead (first_mfi_2), the main
// tree's sparse pair counts, all kept or up to a small budget, and the
// reading in ranges of a few bytes on `threads` threads, built from strings
// in small units or from trees with child links in small batches, with the
// MFI- and CFI-trees' depths saturating early or not; into the
// callback sink, and again into the discarding one. The report counts the
// itemsets, by length.
Mined run_sequence(const std::string& path, int minsup, MiningTarget target, MaximalMethod method,
                   PairCounts pairs, int lo, int hi, int threads = 1) {
  RunRequest req = request(minsup, target);
  req.tuning.lookahead_pair_items = 0;
  if (pairs.sparse) req.tuning.dense_pair_cells = 0;
  req.tuning.sparse_pairs_kept = pairs.kept;
  const auto k = static_cast<unsigned>(minsup * 7 + lo * 3 + hi % 11 + static_cast<int>(target) * 5 +
                                       static_cast<int>(method) + threads);
  req.tuning.read_range_bytes = 1 + k % 17;
  req.tuning.masked_reading = k % 4 < 2;  // ids from masks (where the processor has them) or byte by byte
  req.tuning.count_line_restart = k % 5 == 0 ? 20 : kLineRestartMost;
  req.tuning.main_build = static_cast<MainBuild>(k % 3);
  req.tuning.build_unit_bytes = 1 + k % 50;
  req.tuning.build_batch_positions = 1 + k % 9;
  req.tuning.radix_sort_least = k % 3 == 1 ? 2 : 256;  // small units sorted by radix too
  req.tuning.link_tree_check_bytes = 30;
  // Every other run with MFI- and CFI-tree depths of at most 3: not pruned deeper.
  req.tuning.node_item_bits = k % 2 == 0 ? 0 : 29;
  // On several workers, units start from nothing: the filter at commit
  // drops every itemset an earlier unit covers.
  req.tuning.maximal_unit_copy = threads == 1;
  req.threads = threads;
  req.method = method;
  req.lengths = {lo, hi};
  Run run(req);
  Data data(path.c_str());
  run.read(data);
  RunReport report;
  const Mined found = mine_all(run, &report);
  EXPECT_EQ(report.itemsets, static_cast<long long>(found.size()));
  std::vector<long long> lengths(report.lengths.size(), 0);
  for (const auto& [items, support] : found) {
    if (items.size() > lengths.size()) lengths.resize(items.size());
    ++lengths[items.size() - 1];
  }
  EXPECT_EQ(report.lengths, lengths);
  // The discarding sink: the counts alone, the same.
  Run again(req);
  Data data_again(path.c_str());
  again.read(data_again);
  DiscardSink discard;
  EXPECT_EQ(again.mine(discard).lengths, report.lengths) << "counted without an output";
  return found;
}

// zub-mine's itemsets of every target, the maximal ones by both methods,
// with --min-len lo (when above 1) and --max-len hi (unless kNone); the
// maximal ones are those among the frequent itemsets of at most hi items.
// Both maximal methods again on `threads` workers (when above 1). The same from the run
// sequence: by the lookahead (on one worker and on `threads` without the
// units' copies), and without limits for every target and method on
// `threads` (each reading in small ranges, see run_sequence). Returns what
// zub-mine's one-thread maximal run wrote.
std::string check_mine(const std::string& path, int minsup, const Mined& frequent, int lo, int hi,
                       PairCounts pairs, int threads) {
  std::vector<std::string> args{path, std::to_string(minsup)};
  if (hi != kNone) args.insert(args.begin(), {"--max-len", std::to_string(hi)});
  if (lo != 1) args.insert(args.begin(), {"--min-len", std::to_string(lo)});
  auto with = [&](std::vector<std::string> options, std::string* raw = nullptr) {
    options.insert(options.end(), args.begin(), args.end());
    return mine(options, raw);
  };
  const Mined all = with({"--target", "all"}), expected_all = lengths_within(frequent, lo, hi);
  EXPECT_EQ(all, expected_all) << "written:\n" << describe(all) << "expected:\n" << describe(expected_all);
  const Mined closed = with({"--target", "closed"}), expected_closed = lengths_within(closed_of(frequent), lo, hi);
  EXPECT_EQ(closed, expected_closed) << "written:\n" << describe(closed) << "expected:\n"
                                     << describe(expected_closed);
  const Mined maximal = lengths_within(maximal_of(lengths_within(frequent, 1, hi)), lo, hi);
  std::string text;
  const std::string n = std::to_string(threads);
  for (const char* method : {"lookahead", "projected"}) {
    SCOPED_TRACE(std::string("maximal by ") + method + " on 1 and " + n + " threads");
    const Mined one = with({"--method", method, "--threads", "1"}, method[0] == 'l' ? &text : nullptr);
    EXPECT_EQ(one, maximal) << "written:\n" << describe(one) << "expected:\n" << describe(maximal);
    if (threads > 1) {
      EXPECT_EQ(with({"--method", method, "--threads", n}), maximal);
    }
  }
  auto run = [&](MiningTarget target, MaximalMethod method) {
    return run_sequence(path, minsup, target, method, pairs, lo, hi, threads);
  };
  EXPECT_EQ(run_sequence(path, minsup, MiningTarget::maximal, MaximalMethod::lookahead, pairs, lo, hi), maximal);
  if (threads > 1) {
    EXPECT_EQ(run_sequence(path, minsup, MiningTarget::maximal, MaximalMethod::lookahead, pairs, lo, hi, threads),
              maximal)
        << "on " << threads << " workers without the units' copies";
  }
  if (lo != 1 || hi != kNone) return text;  // the other runs of the sequence without limits only
  EXPECT_EQ(run(MiningTarget::all, MaximalMethod::lookahead), expected_all);
  EXPECT_EQ(run(MiningTarget::closed, MaximalMethod::lookahead), expected_closed);
  EXPECT_EQ(run(MiningTarget::maximal, MaximalMethod::projected), maximal);
  return text;
}

// The MFI figure of the last run report in the log, or -1 when there is none.
int last_reported_mfi(const std::string& log) {
  const auto at = log.rfind("\nMFI: ");
  return at == std::string::npos ? -1 : std::stoi(log.substr(at + 6));
}

// zub in-process: its itemsets, what it prints and reports; its output file.
std::string check_zub(const TempDir& dir, std::uint32_t seed, int minsup, const Mined& expected) {
  std::string printed;
  std::filesystem::remove(dir.file("testfile.txt"));
  std::filesystem::remove(dir.file("out"));
  EXPECT_EQ(run_zub_in(dir, {"db", std::to_string(minsup), "out"}, &printed), 0) << printed;
  const std::string log = dir.read("testfile.txt"), out = dir.read("out");
  if (expected.empty()) {
    EXPECT_TRUE(dir.exists("out")) << "no itemset: an empty output file";
    EXPECT_EQ(out, "");
    EXPECT_EQ(log, "");
    EXPECT_EQ(printed, "");
    return out;
  }
  int lines = 0;
  const Mined written = parse_itemsets(out, &lines);
  EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
  if (printed.empty()) {
    EXPECT_EQ(last_reported_mfi(log), lines);
  } else {
    // The single-path shortcut: one itemset, the length report, no run report.
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(log, "");
    EXPECT_NE(printed.find("\nMFI: 1\n"), std::string::npos);
  }
  // Without an output file the run finds the same number of itemsets.
  if (seed % 4 == 0 && printed.empty()) {
    EXPECT_EQ(run_zub_in(dir, {"db", std::to_string(minsup)}), 0);
    EXPECT_EQ(last_reported_mfi(dir.read("testfile.txt")), lines);
  }
  return out;
}

// The database with its ids mapped, in their order, to ids from 2^20 up
// (to near 2147483647), which are counted in a table.
RandomDb with_large_ids(const RandomDb& db, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::map<int, int> large;
  for (const auto& t : db.transactions)
    for (int x : t) large[x] = 0;
  int next = (1 << 20) + static_cast<int>(rng() % 1000);
  for (auto& [small, big] : large) big = (next += 1 + static_cast<int>(rng() % 50000000));
  RandomDb out;
  for (const auto& t : db.transactions) {
    out.transactions.emplace_back();
    for (int x : t) out.transactions.back().push_back(large[x]);
  }
  out.text = text_of(out.transactions);
  return out;
}

// zub's maximal itemsets; zub-mine's itemsets without length limits, its
// default maximal run byte for byte as zub's; and every 15th database with
// large ids.
TEST(MinersProperty, ZubAndZubMineAgreeWithBruteForce) {
  for (std::uint32_t seed = 1; seed <= kDatabases; ++seed) {
    const RandomDb db = random_db(seed);
    TempDir dir;
    dir.write("db", db.text);
    for (int minsup : supports_for(db, seed)) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + "\n--- database ---\n" +
                   db.text.substr(0, 1500));
      const std::string zub_out = check_zub(dir, seed, minsup, brute_force_maximal(db.transactions, minsup));
      if (minsup < 0 || (minsup == 0 && db.largest_id > 9)) continue;  // beyond zub-mine or the brute force
      const Mined frequent = brute_force_frequent(db.transactions, minsup);
      EXPECT_EQ(check_mine(dir.file("db"), minsup, frequent, 1, kNone, pair_counts_for(seed), 2 + seed % 7), zub_out)
          << "zub-mine's default maximal run writes what zub writes";
    }
    if (seed % 15 == 0) {
      const RandomDb large = with_large_ids(db, seed);
      dir.write("large", large.text);
      SCOPED_TRACE("seed " + std::to_string(seed) + " with large ids\n" + large.text.substr(0, 1500));
      check_mine(dir.file("large"), 2, all_frequent(large.transactions, 2), 1, kNone, PairCounts{}, 3);
    }
    if (HasFailure()) break;  // the first failing seed is the one to look at
  }
}

// The workers of the threaded runs under length limits: 2 to 8, or none
// (1) in sanitized builds, whose threaded runs are Parallel.*'s and the
// unlimited property test's.
int threads_under_limits(std::uint32_t seed, int lo, int hi) {
#ifdef ZUB_SANITIZED
  (void)seed, (void)lo, (void)hi;
  return 1;
#else
  return 2 + static_cast<int>((seed + static_cast<unsigned>(lo) + static_cast<unsigned>(hi)) % 7);
#endif
}

// Length limits (and none) on half the databases, and on 20 wide ones (nodes
// with many children) at low supports.
TEST(MinersProperty, LengthLimitsAgreeWithBruteForce) {
  int limited_runs[2] = {};  // runs whose maximum cuts the longest frequent itemset: narrow, wide
  for (std::uint32_t seed = 1; seed <= kDatabases / 2; ++seed)
    for (const bool wide : {false, true}) {
      if (wide && seed > 20) continue;
      const RandomDb db = random_db(seed, wide);
      TempDir dir;
      dir.write("db", db.text);
      const int n = static_cast<int>(db.transactions.size());
      for (int minsup : wide ? std::vector<int>{std::max(2, n / 50), n / 20}
                             : std::vector<int>{1, std::max(1, n / 6), std::max(1, n / 3)}) {
        const Mined frequent = all_frequent(db.transactions, minsup);
        int longest = 0;
        for (const auto& f : frequent) longest = std::max(longest, static_cast<int>(f.first.size()));
        const std::pair<int, int> limits[] = {{1, 1}, {1, 2}, {2, 2}, {1, 3}, {2, 4}, {3, 5},
                                              {1, std::max(1, longest - 1)}, {2, longest + 1}, {3, kNone},
                                              {1, kNone}};
        for (const auto& [lo, hi] : limits) {
          if (lo > hi) continue;
          limited_runs[wide] += hi < longest;
          SCOPED_TRACE("seed " + std::to_string(seed) + (wide ? " wide" : "") + ", minsup " + std::to_string(minsup) +
                       ", lengths " + std::to_string(lo) + ".." + std::to_string(hi) + "\n--- database ---\n" +
                       db.text.substr(0, 1500));
          check_mine(dir.file("db"), minsup, frequent, lo, hi, pair_counts_for(seed),
                     threads_under_limits(seed, lo, hi));
        }
      }
      if (HasFailure()) return;  // the first failing seed is the one to look at
    }
  EXPECT_GT(limited_runs[0], static_cast<int>(kDatabases) * 5 / 3);
  EXPECT_GT(limited_runs[1], 100);
}

// zub end to end: the single prefix is in every itemset; the run report.
const char* kTwoItemPrefix = "1 2 3 4\n1 2 3\n2 1 4 5\n1 2 5 3\n1 2\n2 1 6\n";

TEST(Zub, EveryItemsetBeginsWithTheSinglePrefix) {
  TempDir dir;
  dir.write("db", kTwoItemPrefix);
  auto r = run_program(zub_binary(), {"db", "1", "out"}, dir.path());
  ASSERT_EQ(r.status, 0);
  const std::string out = dir.read("out");
  int lines = 0;
  for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
    EXPECT_EQ(out.substr(at, 4), "1 2 ");
    ++lines;
  }
  EXPECT_EQ(lines, 4);
  EXPECT_NE(dir.read("testfile.txt").find("\nMFI: 4\n"), std::string::npos);
  EXPECT_NE(dir.read("testfile.txt").find("\nNo. of F1: 4\n"), std::string::npos) << "6 items less the prefix";
}

}  // namespace
}  // namespace zub
