// The first-MFI lookahead on random databases, against supports counted from
// the transactions: the variants find the same greedy itemset, frequent with
// the support reported, to which no lower item can be added; first_mfi_3
// accepts items greedily in descending support.
#include <gtest/gtest.h>

#include "fp_tree/miners.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

TEST(FirstMfi, VariantsFindTheGreedyMaximalExtension) {
  int accepted = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const RandomDb db = random_db(seed);
    const int minsup = 1 + static_cast<int>(seed % 3);
    Tuning tuning;
    if (seed % 2 == 0) tuning.dense_pair_cells = 0;
    Prepared p(db.text, request(minsup, MiningTarget::maximal, tuning));
    FI_tree& t = p.tree();
    Workspace& ws = p.ws();
    auto support = [&](const std::vector<int>& items) { return support_of(db.transactions, p.ids(items)); };
    for (int pos = 0; pos < t.num_items; ++pos) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " position " + std::to_string(pos));
      std::vector<int> found[2];
      int supports[2];
      for (int variant : {0, 1}) {
        p.list().len = 0;
        const int n = variant == 0 ? first_mfi(t, t.heads[pos], supports[0]) : first_mfi_2(t, t.heads[pos], supports[1]);
        ASSERT_EQ(n, p.list().len);
        found[variant].assign(p.list().items, p.list().items + n);
        ASSERT_EQ(found[variant].back(), pos) << "the head item is pushed last";
      }
      EXPECT_EQ(found[0], found[1]);
      EXPECT_EQ(supports[0], supports[1]);
      EXPECT_TRUE(std::is_sorted(found[0].begin(), found[0].end()));
      EXPECT_EQ(supports[0], support(found[0]));
      for (int q = 0; q < pos; ++q) {
        if (std::count(found[0].begin(), found[0].end(), q) != 0) continue;
        std::vector<int> bigger = found[0];
        bigger.push_back(q);
        EXPECT_LT(support(bigger), minsup) << "item " << q << " could join";
      }
      accepted += static_cast<int>(found[0].size()) - 1;

      // first_mfi_3 over the head's tail, with its supports in supp.
      std::fill(ws.supp.begin(), ws.supp.end(), 0);
      const int k = t.walk_pattern_base(t.heads[pos], false);
      std::vector<int> items(ws.tail.begin(), ws.tail.begin() + k), rank(ws.frequent), keys(k + 1), result(k + 1),
          lengths(k + 1);
      std::vector<std::vector<int>> list_store(k + 1, std::vector<int>(ws.max_width));
      std::vector<int*> lists;
      for (auto& l : list_store) lists.push_back(l.data());
      int support3 = -1;
      const int m = first_mfi_3(t, t.heads[pos], support3, items.data(), k, rank.data(), keys.data(), result.data(),
                                lists.data(), lengths.data());
      std::vector<int> tail_supports;
      for (int x : items) tail_supports.push_back(ws.supp[static_cast<std::size_t>(x)]);
      EXPECT_TRUE(std::is_sorted(tail_supports.rbegin(), tail_supports.rend())) << "items by descending support";
      std::vector<int> sorted_items = items;
      std::sort(sorted_items.begin(), sorted_items.end());
      EXPECT_EQ(sorted_items, std::vector<int>(ws.tail.begin(), ws.tail.begin() + k));
      std::vector<int> greedy{pos};
      for (int x : items) {
        std::vector<int> more = greedy;
        more.push_back(x);
        if (greedy.size() == 1 || support(more) >= minsup) greedy = more;
      }
      EXPECT_EQ(std::vector<int>(result.begin(), result.begin() + m), std::vector<int>(greedy.begin() + 1, greedy.end()));
      EXPECT_EQ(support3, k == 0 ? 0 : support(greedy));
      std::fill(ws.supp.begin(), ws.supp.end(), 0);
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(accepted, 500);
}

}  // namespace
}  // namespace zub
