// The stand-alone pattern-base walks and pair counting of the FP-tree, on
// random databases against supports counted from the transactions.
#include <gtest/gtest.h>

#include <random>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

// The tail of each position, from its chain or from its pair row (dense or
// sparse): the lower items frequent with it, ascending, their supports in
// supp; with set_top_support the highest one's support goes to the stack's top.
TEST(PatternBase, ChainWalkAndPairRowsGiveTheFrequentPairs) {
  int rows = 0, walks = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const RandomDb db = random_db(seed);
    const int minsup = 1 + static_cast<int>(seed % 3);
    Tuning tuning;
    if (seed % 3 == 0) tuning.dense_pair_cells = 0;
    Prepared p(db.text, request(minsup, MiningTarget::maximal, tuning));
    FI_tree& t = p.tree();
    Workspace& ws = p.ws();
    for (int pos = 0; pos < t.num_items; ++pos) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " position " + std::to_string(pos));
      std::vector<int> tail, supports;
      for (int q = 0; q < pos; ++q) {
        const int s = support_of(db.transactions, p.ids({q, pos}));
        if (s < minsup) continue;
        tail.push_back(q);
        supports.push_back(s);
      }
      for (int from_pairs : {0, 1}) {
        if (from_pairs == 1 && !t.has_pair_row(pos)) continue;
        (from_pairs ? rows : walks) += 1;
        const bool top = (pos + from_pairs) % 2 == 0;
        p.list().items[0] = pos;
        p.list().len = 1;
        p.list().item_supports[0] = -1;
        std::fill(ws.supp.begin(), ws.supp.end(), 0);
        const int k = from_pairs ? t.pattern_base_from_pairs(pos, top) : t.walk_pattern_base(t.heads[pos], top);
        ASSERT_EQ(std::vector<int>(ws.tail.begin(), ws.tail.begin() + k), tail) << "from pairs " << from_pairs;
        for (int q = 0; q < t.num_items; ++q) {
          const auto at = std::find(tail.begin(), tail.end(), q);
          const int s = at == tail.end() ? 0 : supports[static_cast<std::size_t>(at - tail.begin())];
          ASSERT_EQ(ws.supp[static_cast<std::size_t>(q)], s) << q;
        }
        EXPECT_EQ(p.list().item_supports[0], top && k > 0 ? supports.back() : -1);
      }
    }
  }
  EXPECT_GT(rows, 300);
  EXPECT_GT(walks, 1000);
}

// fill_count takes the positions marked in `origin`, restores the marks, and
// adds the count to each of their pairs that has a row.
TEST(PatternBase, FillCountAddsToThePairsOfTheMarkedPositions) {
  std::mt19937 rng(9);
  Prepared p(nested_db(9), request(1));  // nine items: pair rows, positions equal ids
  FI_tree& t = p.tree();
  ASSERT_NE(t.pair_counts, nullptr);
  for (int round = 0; round < 200; ++round) {
    std::vector<int> origin(9, -1), marked;
    for (int q = 0; q < 9; ++q)
      if (rng() % 3 == 0) {
        origin[static_cast<std::size_t>(q)] = q;
        marked.push_back(q);
      }
    std::vector<std::vector<int>> before(9, std::vector<int>(9));
    for (int a = 1; a < 9; ++a)
      for (int b = 0; b < a; ++b) before[a][b] = t.pair_count(b, a);
    const int count = 1 + static_cast<int>(rng() % 5);
    t.fill_count(origin.data(), count);
    EXPECT_EQ(origin, std::vector<int>(9, -1));
    EXPECT_EQ(std::vector<int>(p.ws().build.positions.begin(), p.ws().build.positions.begin() + marked.size()), marked);
    for (int a = 1; a < 9; ++a)
      for (int b = 0; b < a; ++b) {
        const bool both = std::count(marked.begin(), marked.end(), a) && std::count(marked.begin(), marked.end(), b);
        ASSERT_EQ(t.pair_count(b, a), before[a][b] + (both && t.has_pair_row(a) ? count : 0)) << b << "," << a;
      }
  }
}

}  // namespace
}  // namespace zub
