// Association rules against a brute force over all frequent itemsets: the
// support of every frequent itemset from the closed ones alone, and every
// rule zub-mine writes, with its measures, on random databases at several
// supports, confidences, lifts, length limits and numbers of threads (1 to
// 4, the rules made on each; the bytes those of one thread), and the lines
// made on the mining threads against those the writer makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <tuple>

#include "io/data.h"
#include "io/fsout.h"
#include "rules/mine_rules.h"
#include "rules/rules.h"
#include "zub/zub.h"
#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

constexpr std::uint32_t kDatabases = databases(200, 40);

TEST(Rules, EveryFrequentItemsetsSupportFromTheClosedOnes) {
  for (std::uint32_t seed = 1; seed <= kDatabases / 2; ++seed) {
    const RandomDb db = random_db(seed, seed % 5 == 0);
    const int minsup = 1 + static_cast<int>(seed % 4);
    const Mined frequent = all_frequent(db.transactions, minsup);
    if (frequent.size() > 3000) continue;  // the subsets below are many
    ClosedSupports closed(db.largest_id + 1);
    for (const auto& [items, support] : closed_of(frequent)) closed.add(items, support);
    closed.index();
    SupportLookup lookup(closed);
    for (const auto& [z, support] : frequent) {
      ASSERT_EQ(lookup.support_of(z), support) << "seed " << seed;
      // Every subset of z, told that it is one.
      lookup.about(z, support);
      for (std::uint32_t mask = 1; z.size() <= 7 && mask < (1u << z.size()); ++mask) {
        test::Itemset x;
        for (std::size_t j = 0; j < z.size(); ++j)
          if (mask >> j & 1) x.push_back(z[j]);
        ASSERT_EQ(lookup.support_of(x), frequent.at(x)) << "seed " << seed << ", a subset of " << describe({{z, 0}});
      }
    }
    // Sets no closed itemset holds: infrequent ones, and an unknown item.
    std::mt19937 rng(seed);
    for (int t = 0; t < 50; ++t) {
      test::Itemset s;
      for (int x = 0; x <= db.largest_id; ++x)
        if (rng() % 3 == 0) s.push_back(x);
      if (s.empty() || frequent.count(s) != 0) continue;
      EXPECT_EQ(lookup.support_of(s), 0) << "seed " << seed;
    }
    EXPECT_EQ(lookup.support_of(std::vector<int>{db.largest_id + 1}), 0);
  }
}

struct Measures {
  int support;
  double share, confidence, lift, leverage, conviction;
};
using RuleKey = std::pair<test::Itemset, test::Itemset>;  // antecedent, consequent, ascending
using Rules = std::map<RuleKey, Measures>;

// What one run asks for, with the thresholds as the exact fractions its
// arguments name.
struct Ask {
  std::string confidence;
  std::uint64_t conf_num, conf_den;
  std::string lift;  // empty: none
  std::uint64_t lift_num, lift_den;
  bool any;
  int min_len, max_len;  // max 0: none
};

Rules brute_force_rules(const Mined& frequent, int n, const Ask& a) {
  Rules rules;
  for (const auto& [z, sz] : frequent) {
    const std::size_t k = z.size();
    if (k < 2 || static_cast<int>(k) < a.min_len || (a.max_len > 0 && static_cast<int>(k) > a.max_len)) continue;
    for (std::uint32_t mask = 1; mask + 1 < (1u << k); ++mask) {
      test::Itemset x, y;
      for (std::size_t j = 0; j < k; ++j) ((mask >> j & 1) ? y : x).push_back(z[j]);
      if (!a.any && y.size() != 1) continue;
      const long double sx = frequent.at(x), sy = frequent.at(y);
      if (static_cast<long double>(sz) * a.conf_den < sx * a.conf_num) continue;
      if (!a.lift.empty() && static_cast<long double>(sz) * n * a.lift_den < sx * sy * a.lift_num) continue;
      const double conf = sz / static_cast<double>(sx), ny = static_cast<double>(sy) / n;
      rules[{x, y}] = {sz, static_cast<double>(sz) / n, conf, conf / ny,
                       static_cast<double>(sz) / n - static_cast<double>(sx) / n * ny,
                       sz == sx ? INFINITY : (1 - ny) / (1 - conf)};
    }
  }
  return rules;
}

