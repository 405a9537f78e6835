// The closure miner (zub-mine --target closed, --method closure) against
// the brute-force miner on random databases, with each representation and
// merge path forced by its tuning and both item orders, under length
// limits, also with items in several copies (candidates in the same
// transactions); against the CFI-tree miner; the --method combinations
// refused; and the counts of the benchmark cells when the datasets are present.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <random>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

// The closed itemsets the closure miner writes for `text` at `minsup`.
// On `threads` workers the run is also made twice, and must write the same
// bytes both times.
Mined closure_mine(const std::string& text, int minsup, const Tuning& tuning, LengthLimits lengths = {},
                   int threads = 1, std::string* written = nullptr) {
  RunRequest req = request(minsup, MiningTarget::closed, tuning);
  req.lengths = lengths;
  req.closed_method = ClosedMethod::closure;
  req.threads = threads;
  TempDir dir;
  dir.write("db", text);
  Data data(dir.file("db").c_str());
  zub::Run run(req);
  run.read(data);
  Capture capture(run);
  const RunReport report = run.mine(capture.out);
  if (written != nullptr) *written = capture.text();
  int lines = 0;
  const Mined m = parse_itemsets(capture.text(), &lines);
  EXPECT_EQ(lines, static_cast<int>(m.size()));
  EXPECT_EQ(report.itemsets, static_cast<long long>(m.size()));
  return m;
}

// The tunings tried: as shipped; every conditional database dense; every
// one sparse and unmerged; every one sparse and merged, ranked by position;
// dense and ranked by position. Every level's candidates are grouped by
// their transactions in the second and the fourth, none in the others but
// the first (which leaves small levels alone).
std::vector<Tuning> forced_tunings() {
  Tuning dense, unmerged, by_position;
  dense.closed_dense_max_transactions = 1 << 30;
  dense.closed_dense_min_fill = 0;
  unmerged.closed_dense_max_transactions = -1;
  unmerged.closed_merge_min_transactions = 1 << 30;
  unmerged.closed_group_min_work = LLONG_MAX;
  by_position.closed_dense_max_transactions = -1;
  by_position.closed_merge_min_transactions = 0;
  by_position.closed_rare_first = false;
  by_position.closed_group_min_work = 0;
  Tuning dense_by_position = dense;
  dense_by_position.closed_rare_first = false;
  dense_by_position.closed_group_min_work = LLONG_MAX;
  dense.closed_group_min_work = 0;
  return {Tuning{}, dense, unmerged, by_position, dense_by_position};
}

Mined within(const Mined& m, LengthLimits lengths) {
  Mined out;
  for (const auto& [items, support] : m)
    if (static_cast<int>(items.size()) >= lengths.min && static_cast<int>(items.size()) <= lengths.max)
      out.emplace(items, support);
  return out;
}

constexpr std::uint32_t kDatabases = databases(300, 50);

TEST(ClosedClosure, AgreesWithBruteForceOnEveryPath) {
  const std::vector<Tuning> tunings = forced_tunings();
  for (std::uint32_t seed = 1; seed <= kDatabases; ++seed) {
    // Wide databases (dozens of items, hundreds of transactions) from 3 up:
    // the brute force's closedness filter is slow on their many sets at 1 and 2.
    const bool wide = seed % 10 == 0;
    const RandomDb db = random_db(seed, wide);
    const int n = static_cast<int>(db.transactions.size());
    std::vector<int> supports{std::max(1, n / 4), n + 1};
    if (wide) supports.push_back(3);
    else supports.insert(supports.end(), {1, 2});
    if (db.largest_id <= 9) supports.push_back(0);
    LengthLimits lengths;
    if (seed % 4 == 1) lengths.max = 1 + static_cast<int>(seed / 4 % 4);
    if (seed % 8 == 3) lengths.min = 2;
    for (int minsup : supports) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + ", lengths " +
                   std::to_string(lengths.min) + ".." + std::to_string(lengths.max) + "\n" + db.text.substr(0, 1500));
      const Mined expected = within(closed_of(brute_force_frequent(db.transactions, minsup)), lengths);
      for (std::size_t t = 0; t < tunings.size(); ++t) {
        // Each tuning on one of 1, 2, 3 and 8 workers, in turn.
        const int threads = std::array{1, 2, 3, 8}[(t + seed) % 4];
        std::string first, again;
        const Mined got = closure_mine(db.text, minsup, tunings[t], lengths, threads, &first);
        EXPECT_EQ(got, expected) << "tuning " << t << ", threads " << threads << "\nwritten:\n" << describe(got)
                                 << "expected:\n" << describe(expected);
        if (threads > 1) {
          closure_mine(db.text, minsup, tunings[t], lengths, threads, &again);
          EXPECT_EQ(first, again) << "threads " << threads << ": the bytes moved between two runs";
        }
      }
    }
    if (HasFailure()) break;  // the first failing seed is the one to look at
  }
}

