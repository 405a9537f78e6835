// The embedding API of <zub/zub.h>: the itemsets of every target against the
// brute-force miner, from plain and gzip files; supports as counts and exact
// shares, length limits, failures as zub::Error, callbacks that throw, pipes,
// runs in parallel threads, and the example program of examples/.
#include "zub/zub.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/reading.h"
#include "support/test_support.h"

namespace zub {
namespace {

test::Mined mined_of(const std::vector<Itemset>& found) {
  test::Mined m;
  for (const Itemset& s : found) {
    EXPECT_TRUE(std::is_sorted(s.items.begin(), s.items.end()));
    EXPECT_TRUE(m.emplace(s.items, s.support).second) << "repeated itemset";
  }
  return m;
}

TEST(Api, EveryTargetAgreesWithBruteForce) {
  test::TempDir dir;
  for (std::uint32_t seed = 100; seed < 130; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    dir.write("db", db.text);
    dir.write("db.gz", test::gzip(db.text));
    const int minsup = 1 + static_cast<int>(seed % 4);
    const test::Mined all = test::all_frequent(db.transactions, minsup);
    const std::pair<Target, test::Mined> cases[] = {
        {Target::maximal, test::maximal_of(all)}, {Target::closed, test::closed_of(all)}, {Target::all, all}};
    for (const auto& [target, expected] : cases)
      for (const char* file : {"db", "db.gz"}) {  // plain, and as gzip data
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + file);
        const Summary summary = mine_file(dir.file(file), target, Support::count(minsup), [](auto, int) {});
        EXPECT_EQ(mined_of(mine_file(dir.file(file), target, Support::count(minsup))), expected);
        const RunOptions threads{static_cast<int>(seed % 4)};  // 0: every core
        EXPECT_EQ(mined_of(mine_file(dir.file(file), target, Support::count(minsup), Limits{}, threads)), expected)
            << "on " << threads.threads << " threads";
        EXPECT_EQ(summary.itemsets, static_cast<long long>(expected.size()));
        EXPECT_EQ(summary.transactions, static_cast<int>(db.transactions.size()));
        EXPECT_EQ(summary.min_support, minsup);
      }
  }
}

// Transactions from memory give what the file that holds them gives: the
// same itemsets in the same order, the same rules; bad memory is refused.
TEST(Api, TransactionsInMemoryAreMinedAsTheirFile) {
  test::TempDir dir;
  for (std::uint32_t seed = 200; seed < 230; ++seed) {
    const test::RandomDb db = test::random_db(seed, seed % 5 == 0);
    dir.write("db", db.text);
    std::vector<int> ids;
    std::vector<std::uint32_t> lengths;
    for (const test::Itemset& t : db.transactions) {  // with the repeated ids
      ids.insert(ids.end(), t.rbegin(), t.rend());
      lengths.push_back(static_cast<std::uint32_t>(t.size()));
    }
    const Transactions memory{ids, lengths};
    const Support minsup = Support::count(1 + static_cast<int>(seed % 3) + (seed % 5 == 0 ? 2 : 0));
    const RunOptions threads{1 + static_cast<int>(seed % 2)};
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (const Target target : {Target::maximal, Target::closed, Target::all})
      EXPECT_EQ(mine_transactions(memory, target, minsup, Limits{}, threads),
                mine_file(dir.file("db"), target, minsup, Limits{}, threads));
    const RuleOptions rules{0.5, 0, seed % 2 == 0 && seed % 5 != 0};  // a wide database's splits: too many
    EXPECT_EQ(mine_rules(memory, minsup, rules, Limits{}, threads), mine_rules(dir.file("db"), minsup, rules, Limits{},
                                                                                threads));
  }
  const std::vector<int> ids{1, 2, 2, -3};
  const std::vector<std::uint32_t> short_lengths{1, 2}, lengths{1, 2, 1};
  for (const Transactions& bad : {Transactions{ids, short_lengths}, Transactions{ids, lengths}}) {
    try {
      mine_transactions(bad, Target::all, Support::count(1));
      ADD_FAILURE() << "taken";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::argument) << e.what();
    }
  }
  EXPECT_TRUE(mine_transactions(Transactions{}, Target::all, Support::count(1)).empty());
}