test::Itemset ids_of(const std::string& field) {
  test::Itemset ids;
  std::istringstream in(field);
  for (int id; in >> id;) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The rules of zub-mine's CSV output (ids only: no field is quoted).
Rules parse_csv_rules(const std::string& text) {
  Rules rules;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "antecedent,consequent,support,share,confidence,lift,leverage,conviction");
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) f.push_back(field);
    EXPECT_EQ(f.size(), 8u) << line;
    if (f.size() != 8) break;
    const Measures m{std::stoi(f[2]), std::stod(f[3]), std::stod(f[4]), std::stod(f[5]), std::stod(f[6]),
                     f[7] == "inf" ? INFINITY : std::stod(f[7])};
    EXPECT_TRUE(rules.emplace(RuleKey{ids_of(f[0]), ids_of(f[1])}, m).second) << "written twice: " << line;
  }
  return rules;
}

void expect_same_rules(const Rules& got, const Rules& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (const auto& [key, m] : expected) {
    const auto it = got.find(key);
    ASSERT_NE(it, got.end()) << "missing: " << describe({{key.first, 0}}) << "-> " << describe({{key.second, 0}});
    const Measures& g = it->second;
    EXPECT_EQ(g.support, m.support);
    for (const auto& [a, b] : {std::pair{g.share, m.share}, {g.confidence, m.confidence}, {g.lift, m.lift},
                               {g.leverage, m.leverage}, {g.conviction, m.conviction}}) {
      if (std::isinf(b))
        EXPECT_TRUE(std::isinf(a));
      else
        EXPECT_NEAR(a, b, 1e-12 * std::max(1.0, std::fabs(b)));
    }
  }
}

TEST(Rules, ZubMineAgreesWithBruteForce) {
  const Ask asks[] = {
      {"0.8", 4, 5, "", 0, 1, false, 1, 0},        {"0", 0, 1, "", 0, 1, true, 1, 0},
      {"50%", 1, 2, "1", 1, 1, false, 1, 0},       {"1", 1, 1, "", 0, 1, true, 1, 0},
      {"0.6666666666666667", 6666666666666667, 10000000000000000, "1.25", 5, 4, true, 1, 0},
      {"0.3", 3, 10, "", 0, 1, false, 3, 0},      {"0.5", 1, 2, "", 0, 1, true, 2, 3},
  };
  std::size_t compared = 0;
  for (std::uint32_t seed = 1; seed <= kDatabases; ++seed) {
    const RandomDb db = random_db(seed, seed % 7 == 0);
    const int n = static_cast<int>(db.transactions.size());
    const int minsup = std::max(1, n / (3 + static_cast<int>(seed % 8)));
    const Mined frequent = all_frequent(db.transactions, minsup);
    std::size_t longest = 0;
    for (const auto& f : frequent) longest = std::max(longest, f.first.size());
    if (longest > 12 || frequent.size() > 2000) continue;  // too many splits for the brute force
    TempDir dir;
    dir.write("db", db.text);
    for (std::size_t i = 0; i < std::size(asks); ++i) {
      const Ask& a = asks[i];
      const int threads = 1 + static_cast<int>((seed + i) % 4);
      std::vector<std::string> args = {"--target", "rules", "--format", "csv", "--min-confidence", a.confidence,
                                       "--consequent-size", a.any ? "any" : "1", "--min-len",
                                       std::to_string(a.min_len), "--threads", std::to_string(threads)};
      if (!a.lift.empty()) args.insert(args.end(), {"--min-lift", a.lift});
      if (a.max_len > 0) args.insert(args.end(), {"--max-len", std::to_string(a.max_len)});
      args.insert(args.end(), {dir.file("db"), std::to_string(minsup)});
      std::string out, err;
      ASSERT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
      SCOPED_TRACE("seed " + std::to_string(seed) + ", confidence " + a.confidence + (a.any ? ", any" : ", one") +
                   " consequent, lengths " + std::to_string(a.min_len) + ".." + std::to_string(a.max_len) + ", " +
                   std::to_string(threads) + " threads");
      const Rules expected = brute_force_rules(frequent, n, a);
      expect_same_rules(parse_csv_rules(out), expected);
      compared += expected.size();
      if (i == seed % std::size(asks)) {
        // The same bytes on another number of threads: the one-thread order.
        args[11] = threads == 1 ? "4" : "1";
        std::string other;
        ASSERT_EQ(run_mine_in_process(args, &other, &err), 0) << err;
        EXPECT_EQ(other, out) << "on " << args[11] << " threads";
      }
    }
    if (HasFailure()) break;  // the first failing seed is the one to look at
  }
  EXPECT_GT(compared, std::size_t{10000});
  std::printf("%zu rules compared\n", compared);
}