// Each item of a random database in one to five copies, which occur in the
// same transactions: the closed itemsets are those of the database with
// each item replaced by its copies. Of the copies only the lowest rank can
// extend a set; the tunings group every level's candidates, or none.
TEST(ClosedClosure, CopiesOfAnItemGoTogether) {
  const std::vector<Tuning> tunings = forced_tunings();
  for (std::uint32_t seed = 1; seed <= kDatabases / 3; ++seed) {
    const RandomDb db = random_db(seed);
    std::mt19937 rng(seed);
    std::map<int, int> copies;
    for (const Itemset& t : db.transactions)
      for (int x : t) copies.emplace(x, 1 + static_cast<int>(rng() % 5));
    auto copies_of = [&](int x, Itemset& out) {
      for (int c = 0; c < copies[x]; ++c) out.push_back(8 * x + c);
    };
    std::string text;
    for (const Itemset& t : db.transactions) {
      Itemset line;
      for (int x : t) copies_of(x, line);
      for (int x : line) text += std::to_string(x) + " ";
      text += "\n";
    }
    const int n = static_cast<int>(db.transactions.size());
    for (int minsup : {1, 2, std::max(1, n / 4)}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + "\n" + text.substr(0, 1500));
      Mined expected;
      for (const auto& [items, support] : closed_of(brute_force_frequent(db.transactions, minsup))) {
        Itemset all;
        for (int x : items) copies_of(x, all);
        std::sort(all.begin(), all.end());
        expected.emplace(all, support);
      }
      for (std::size_t t = 0; t < tunings.size(); ++t) {
        const int threads = std::array{1, 2, 3, 8}[(t + seed) % 4];
        const Mined got = closure_mine(text, minsup, tunings[t], {}, threads);
        EXPECT_EQ(got, expected) << "tuning " << t << ", threads " << threads << "\nwritten:\n" << describe(got)
                                 << "expected:\n" << describe(expected);
      }
    }
    if (HasFailure()) break;
  }
}

// Both closed methods through the command line, with length limits.
TEST(ClosedClosure, AgreesWithTheCfiTreeMiner) {
  for (std::uint32_t seed = 1000; seed < 1100; ++seed) {
    const RandomDb db = random_db(seed, seed % 3 == 0);
    TempDir dir;
    dir.write("db", db.text);
    const std::string m = std::to_string(1 + seed % 3);
    for (const std::vector<std::string>& limits :
         {std::vector<std::string>{}, {"--max-len", "2"}, {"--min-len", "2", "--max-len", "3"}}) {
      std::vector<std::string> args = limits;
      args.insert(args.end(), {"--target", "closed", dir.file("db"), m});
      std::string closure, cfi, err;
      ASSERT_EQ(run_mine_in_process(args, &closure, &err), 0) << err;
      args.insert(args.begin(), {"--method", "closure"});
      std::string named;
      ASSERT_EQ(run_mine_in_process(args, &named, &err), 0) << err;
      args[1] = "cfi-tree";
      ASSERT_EQ(run_mine_in_process(args, &cfi, &err), 0) << err;
      EXPECT_EQ(closure, named);
      EXPECT_EQ(parse_itemsets(closure), parse_itemsets(cfi)) << "seed " << seed << "\n" << db.text;
    }
  }
}

TEST(ClosedClosure, MethodsOfAnotherTargetAreRefused) {
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--target", "closed", "--method", "projected"},
       "--method projected does not go with --target closed (closed: closure or cfi-tree)"},
      {{"--target", "closed", "--method", "lookahead"},
       "--method lookahead does not go with --target closed (closed: closure or cfi-tree)"},
      {{"--method", "closure"}, "--method closure does not go with --target maximal (maximal: lookahead or projected)"},
      {{"--method", "cfi-tree", "--target", "maximal"},
       "--method cfi-tree does not go with --target maximal (maximal: lookahead or projected)"},
      {{"--target", "all", "--method", "closure"},
       "--method chooses the maximal or the closed miner; it does not go with --target all"},
      {{"--target", "closed", "--method", "charm"},
       "--method must be lookahead or projected (maximal), closure or cfi-tree (closed), not \"charm\""},
  };
  for (auto [args, reason] : refused) {
    args.insert(args.end(), {"db", "1"});
    std::string out, err;
    EXPECT_EQ(run_mine_in_process(args, &out, &err), 1) << reason;
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.substr(0, err.find('\n')), "zub-mine: " + reason);
  }
}

// The closed itemsets of the benchmark cells, counted without writing them.
TEST(ClosedClosure, BenchmarkCellCounts) {
  const struct {
    const char* file;
    int minsup;
    long long closed;
  } cells[] = {{"chess.dat", 1500, 549872},
               {"chess.dat", 1200, 1892002},
               {"retail.dat", 10, 159396},
               {"T10I4D100K.dat", 5, 769777}};
  for (const auto& cell : cells) {
    const std::string path = dataset(cell.file);
    if (path.empty()) GTEST_SKIP() << no_dataset(cell.file);
    RunRequest req = request(cell.minsup, MiningTarget::closed);
    Data data(path.c_str());
    zub::Run run(req);
    run.read(data);
    DiscardSink discard;
    EXPECT_EQ(run.mine(discard).itemsets, cell.closed) << cell.file << " " << cell.minsup;
  }
}

}  // namespace
}  // namespace zub
