// The first-MFI lookahead: both variants, on worked cases and random trees.
#include <gtest/gtest.h>

#include "support/brute_force.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using test::Prepared;

struct Found {
  std::vector<int> items;  // file ids, as pushed
  int support;
  int n;
};

Found first(Prepared& p, int pos, bool second_variant) {
  p.list().len = 0;
  int support = -1;
  FI_tree& t = p.tree();
  const int n = second_variant ? t.first_mfi_2(t.heads[pos], support) : t.first_mfi(t.heads[pos], support);
  return Found{p.file_ids(p.stack_items()), support, n};
}

TEST(FirstMfi, HeadWithoutFrequentCompanions) {
  Prepared p("0\n0\n0\n1\n1\n1\n0 2\n1 2\n", 2, false);
  ASSERT_EQ(p.ctx->order_item, (std::vector<int>{0, 1, 2}));
  for (bool second : {false, true}) {
    Found f = first(p, 2, second);
    EXPECT_EQ(f.n, 1);
    EXPECT_EQ(f.items, (std::vector<int>{2}));
    EXPECT_EQ(f.support, 2);
  }
}

TEST(FirstMfi, RejectedCandidateStillMovesTheNodes) {
  // Item 2's nodes hang under 1 (path 0-1-2) and under 0. Candidate 1 has
  // support 1 and is rejected, but its node moves up, so 0 gets both counts.
  Prepared p("0 1 2\n0 2\n0\n0\n1\n1\n", 2, false);
  ASSERT_EQ(p.ctx->order_item, (std::vector<int>{0, 1, 2}));
  for (bool second : {false, true}) {
    Found f = first(p, 2, second);
    EXPECT_EQ(f.items, (std::vector<int>{0, 2}));
    EXPECT_EQ(f.support, 2);
  }
}

TEST(FirstMfi, NodesMeetingAtOneAncestorMerge) {
  // Item 3 under 1 and under 2, both below the same node 0.
  Prepared p("0 1 3\n0 2 3\n0\n0\n0\n1\n1\n1\n2\n2\n", 2, false);
  ASSERT_EQ(p.ctx->order_item, (std::vector<int>{0, 1, 2, 3}));
  for (bool second : {false, true}) {
    Found f = first(p, 3, second);
    EXPECT_EQ(f.items, (std::vector<int>{0, 3}));
    EXPECT_EQ(f.support, 2);
  }
}

TEST(FirstMfi, EveryLowerPositionAccepted) {
  Prepared p("0 1 2 3 4 5 6\n0 1 2 3 4 5 6\n0\n", 2, false);
  for (bool second : {false, true}) {
    Found f = first(p, 6, second);
    EXPECT_EQ(f.n, 7);
    EXPECT_EQ(f.items, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(f.support, 2);
  }
}

// Both variants find the same greedy itemset; it is frequent with the
// reported support, and no lower item can be added to it.
TEST(FirstMfi, VariantsAgreeAndFindMaximalExtensions) {
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    if (db.transactions.empty()) continue;
    const int minsup = 1 + static_cast<int>(seed % 3);
    Prepared p(db.text, minsup, false, MiningTarget::maximal, /*sparse_pairs=*/seed % 2 == 0);
    const int f = p.tree().num_items;
    for (int pos = 0; pos < f; ++pos) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " position " + std::to_string(pos));
      const Found a = first(p, pos, false);
      const Found b = first(p, pos, true);
      EXPECT_EQ(a.items, b.items);
      EXPECT_EQ(a.support, b.support);
      auto support_of = [&](std::vector<int> items) {
        std::sort(items.begin(), items.end());
        int n = 0;
        for (const auto& t : db.transactions)
          if (std::includes(t.begin(), t.end(), items.begin(), items.end())) ++n;
        return n;
      };
      EXPECT_EQ(a.support, support_of(a.items));
      for (int q = 0; q < pos; ++q) {
        const int id = p.ctx->order_item[q];
        if (std::find(a.items.begin(), a.items.end(), id) != a.items.end()) continue;
        std::vector<int> bigger = a.items;
        bigger.push_back(id);
        EXPECT_LT(support_of(bigger), minsup) << "item " << id << " could join";
      }
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
