// --min-len and --max-len against the brute-force miner on many random
// databases, for every target and both maximal methods; the API's Limits.
// (The rejected values are rows of ZubMine.RejectedInputs.)
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/driver.h"
#include "io/data.h"
#include "io/fsout.h"
#include "run/run.h"
#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/test_support.h"
#include "zub/zub.h"

namespace zub {
namespace {

using namespace zub::test;

Mined lengths_within(const Mined& m, int min_len, int max_len) {
  Mined kept;
  for (const auto& [items, support] : m) {
    const int n = static_cast<int>(items.size());
    if (n >= min_len && n <= max_len) kept.emplace(items, support);
  }
  return kept;
}

// What each target writes under the limits, derived from every frequent itemset.
struct Expected {
  Mined all, closed, maximal;
};
Expected expected(const Mined& frequent, int min_len, int max_len) {
  Expected e;
  e.all = lengths_within(frequent, min_len, max_len);
  e.closed = lengths_within(closed_of(frequent), min_len, max_len);
  // Maximal among the frequent itemsets of at most max_len items.
  e.maximal = lengths_within(maximal_of(lengths_within(frequent, 1, max_len)), min_len, max_len);
  return e;
}

Mined mine(const std::vector<std::string>& args) {
  std::string out, err;
  EXPECT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
  int lines = 0;
  const Mined m = parse_itemsets(out, &lines);  // fails on a repeated itemset
  EXPECT_EQ(lines, static_cast<int>(m.size()));
  return m;
}

// A run through Run itself, with the lookahead on pair counts taken at once
// (first_mfi_2), as on databases of many items.
Mined mine_with_pair_lookahead(const std::string& path, int minsup, int min_len, int max_len) {
  RunRequest request;
  request.min_support.count = minsup;
  request.tuning.lookahead_pair_items = 0;
  request.lengths.min = min_len;
  request.lengths.max = max_len;
  Run run(request);
  Data data(path.c_str(), Data::Options{});
  run.read(data);
  Mined found;
  FSout sink([&](std::span<const int> ids, int support) {
    test::Itemset items(ids.begin(), ids.end());
    std::sort(items.begin(), items.end());
    EXPECT_TRUE(found.emplace(items, support).second) << "written twice";
  });
  sink.set_order(run.items().file_id.data());
  const RunReport report = run.mine(sink);
  EXPECT_EQ(report.itemsets, static_cast<long long>(found.size()));
  return found;
}

void check_database(const RandomDb& db, std::uint32_t seed, const std::vector<int>& supports, int& limited_runs) {
  TempDir dir;
  dir.write("db", db.text);
  const std::string path = dir.file("db");
  for (int minsup : supports) {
    const Mined frequent = all_frequent(db.transactions, minsup);
    int longest = 0;
    for (const auto& f : frequent) longest = std::max(longest, static_cast<int>(f.first.size()));
    const std::pair<int, int> limits[] = {{1, 1}, {1, 2}, {2, 2}, {1, 3}, {2, 4}, {3, 5},
                                          {1, std::max(1, longest - 1)}, {2, longest + 1}};
    for (const auto& [lo, hi] : limits) {
      if (lo > hi) continue;
      limited_runs += hi < longest;
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + ", lengths " +
                   std::to_string(lo) + ".." + std::to_string(hi) + "\n--- database ---\n" + db.text.substr(0, 1500));
      const Expected e = expected(frequent, lo, hi);
      const std::vector<std::string> lengths{"--min-len", std::to_string(lo), "--max-len", std::to_string(hi),
                                             path, std::to_string(minsup)};
      auto with = [&](std::vector<std::string> options) {
        options.insert(options.end(), lengths.begin(), lengths.end());
        return mine(options);
      };
      const Mined all = with({"--target", "all"});
      EXPECT_EQ(all, e.all) << "written:\n" << describe(all) << "expected:\n" << describe(e.all);
      const Mined closed = with({"--target", "closed"});
      EXPECT_EQ(closed, e.closed) << "written:\n" << describe(closed) << "expected:\n" << describe(e.closed);
      const Mined lookahead = with({});
      EXPECT_EQ(lookahead, e.maximal) << "written:\n" << describe(lookahead) << "expected:\n" << describe(e.maximal);
      const Mined projected = with({"--method", "projected"});
      EXPECT_EQ(projected, e.maximal) << "written:\n" << describe(projected) << "expected:\n" << describe(e.maximal);
      EXPECT_EQ(mine_with_pair_lookahead(path, minsup, lo, hi), e.maximal);
    }
  }
}

// 300 databases, and 20 wide ones at low supports.
TEST(LengthLimits, EveryTargetAgreesWithBruteForce) {
  int limited_runs[2] = {};  // runs whose maximum cuts the longest frequent itemset: narrow, wide
  for (std::uint32_t seed = 1; seed <= 300; ++seed)
    for (const bool wide : {false, true}) {
      if (wide && seed > 20) continue;
      const RandomDb db = random_db(seed, wide);
      const int n = static_cast<int>(db.transactions.size());
      check_database(db, seed,
                     wide ? std::vector<int>{std::max(2, n / 50), n / 20}
                          : std::vector<int>{1, std::max(1, n / 6), std::max(1, n / 3)},
                     limited_runs[wide]);
      if (HasFailure()) return;  // the first failing seed is the one to look at
    }
  EXPECT_GT(limited_runs[0], 1000);
  EXPECT_GT(limited_runs[1], 100);
}

TEST(LengthLimits, MinimumAloneFiltersAndCountsWrittenOnly) {
  TempDir dir;
  dir.write("db", "1 2 3 4\n1 2 3\n2 3 4 5\n1 2 3 4 5\n");
  const Mined frequent = all_frequent({{1, 2, 3, 4}, {1, 2, 3}, {2, 3, 4, 5}, {1, 2, 3, 4, 5}}, 2);
  EXPECT_EQ(mine({"--target", "all", "--min-len", "3", dir.file("db"), "2"}),
            lengths_within(frequent, 3, 99));
  EXPECT_EQ(mine({"--min-len", "4", dir.file("db"), "2"}), lengths_within(maximal_of(frequent), 4, 99));
  std::string out, err;
  ASSERT_EQ(run_mine_in_process({"--stats", "--target", "closed", "--min-len=4", dir.file("db"), "2"}, &out, &err), 0);
  EXPECT_NE(err.find("itemsets: 2\n  of length 1: 0\n  of length 2: 0\n  of length 3: 0\n  of length 4: 2\n"),
            std::string::npos)
      << err;
}

TEST(LengthLimits, ApiTakesLimits) {
  TempDir dir;
  dir.write("db", "1 2 3 4\n1 2 3\n2 3 4 5\n1 2 3 4 5\n");
  std::vector<zub::Itemset> closed = mine_file(dir.file("db"), Target::closed, Support::count(2), Limits{2, 3});
  std::sort(closed.begin(), closed.end(), [](const auto& a, const auto& b) { return a.items < b.items; });
  EXPECT_EQ(closed, (std::vector<zub::Itemset>{{{1, 2, 3}, 3}, {{2, 3}, 4}, {{2, 3, 4}, 3}}));
  const Summary s = mine_file(dir.file("db"), Target::maximal, Support::count(2), Limits{1, 1}, [](auto, int) {});
  EXPECT_EQ(s.itemsets, 5);  // every frequent item
  const Mined frequent = all_frequent({{1, 2, 3, 4}, {1, 2, 3}, {2, 3, 4, 5}, {1, 2, 3, 4, 5}}, 2);
  EXPECT_EQ(mine_file(dir.file("db"), Target::all, Support::count(2), Limits{3, 0}).size(),
            lengths_within(frequent, 3, 99).size());
  auto kind_of = [&](Limits l) {
    try {
      mine_file(dir.file("db"), Target::all, Support::count(2), l);
    } catch (const Error& e) {
      return e.kind();
    }
    return Error::Kind::internal;
  };
  EXPECT_EQ(kind_of(Limits{0, 3}), Error::Kind::argument);
  EXPECT_EQ(kind_of(Limits{1, -1}), Error::Kind::argument);
  EXPECT_EQ(kind_of(Limits{4, 3}), Error::Kind::argument);
}

}  // namespace
}  // namespace zub
