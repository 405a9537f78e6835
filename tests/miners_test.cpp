// The library's other miners: subset enumeration of FP_growth, the CFI-tree,
// and the state that Mine_Max_Projected, Mine_Closed and FP_growth leave.
#include <gtest/gtest.h>

#include <numeric>

#include "fp_tree/cfi_tree.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using test::Capture;
using test::Prepared;

// Ids 0 to 5 alone, supports 6 down to 1: positions are ids, no pair is counted.
const char* kSixAlone = "0\n0\n0\n0\n0\n0\n1\n1\n1\n1\n1\n2\n2\n2\n2\n3\n3\n3\n4\n4\n5\n";

TEST(Powerset, SinglePathOrderAndSupports) {
  // One path 1 - 2 - 3 (supports 3, 2, 1), listed above the empty stack.
  Prepared p("1 2 3\n1 2\n1\n", 1, MiningTarget::all);
  stack& list = p.list();
  for (int k = 0; k < 3; ++k) list.items[k] = k;
  Capture c(*p.ctx);
  p.tree().generate_all(3, &c.out);
  EXPECT_EQ(c.text(), "3 (1)\n2 (2)\n2 3 (1)\n1 (3)\n1 3 (1)\n1 2 (2)\n1 2 3 (1)\n");
  EXPECT_EQ(p.ctx->ITlen, (std::vector<int>{3, 3, 1}));

  // An empty range writes the buffer once, or nothing when it is empty too.
  const std::size_t before = c.text().size();
  int buf[3] = {0, 1, 0};
  p.tree().powerset(buf, 0, list.items, 0, 0, &c.out);
  EXPECT_EQ(c.text().size(), before);
  list.items[0] = 2;
  list.len = 1;
  p.tree().powerset(buf, 2, list.items, 1, 1, &c.out);
  EXPECT_EQ(c.text().substr(before), "3 1 2 (2)\n");
}

TEST(CfiTree, RecordingCountsAndChecks) {
  Prepared p(kSixAlone, 1, MiningTarget::closed);
  CFI_tree& t = *p.run->root_cfi();
  EXPECT_EQ(t.root->first_child, nullptr);
  stack& list = p.list();
  const int path[] = {-1, 1, 3, 4};
  t.insert(path, 0, 4, 2);
  t.insert(path, 0, 3, 5);  // 1 3: a prefix of the first, with a higher support
  EXPECT_EQ(t.cfi_count, 2);
  EXPECT_EQ(t.heads[1]->count, 5);
  EXPECT_EQ(t.heads[3]->count, 5);
  EXPECT_EQ(t.heads[4]->count, 2);
  EXPECT_EQ(t.heads[3]->link, nullptr) << "no node is added for an existing path";
  t.insert(path, 0, 1, 9);  // nothing to record, but counted at the root
  bool flags[6] = {};
  t.insert(flags, 9, 0);
  EXPECT_EQ(t.cfi_count, 4);
  EXPECT_EQ(t.root->first_child->next_sibling, nullptr);

  // The level item 4 with 1 above it lies on the path 1 3 4 of count 2.
  list.items[0] = 4;
  list.items[1] = 1;
  list.len = 2;
  EXPECT_TRUE(t.is_subset(2));
  EXPECT_FALSE(t.is_subset(3));
  list.len = 1;
  EXPECT_TRUE(t.is_subset(2));
  list.items[0] = 0;
  EXPECT_FALSE(t.is_subset(0)) << "no node of 0";
  list.items[0] = 4;
  list.items[1] = 0;
  list.len = 2;
  EXPECT_FALSE(t.is_subset(1));

  int items[] = {5, 3, 1, 4, 2};
  t.order_FS(items, 1, 3);
  EXPECT_EQ(std::vector<int>(items, items + 5), (std::vector<int>{5, 1, 3, 4, 2}));
  t.order_FS(items, 2, 2);
  EXPECT_EQ(items[2], 3);

  // update_cfi_trees records the stack above each tree's level item, and
  // skips a tree with nothing above it.
  list.items[0] = 5;
  list.items[1] = 2;
  list.items[2] = 0;
  list.len = 3;
  update_cfi_trees(*p.ctx, 1, 4);
  EXPECT_EQ(t.cfi_count, 5);
  ASSERT_NE(t.heads[2], nullptr);
  EXPECT_EQ(t.heads[2]->parent->item, 0);
  EXPECT_EQ(t.heads[2]->depth, 2) << "path 0 2 is a new branch of the root";
  list.len = 1;
  update_cfi_trees(*p.ctx, 1, 4);
  EXPECT_EQ(t.cfi_count, 5);
  for (int k = 0; k < 6; ++k) EXPECT_FALSE(p.ctx->current_fi[k]);
}

// Each miner leaves the scratch state clear, registers nothing it released,
// counts in ITlen exactly what it writes, and counts the same without a writer.
TEST(Miners, StateAfterARunAndLengthTallies) {
  const MiningTarget targets[] = {MiningTarget::maximal, MiningTarget::closed, MiningTarget::all};
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    const int minsup = 1 + static_cast<int>(seed % 3);
    for (MiningTarget target : targets) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " target " + std::to_string(int(target)));
      std::vector<int> written_tally, silent_tally;
      for (bool with_writer : {true, false}) {
        Prepared p(db.text, minsup, true, target);
        if (p.main.frequent == 0 || (target == MiningTarget::maximal && p.main.single_prefix == p.main.frequent))
          break;  // nothing to mine, or the driver's one-path shortcut
        Capture c(*p.ctx);
        std::vector<long long> lengths;
        c.out.count_lengths(&lengths);
        FSout* out = with_writer ? &c.out : nullptr;
        FI_tree& t = p.tree();
        target == MiningTarget::maximal ? t.Mine_Max_Projected(out)
        : target == MiningTarget::closed ? t.Mine_Closed(out)
                                         : t.FP_growth(out);
        Context& ctx = *p.ctx;
        EXPECT_EQ(ctx.supp, std::vector<int>(ctx.supp.size(), 0));
        for (int k = 0; k < ctx.ITEM_NO; ++k) EXPECT_FALSE(ctx.current_fi[k]);
        const std::size_t root_slot = target == MiningTarget::maximal ? ctx.FIRST_TREE_POS + 1 : 0;
        for (std::size_t k = 0; k < ctx.mfitrees.size(); ++k) {
          if (k == root_slot) continue;
          EXPECT_EQ(ctx.mfitrees[k], nullptr) << k;
        }
        for (std::size_t k = 1; k < ctx.cfitrees.size(); ++k) EXPECT_EQ(ctx.cfitrees[k], nullptr) << k;
        if (with_writer) {
          c.text();
          lengths.resize(ctx.ITlen.size() + 1, 0);
          for (std::size_t len = 1; len < lengths.size(); ++len)
            EXPECT_EQ(ctx.ITlen[len - 1], lengths[len]) << "length " << len;
          written_tally = ctx.ITlen;
          if (target == MiningTarget::maximal) {
            EXPECT_EQ(p.root_mfi().mfi_count, std::accumulate(lengths.begin(), lengths.end(), 0LL));
          }
        } else {
          silent_tally = ctx.ITlen;
        }
      }
      EXPECT_EQ(written_tally, silent_tally);
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
