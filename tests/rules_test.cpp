// Rules from the closed itemsets against a brute force over all frequent
// itemsets: the support of every frequent itemset from the closed ones
// alone, and every rule with its measures, for single-item and any
// consequents, on random databases at several supports and confidences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>

#include "rules/rules.h"
#include "support/brute_force.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

ClosedSupports closed_supports_of(const Mined& frequent) {
  ClosedSupports closed;
  for (const auto& [items, support] : closed_of(frequent)) closed.add(items, support);
  closed.index();
  return closed;
}

TEST(Rules, EveryFrequentItemsetsSupportFromTheClosedOnes) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    const RandomDb db = random_db(seed, seed % 5 == 0);
    const int minsup = 1 + static_cast<int>(seed % 4);
    const Mined frequent = all_frequent(db.transactions, minsup);
    const ClosedSupports closed = closed_supports_of(frequent);
    for (const auto& [items, support] : frequent) ASSERT_EQ(closed.support_of(items), support) << "seed " << seed;
    // Sets no closed itemset holds: infrequent ones, and an unknown item.
    std::mt19937 rng(seed);
    for (int t = 0; t < 50; ++t) {
      Itemset s;
      for (int x = 0; x <= db.largest_id; ++x)
        if (rng() % 3 == 0) s.push_back(x);
      if (s.empty() || frequent.count(s) != 0) continue;
      EXPECT_EQ(closed.support_of(s), 0) << "seed " << seed;
    }
    EXPECT_EQ(closed.support_of(std::vector<int>{db.largest_id + 1}), 0);
  }
}

using RuleKey = std::tuple<Itemset, Itemset>;  // antecedent, consequent, ascending
struct Measures {
  int support, antecedent, consequent;
  double confidence, lift, leverage, conviction;
};

std::map<RuleKey, Measures> brute_force_rules(const Mined& frequent, const RuleOptions& o) {
  std::map<RuleKey, Measures> rules;
  const double n = o.transactions;
  for (const auto& [z, sz] : frequent) {
    const std::size_t k = z.size();
    if (k < 2) continue;
    for (std::uint32_t mask = 1; mask + 1 < (1u << k); ++mask) {
      Itemset x, y;
      for (std::size_t j = 0; j < k; ++j) ((mask >> j & 1) ? y : x).push_back(z[j]);
      if (o.single_consequent && y.size() != 1) continue;
      const int sx = frequent.at(x), sy = frequent.at(y);
      const double conf = static_cast<double>(sz) / sx, lift = conf * n / sy;
      if (conf < o.min_confidence || lift < o.min_lift) continue;
      rules[{x, y}] = {sz, sx, sy, conf, lift, sz / n - (sx / n) * (sy / n),
                       conf >= 1 ? INFINITY : (1 - sy / n) / (1 - conf)};
    }
  }
  return rules;
}

TEST(Rules, AgreeWithBruteForce) {
  int databases = 0;
  std::size_t rules = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const RandomDb db = random_db(seed);
    const int n = static_cast<int>(db.transactions.size());
    const int minsup = std::max(2, n / (4 + static_cast<int>(seed % 8)));
    const Mined frequent = all_frequent(db.transactions, minsup);
    std::size_t longest = 0;
    for (const auto& f : frequent) longest = std::max(longest, f.first.size());
    if (longest > 12 || frequent.size() > 5000) continue;  // too many splits for the brute force
    const ClosedSupports closed = closed_supports_of(frequent);
    ++databases;
    for (const double confidence : {0.0, 0.5, 0.8, 1.0})
      for (const bool single : {true, false}) {
        RuleOptions o;
        o.min_confidence = confidence;
        o.min_lift = seed % 2 == 0 ? 1.0 : 0.0;
        o.single_consequent = single;
        o.transactions = static_cast<int>(db.transactions.size());
        SCOPED_TRACE("seed " + std::to_string(seed) + ", confidence " + std::to_string(confidence) +
                     (single ? ", one item" : ", any"));
        const auto expected = brute_force_rules(frequent, o);
        std::map<RuleKey, Measures> got;
        for (const auto& [z, sz] : frequent)
          rules_of(z, sz, closed, o, [&](const Rule& r) {
            const RuleKey key{Itemset(r.antecedent.begin(), r.antecedent.end()),
                              Itemset(r.consequent.begin(), r.consequent.end())};
            EXPECT_TRUE(got.emplace(key, Measures{r.support, r.antecedent_support, r.consequent_support,
                                                  r.confidence, r.lift, r.leverage, r.conviction})
                            .second);
          });
        ASSERT_EQ(got.size(), expected.size());
        rules += got.size();
        for (const auto& [key, m] : expected) {
          const auto it = got.find(key);
          ASSERT_NE(it, got.end());
          const Measures& g = it->second;
          EXPECT_EQ(std::tie(g.support, g.antecedent, g.consequent), std::tie(m.support, m.antecedent, m.consequent));
          for (const auto& [a, b] : {std::pair{g.confidence, m.confidence}, {g.lift, m.lift}, {g.leverage, m.leverage}})
            EXPECT_NEAR(a, b, 1e-12);
          if (std::isinf(m.conviction))
            EXPECT_TRUE(std::isinf(g.conviction));
          else
            EXPECT_NEAR(g.conviction, m.conviction, 1e-12 * std::max(1.0, m.conviction));
        }
      }
    if (HasFailure()) break;
  }
  EXPECT_GT(databases, 100) << "most databases are small enough for the brute force";
  EXPECT_GT(rules, std::size_t{10000});
  std::printf("%d databases, %zu rules compared\n", databases, rules);
}

}  // namespace
}  // namespace zub