// The plain line: X's items, "->", Y's items, each followed by a blank,
// then (support, confidence, lift); --stats counts what the rules came from.
TEST(Rules, PlainLinesAndStatistics) {
  TempDir dir;
  dir.write("db", "1 2 3\n1 2\n1 3\n2 3 4\n1 2 3 4\n");
  std::string out, err;
  ASSERT_EQ(run_mine_in_process({"--target", "rules", "--min-confidence", "1", "--threads", "1", "--sort-items",
                                 "--stats", dir.file("db"), "2"},
                                &out, &err),
            0);
  EXPECT_EQ(out, "4 -> 3 (2, 1, 1.25)\n4 -> 2 (2, 1, 1.25)\n3 4 -> 2 (2, 1, 1.25)\n2 4 -> 3 (2, 1, 1.25)\n");
  for (const char* line : {"closed itemsets: 8\n", "frequent itemsets split: 7\n", "rules: 4\n"})
    EXPECT_NE(err.find(line), std::string::npos) << err;
}

// The API hands out what zub-mine writes, in the same order on any number
// of threads, and refuses thresholds out of range.
TEST(Rules, ApiAgreesWithZubMine) {
  for (std::uint32_t seed = 1; seed <= kDatabases / 4; ++seed) {
    const RandomDb db = random_db(seed);
    TempDir dir;
    dir.write("db", db.text);
    const int minsup = 1 + static_cast<int>(seed % 3);
    std::string out, err;
    ASSERT_EQ(run_mine_in_process({"--target", "rules", "--format", "csv", "--min-confidence", "0.6",
                                   "--consequent-size", "any", "--min-lift", "1.1", "--max-len", "4",
                                   dir.file("db"), std::to_string(minsup)},
                                  &out, &err),
              0)
        << err;
    const zub::RuleOptions options{0.6, 1.1, true};
    const std::vector<zub::Rule> one =
        zub::mine_rules(dir.file("db"), zub::Support::count(minsup), options, zub::Limits{1, 4}, zub::RunOptions{1});
    Rules from_api;
    for (const zub::Rule& r : one) {
      const Measures m{r.support, static_cast<double>(r.support) / static_cast<double>(db.transactions.size()),
                       r.confidence, r.lift, r.leverage, r.conviction};
      from_api.emplace(RuleKey{r.antecedent, r.consequent}, m);
    }
    expect_same_rules(from_api, parse_csv_rules(out));
    EXPECT_EQ(zub::mine_rules(dir.file("db"), zub::Support::count(minsup), options, zub::Limits{1, 4},
                              zub::RunOptions{3}),
              one);
  }
  TempDir dir;
  dir.write("db", "1 2\n1 2\n");
  const auto count = zub::Support::count(1);
  for (const zub::RuleOptions bad : {zub::RuleOptions{1.5}, zub::RuleOptions{-0.1}, zub::RuleOptions{0.5, -1}}) {
    try {
      zub::mine_rules(dir.file("db"), count, bad);
      ADD_FAILURE() << "confidence " << bad.min_confidence << ", lift " << bad.min_lift << " taken";
    } catch (const zub::Error& e) {
      EXPECT_EQ(e.kind(), zub::Error::Kind::argument) << e.what();
    }
  }
  EXPECT_THROW(zub::mine_rules(dir.file("db"), count, {}, {}, {}, nullptr), zub::Error);
  struct Stop {};
  EXPECT_THROW(zub::mine_rules(dir.file("db"), count, {}, {}, {}, [](const zub::Rule&) { throw Stop{}; }), Stop);
  const zub::RuleSummary summary = zub::mine_rules(dir.file("db"), count, {}, {}, {}, [](const zub::Rule&) {});
  EXPECT_EQ(summary.rules, 2);
  EXPECT_EQ(summary.closed_itemsets, 1);
}

// A sink that takes each rule alone: the writing thread makes every line.
struct EachRule final : RuleSink {
  explicit EachRule(FSout& to) : out(to) {}
  void take(const FoundRule& rule) override { out.take(rule); }
  FSout& out;
};

struct Written {
  std::string text;
  RuleReport report;
};