TEST(Api, SharesAreExact) {
  test::TempDir dir;
  std::string hundred;
  for (int t = 0; t < 100; ++t) hundred += "1\n";
  dir.write("db", hundred);
  // Shares as a double are read as the decimal that prints as them: 0.07
  // and 0.14 are a hair above as doubles and would give 8 and 15.
  const std::pair<Support, int> cases[] = {
      {Support::fraction(0.07), 7},   {Support::fraction(0.14), 14},   {Support::fraction(0.0701), 8},
      {Support::fraction(1e-300), 1}, {Support::fraction(1.0), 100},   {Support::fraction(0.0), 0},
      {Support::fraction(7, 100), 7}, {Support::fraction(1, 3), 34},   {Support::count(100), 100}};
  for (const auto& [support, threshold] : cases)
    EXPECT_EQ(mine_file(dir.file("db"), Target::maximal, support, [](auto, int) {}).min_support, threshold)
        << support.numerator() << "/" << support.denominator();
}

TEST(Api, FailuresAreErrorsOfTheirKind) {
  test::TempDir dir;
  dir.write("long", "1 2\n99999999999\n");
  dir.write("near_int_max", "2147483000 5\n2147483646 5\n");
  const std::string packed = test::gzip("1 2\n1 2\n");
  dir.write("cut.gz", packed.substr(0, packed.size() - 1));
  auto mine = [](const std::string& path) { mine_file(path, Target::closed, Support::count(1)); };
  const std::string share = "argument: a share of the transactions must be from 0 to 1, not ";
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { Support::count(-1); }, "argument: the minimum support cannot be negative: -1"},
      {[] { Support::fraction(1.5); }, share + "1.5"},
      {[] { Support::fraction(-0.0001); }, share + "-0.0001"},
      {[] { Support::fraction(std::nan("")); }, share + "nan"},
      {[] { Support::fraction(3, 2); }, share + "3/2"},
      {[] { Support::fraction(0, 0); }, share + "0/0"},
      {[&] { mine_file(dir.file("long"), Target::all, Support::count(1), nullptr); },
       "argument: no callback to hand the itemsets to"},
      {[&] { mine_file(dir.file("long"), Target::all, Support::count(1), Limits{}, RunOptions{-1}); },
       "argument: the number of threads must be 0 (every core) or more, not -1"},
      {[&] { mine_file(dir.file("near_int_max"), static_cast<Target>(7), Support::count(1)); },
       "argument: the target must be maximal, closed or all, not 7"},
      {[&] { mine_transactions({}, static_cast<Target>(-1), Support::count(1)); },
       "argument: the target must be maximal, closed or all, not -1"},
      // Opened, the path would end at the NUL and name another file.
      {[&] { mine(dir.file("near_int_max") + std::string("\0/etc/passwd", 12)); },
       "argument: a path cannot hold a NUL byte, as after \"" + dir.file("near_int_max") + "\""},
      {[&] { mine_rules(dir.file("near_int_max") + std::string("\0", 1), Support::count(1)); },
       "argument: a path cannot hold a NUL byte, as after \"" + dir.file("near_int_max") + "\""},
      {[&] { mine(dir.file("missing")); }, "file: " + dir.file("missing") + " could not be opened!"},
      {[&] { mine(dir.path().string()); }, "file: " + dir.path().string() + " could not be read!"},
      {[&] { mine(dir.file("long")); }, "file: " + dir.file("long") + ", line 2: item id is larger than 2147483647!"},
      {[&] { mine(dir.file("cut.gz")); }, "file: " + dir.file("cut.gz") + " could not be read!"},
      // Ids near the int range cost memory by their number, not their size.
      {[&] { mine(dir.file("near_int_max")); }, "no error"},
  };
  for (const auto& [action, expected] : cases) {
    std::string got = "no error";
    try {
      action();
    } catch (const Error& e) {
      const char* kinds[] = {"argument", "file", "memory", "internal"};
      got = kinds[static_cast<int>(e.kind())] + std::string(": ") + e.what();
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(Api, CallbackExceptionsPassThroughAndPipesWork) {
  test::TempDir dir;
  const test::RandomDb db = test::random_db(5, true);
  dir.write("db", db.text);
  struct Enough {};
  int calls = 0;
  EXPECT_THROW(mine_file(dir.file("db"), Target::all, Support::count(2),
                         [&](auto, int) {
                           if (++calls == 3) throw Enough{};
                         }),
               Enough);
  EXPECT_EQ(calls, 3);
  const std::vector<Itemset> expected = mine_file(dir.file("db"), Target::closed, Support::count(2));
  ASSERT_FALSE(expected.empty());

  // A named pipe: read once, kept in memory.
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::thread writer([&] { test::write_file(dir.file("fifo"), db.text); });
  const std::vector<Itemset> piped = mine_file(dir.file("fifo"), Target::closed, Support::count(2));
  writer.join();
  EXPECT_EQ(piped, expected);

  // Runs share nothing: four at once give what one gives.
  std::vector<std::vector<Itemset>> parallel(4);
  std::vector<std::thread> runs;
  for (auto& result : parallel)
    runs.emplace_back([&] { result = mine_file(dir.file("db"), Target::closed, Support::count(2)); });
  for (auto& run : runs) run.join();
  for (const auto& result : parallel) EXPECT_EQ(result, expected);
}

// A transaction of a million items has 2^1000000 subsets: the run goes on
// until stopped, its single path counted without a call per item (which
// overflowed the stack), on one thread and on two.
TEST(Api, MillionItemPathRunsUntilStopped) {
  std::vector<int> ids(1000000);
  for (int k = 0; k < 1000000; ++k) ids[static_cast<std::size_t>(k)] = k;
  const std::vector<std::uint32_t> lengths{1000000};
  const Transactions db{ids, lengths};
  for (int threads : {1, 2}) {
    std::atomic<bool> stop{false};
    long long calls = 0;
    std::size_t longest = 0;
    const auto count = [&](std::span<const int> items, int support) {
      EXPECT_EQ(support, 1);
      longest = std::max(longest, items.size());
      stop = ++calls >= 100000;
    };
    try {
      mine_transactions(db, Target::all, Support::count(1), Limits{}, RunOptions{threads, &stop}, count);
      ADD_FAILURE() << "a run of 2^1000000 itemsets ended";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::cancelled);
    }
    EXPECT_EQ(calls, 100000);
    EXPECT_GE(longest, 10u) << "the subsets of the path, not only its items";
  }
}

// A stop flag ends a run: set before it, the run ends while reading (the
// flag is looked at every 4096 transactions); set by the first itemset, it
// ends the mining, on one thread or several, for every target and for rules.
// Unset, it changes nothing.
TEST(Api, StopFlagEndsTheRun) {
  std::vector<int> ids;
  std::vector<std::uint32_t> lengths;
  std::uint32_t x = 7;
  for (int t = 0; t < 5000; ++t) {
    std::uint32_t n = 0;
    for (int item = 0; item < 18; ++item) {
      x = x * 1103515245u + 12345u;
      if ((x >> 16) % 4 != 0) ids.push_back(item), ++n;
    }
    lengths.push_back(n);
  }
  const Transactions db{ids, lengths};
  const Support minsup = Support::count(1000);
  for (int threads : {1, 2}) {
    for (Target target : {Target::maximal, Target::closed, Target::all}) {
      std::atomic<bool> stop{true};
      long long calls = 0;
      const auto count = [&](auto, int) { ++calls; };
      try {
        mine_transactions(db, target, minsup, Limits{}, RunOptions{threads, &stop}, count);
        ADD_FAILURE() << "a run with its stop flag set ended normally";
      } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::cancelled);
        EXPECT_STREQ(e.what(), "The run was cancelled.");
      }
      EXPECT_EQ(calls, 0);

      stop = false;
      const Summary whole = mine_transactions(db, target, minsup, Limits{}, RunOptions{threads, &stop}, count);
      EXPECT_EQ(whole.itemsets, calls);
      EXPECT_EQ(mine_transactions(db, target, minsup, Limits{}, RunOptions{threads}).size(), std::size_t(calls));
      ASSERT_GT(calls, 1000) << "too few itemsets to see a run end early";

      calls = 0;
      const auto stop_at_first = [&](auto, int) {
        ++calls;
        stop = true;
      };
      EXPECT_THROW(mine_transactions(db, target, minsup, Limits{}, RunOptions{threads, &stop}, stop_at_first), Error);
      EXPECT_LT(calls, whole.itemsets);
    }
    std::atomic<bool> stop{false};
    long long rules = 0;
    const auto stop_at_tenth = [&](const Rule&) { stop = ++rules >= 10; };
    EXPECT_THROW(mine_rules(db, minsup, RuleOptions{0.5}, Limits{}, RunOptions{threads, &stop}, stop_at_tenth),
                 Error);
    EXPECT_LT(rules, mine_rules(db, minsup, RuleOptions{0.5}).size());
  }
}

