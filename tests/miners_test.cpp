// The library's other miners: subset enumeration of FP_growth, the CFI-tree,
// and the state that Mine_Max_Projected, Mine_Closed and FP_growth leave.
#include <gtest/gtest.h>

#include <algorithm>
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
  const int path[] = {-1, 1, 3, 4};
  t.insert(path, 0, 4, 2);
  t.insert(path, 0, 3, 5);  // 1 3: a prefix of the first, with a higher support
  t.insert(path, 0, 1, 9);  // nothing to record, but counted at the root
  EXPECT_EQ(t.cfi_count, 3);
  EXPECT_EQ(t.heads[1]->count, 5);
  EXPECT_EQ(t.heads[3]->count, 5);
  EXPECT_EQ(t.heads[4]->count, 2);
  EXPECT_EQ(t.heads[3]->link, nullptr) << "no node is added for an existing path";

  // Level item 4 with 1 above it lies on the path 1 3 4, of count 2.
  stack& list = p.list();
  auto holds = [&](std::vector<int> items, int support) {
    std::copy(items.begin(), items.end(), list.items);
    list.len = static_cast<int>(items.size());
    return t.is_subset(support);
  };
  EXPECT_TRUE(holds({4, 1}, 2));
  EXPECT_FALSE(holds({4, 1}, 3));
  EXPECT_TRUE(holds({4}, 2));
  EXPECT_FALSE(holds({0}, 0)) << "no node of 0";
  EXPECT_FALSE(holds({4, 0}, 1));

  int items[] = {5, 3, 1, 4, 2};
  t.order_FS(items, 1, 3);
  EXPECT_EQ(std::vector<int>(items, items + 5), (std::vector<int>{5, 1, 3, 4, 2}));
}

// Each miner leaves the scratch state clear and only the root tree
// registered, counts in ITlen exactly what it writes, and the same without
// a writer.
TEST(Miners, StateAfterARunAndLengthTallies) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    for (MiningTarget target : {MiningTarget::maximal, MiningTarget::closed, MiningTarget::all}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " target " + std::to_string(int(target)));
      std::vector<int> tallies[2];
      for (int with_writer : {1, 0}) {
        Prepared p(db.text, 1 + static_cast<int>(seed % 3), true, target);
        const bool maximal = target == MiningTarget::maximal;
        if (p.main.frequent == 0 || (maximal && p.main.single_prefix == p.main.frequent)) break;
        Capture c(*p.ctx);
        std::vector<long long> lengths;
        c.out.count_lengths(&lengths);
        FSout* out = with_writer ? &c.out : nullptr;
        FI_tree& t = p.tree();
        maximal ? t.Mine_Max_Projected(out) : target == MiningTarget::closed ? t.Mine_Closed(out) : t.FP_growth(out);
        const Context& ctx = *p.ctx;
        auto registered = [](const auto& slots) {
          return std::count_if(slots.begin(), slots.end(), [](auto* x) { return x != nullptr; });
        };
        EXPECT_EQ(ctx.supp, std::vector<int>(ctx.supp.size(), 0));
        EXPECT_EQ(std::count(ctx.current_fi.get(), ctx.current_fi.get() + ctx.ITEM_NO, true), 0);
        EXPECT_EQ(registered(ctx.mfitrees), maximal ? 1 : 0);
        EXPECT_EQ(registered(ctx.cfitrees), target == MiningTarget::closed ? 1 : 0);
        tallies[with_writer] = ctx.ITlen;
        if (!with_writer) continue;
        c.text();
        lengths.resize(ctx.ITlen.size() + 1, 0);
        EXPECT_EQ(std::vector<int>(lengths.begin() + 1, lengths.end()), ctx.ITlen);
        if (!maximal) continue;
        EXPECT_EQ(p.root_mfi().mfi_count, std::accumulate(lengths.begin(), lengths.end(), 0LL));
      }
      EXPECT_EQ(tallies[0], tallies[1]);
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