// The rules of `db` written in `style` on `threads`, the units' records
// kept in memory up to `kept` bytes; with `each`, every rule's line made
// by the writer, else on the mining threads.
Written write_rules(const TempDir& dir, int minsup, const RuleSettings& asked, LineStyle style,
                    const std::vector<std::string>* names, int threads, std::size_t kept, bool each) {
  RunRequest request;
  request.min_support.count = minsup;
  request.target = MiningTarget::all;
  request.threads = threads;
  request.tuning.kept_records_bytes = kept;
  Run run(request);
  Data data(dir.file("db").c_str());
  run.read(data);
  RuleSettings settings = asked;
  settings.transactions = run.settings().transactions;
  const std::string path = dir.file(each ? "each" : "lines");
  FSout out(path.c_str());
  out.set_order(run.items().file_id.data());
  if (names != nullptr) out.set_names(names);
  style.transactions = settings.transactions;
  style.rules = true;
  out.set_style(style);
  EachRule one(out);
  Written w;
  w.report = each ? mine_rules(run, settings, LengthLimits{}, one) : mine_rules(run, settings, LengthLimits{}, out);
  out.close();
  w.text = read_file(path);
  return w;
}

// The lines made on the mining threads, in every format and with names
// that need quoting, are the bytes the writer makes of each rule on one
// thread, on 1 to 4 threads and with the units' lines kept in memory, in
// part or spilled to a file; the counts are the rules written.
TEST(Rules, LinesMadeOnTheMiningThreadsAreTheWritersBytes) {
  using Format = LineStyle::Format;
  const LineStyle styles[] = {{Format::plain, false}, {Format::plain, true},           {Format::csv, false},
                              {Format::json, true},   {Format::csv, true, 0, true, true}, {Format::json, false, 0, true, true}};
  const std::size_t kept[] = {0, 4096, std::size_t(64) << 20};
  long long written = 0;
  for (std::uint32_t seed = 1; seed <= kDatabases / 5; ++seed) {
    const RandomDb db = random_db(seed, seed % 7 == 0);
    TempDir dir;
    dir.write("db", db.text);
    std::vector<std::string> names;
    for (int id = 0; id <= db.largest_id; ++id)
      names.push_back(id % 3 == 0 ? "i\"t,em " + std::to_string(id) : "\xc3\xa9" + std::to_string(id));
    RuleSettings settings;
    settings.min_confidence = {seed % 4, 4};
    settings.single_consequent = seed % 2 == 0;
    const int minsup = std::max(1, static_cast<int>(db.transactions.size()) / (3 + static_cast<int>(seed % 5)));
    for (std::size_t i = 0; i < std::size(styles); ++i) {
      const std::vector<std::string>* named = (seed + i) % 3 == 0 ? &names : nullptr;
      const int threads = 1 + static_cast<int>((seed + i) % 4);
      const std::size_t bound = kept[(seed + i) % std::size(kept)];
      SCOPED_TRACE("seed " + std::to_string(seed) + ", style " + std::to_string(i) + ", " + std::to_string(threads) +
                   " threads, " + std::to_string(bound) + " bytes kept" + (named ? ", names" : ""));
      const Written expected = write_rules(dir, minsup, settings, styles[i], named, 1, kept[2], true);
      const Written got = write_rules(dir, minsup, settings, styles[i], named, threads, bound, false);
      ASSERT_EQ(got.text, expected.text);
      EXPECT_EQ(got.report.rules, expected.report.rules);
      EXPECT_EQ(got.report.lengths, expected.report.lengths);
      const long long lines = std::count(got.text.begin(), got.text.end(), '\n');
      EXPECT_EQ(got.report.rules, lines - (styles[i].format == Format::csv ? 1 : 0));
      written += got.report.rules;
    }
  }
  EXPECT_GT(written, 1000);
  std::printf("%lld rules written\n", written);
}

TEST(Rules, RejectedOptions) {
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--min-confidence", "0.5"}, "go with --target rules"},
      {{"--target", "rules", "--min-confidence", "1.5"}, "--min-confidence must be a share from 0 to 1"},
      {{"--target", "rules", "--min-confidence", "150%"}, "a percentage must be from 0 to 100"},
      {{"--target", "rules", "--min-lift", "-1"}, "--min-lift must be a number"},
      {{"--target", "rules", "--consequent-size", "2"}, "--consequent-size must be 1 or any"},
      {{"--target", "rules", "--method", "closure"}, "does not go with --target rules"},
      {{"--target", "rule"}, "--target must be maximal, closed, all or rules"},
  };
  TempDir dir;
  dir.write("db", "1 2\n");
  for (const auto& [options, message] : refused) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {dir.file("db"), "1"});
    std::string out, err;
    EXPECT_EQ(run_mine_in_process(args, &out, &err), 1) << options[0];
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
}

}  // namespace
}  // namespace zub
