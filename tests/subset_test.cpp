// Subset checks against an MFI-tree and the temporary list they rebuild.
#include <gtest/gtest.h>

#include "support/prepared.h"

namespace zub {
namespace {

using test::Prepared;
using test::path_items;

// n items whose positions equal their file ids (supports n down to 1).
std::string chain_db(int n) {
  std::string text;
  for (int k = 0; k < n; ++k) {
    for (int x = 0; x < n - k; ++x) text += std::to_string(x) + " ";
    text += "\n";
  }
  return text;
}

struct SubsetFixture : ::testing::Test {
  Prepared prep{chain_db(16), 1, /*remove_prefix=*/false};
  MFI_tree& m = prep.root_mfi();
  void record(std::vector<int> positions) {
    bool* f = prep.ctx->current_fi.get();
    for (int p : positions) f[p] = true;
    m.insert(f, static_cast<int>(positions.size()));
  }
  void set_stack(std::vector<int> items) {
    stack& list = prep.list();
    list.len = 0;
    for (int x : items) list.items[list.len++] = x;
  }
};

TEST_F(SubsetFixture, HeadWithoutANode) {
  const int tail[] = {1, 2};
  EXPECT_FALSE(m.is_subset(7, tail, 2));
  EXPECT_EQ(prep.tem().count, 0);
  set_stack({7, 2});
  EXPECT_FALSE(m.is_subset());
  set_stack({7});
  EXPECT_FALSE(m.is_subset());
  EXPECT_EQ(prep.ctx->SUBCHECK_NO, 3);
}

TEST_F(SubsetFixture, EmptyTailAndAHeadNode) {
  record({1, 7});
  prep.tem().count = 42;  // left alone by the early answer
  EXPECT_TRUE(m.is_subset(7, nullptr, 0));
  EXPECT_EQ(prep.tem().count, 42);
  set_stack({7});
  EXPECT_TRUE(m.is_subset());
}

TEST_F(SubsetFixture, NodeUnderTheRootHoldsNoTailItem) {
  record({7});
  const int tail[] = {3};
  EXPECT_FALSE(m.is_subset(7, tail, 1));
  ASSERT_EQ(prep.tem().count, 1);
  EXPECT_EQ(prep.tem().has[0], 0);
}

TEST_F(SubsetFixture, ListIsRebuiltBestFirst) {
  record({0, 1, 2, 9});
  record({0, 1, 2, 3, 4, 9});
  record({5, 9});
  const int tail[] = {0, 1, 2, 3, 4, 5};
  EXPECT_FALSE(m.is_subset(9, tail, 6));
  mfi_tem& tem = prep.tem();
  ASSERT_EQ(tem.count, 3);
  EXPECT_EQ(tem.has[0], 5);
  EXPECT_EQ(tem.has[1], 3);
  EXPECT_EQ(tem.has[2], 1);
  EXPECT_EQ(path_items(tem, 0), (std::vector<int>{9, 4, 3, 2, 1, 0}));
  for (int x = 0; x < prep.ctx->ITEM_NO; ++x) EXPECT_FALSE(tem.flags[x]);
  // A tail inside one recorded itemset: true, and the list is emptied.
  const int inside[] = {1, 3};
  EXPECT_TRUE(m.is_subset(9, inside, 2));
  EXPECT_EQ(tem.count, 0);
  EXPECT_EQ(tem.has[0], 0);
}

TEST_F(SubsetFixture, StackCheckFollowsOnePath) {
  record({0, 2, 4, 6, 9});
  record({1, 2, 5, 9});
  set_stack({9, 0, 4, 6});  // head, then ascending positions
  EXPECT_TRUE(m.is_subset());
  set_stack({9, 2, 5});
  EXPECT_TRUE(m.is_subset());
  set_stack({9, 0, 5});  // 0 and 5 lie on different paths
  EXPECT_FALSE(m.is_subset());
  set_stack({9, 0, 1, 2, 4, 6});  // longer than any path through a 9
  EXPECT_FALSE(m.is_subset());
  // The head sits above position stack_pos, here after two prefix items.
  m.stack_pos = 1;
  set_stack({14, 15, 9, 2, 6});
  EXPECT_TRUE(m.is_subset());
  m.stack_pos = -1;
}

TEST_F(SubsetFixture, ListGrowsBy5000SlotsWithTenSpare) {
  // Distinct paths ending in item 15 over subsets of positions 1..13; position
  // 0 stays out of every path so that the tail {0} is never found.
  memory pool(60, 4096, 8192, 2);
  auto record_many = [&](int n) {
    MFI_tree* fresh = pool.take<MFI_tree>(1);
    fresh->init(&pool, &prep.tree(), nullptr, kNoMnode, -1);
    bool* f = prep.ctx->current_fi.get();
    for (int mask = 1; mask <= n; ++mask) {
      std::vector<int> positions;
      for (int bit = 0; bit < 13; ++bit)
        if (mask & (1 << bit)) positions.push_back(bit + 1);
      positions.push_back(15);
      for (int p : positions) f[p] = true;
      fresh->insert(f, static_cast<int>(positions.size()));
    }
    return fresh;
  };
  const int tail[] = {0};
  EXPECT_FALSE(record_many(4990)->is_subset(15, tail, 1));
  EXPECT_EQ(prep.tem().count, 4990);
  EXPECT_EQ(prep.ctx->MFI_NO, 5000);
  EXPECT_FALSE(record_many(4991)->is_subset(15, tail, 1));
  EXPECT_EQ(prep.tem().count, 4991);
  EXPECT_EQ(prep.ctx->MFI_NO, 10000);
  EXPECT_EQ(prep.tem().entries.size(), 10000u);
  for (int k = 4991; k < 10000; ++k) {
    ASSERT_EQ(prep.tem().has[k], 0) << k;
    ASSERT_EQ(prep.tem().entries[k], kNoMnode) << k;
  }
}

TEST_F(SubsetFixture, NarrowingKeepsEntriesWithTheAddedItems) {
  record({0, 1, 2, 9});
  record({1, 3, 9});
  record({0, 3, 4, 9});
  const int tail[] = {0, 1, 2, 3, 4};
  ASSERT_FALSE(m.is_subset(9, tail, 5));
  mfi_tem& tem = prep.tem();
  // Empty added range: every entry stays, `has` is recounted and sorted.
  const int none[] = {0};
  const int new_tail[] = {1, 3, 4};
  EXPECT_FALSE(tem.is_subset(none, 1, 0, new_tail, 0, 2));
  ASSERT_EQ(tem.count, 3);
  EXPECT_EQ(std::vector<int>(tem.has.begin(), tem.has.begin() + 3), (std::vector<int>{2, 2, 1}));
  EXPECT_EQ(path_items(tem, 0), (std::vector<int>{9, 4, 3, 0}));
  EXPECT_EQ(path_items(tem, 2), (std::vector<int>{9, 2, 1, 0}));
  // Added item 3: the {0, 1, 2} entry goes.
  const int added[] = {3};
  const int rest[] = {0, 1, 4};
  EXPECT_FALSE(tem.is_subset(added, 0, 0, rest, 0, 2));
  ASSERT_EQ(tem.count, 2);
  EXPECT_EQ(tem.has[0], 2);
  EXPECT_EQ(tem.has[1], 1);
  // An entry holding the whole remaining tail answers at once.
  const int small[] = {4};
  EXPECT_TRUE(tem.is_subset(added, 0, 0, small, 0, 0));
  for (int x = 0; x < prep.ctx->ITEM_NO; ++x) EXPECT_FALSE(prep.ctx->current_fi[x]);
}

}  // namespace
}  // namespace zub