TEST(Api, LengthLimits) {
  test::TempDir dir;
  dir.write("db", "1 2 3 4\n1 2 3\n2 3 4 5\n1 2 3 4 5\n");
  std::vector<Itemset> closed = mine_file(dir.file("db"), Target::closed, Support::count(2), Limits{2, 3});
  std::sort(closed.begin(), closed.end(), [](const auto& a, const auto& b) { return a.items < b.items; });
  EXPECT_EQ(closed, (std::vector<Itemset>{{{1, 2, 3}, 3}, {{2, 3}, 4}, {{2, 3, 4}, 3}}));
  const Summary s = mine_file(dir.file("db"), Target::maximal, Support::count(2), Limits{1, 1}, [](auto, int) {});
  EXPECT_EQ(s.itemsets, 5);  // every frequent item
  const test::Mined frequent = test::all_frequent({{1, 2, 3, 4}, {1, 2, 3}, {2, 3, 4, 5}, {1, 2, 3, 4, 5}}, 2);
  EXPECT_EQ(mine_file(dir.file("db"), Target::all, Support::count(2), Limits{3, 0}).size(),
            static_cast<std::size_t>(
                std::count_if(frequent.begin(), frequent.end(), [](const auto& f) { return f.first.size() >= 3; })));
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

TEST(Api, ExampleProgramListsWhatZubMineWrites) {
  test::TempDir dir;
  const test::RandomDb db = test::random_db(11, true);
  dir.write("db", db.text);
  for (const char* target : {"maximal", "closed", "all"}) {
    const auto example = test::run_program(ZUB_EXAMPLE_BINARY, {"db", "0.02", target}, dir.path());
    const auto mine = test::run_program(test::zub_mine_binary(), {"--target", target, "db", "2%"}, dir.path());
    ASSERT_EQ(example.status, 0) << example.err;
    EXPECT_EQ(test::parse_itemsets(example.out), test::parse_itemsets(mine.out)) << target;
    EXPECT_NE(example.err.find(" transactions, minimum support "), std::string::npos);
  }
  const auto missing = test::run_program(ZUB_EXAMPLE_BINARY, {"missing", "2"}, dir.path());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "list_itemsets: missing could not be opened!\n");
  EXPECT_EQ(test::run_program(ZUB_EXAMPLE_BINARY, {"db", "1.5"}, dir.path()).status, 1);
}

}  // namespace
}  // namespace zub
