// Head extension on hand-made recorded itemsets.
#include <gtest/gtest.h>

#include "support/prepared.h"

namespace zub {
namespace {

using test::Prepared;

// A main tree whose positions equal the file ids, the head item h on the
// stack, its tail and supports as Mine_Max leaves them, and the temporary
// list rebuilt by the subset check against the given recorded itemsets.
struct Extension {
  Prepared prep;
  int h;
  std::vector<int> tail;
  std::vector<Fnode*> nodes;
  int tlen = 0;
  int node_count = 0;

  Extension(const char* db, int threshold, int head, std::vector<std::vector<int>> recorded)
      : prep(db, threshold, false), h(head) {
    Context& c = *prep.ctx;
    for (int p = 0; p < static_cast<int>(c.order_item.size()); ++p) EXPECT_EQ(c.order_item[p], p);
    for (auto& r : recorded) {
      for (int p : r) c.current_fi[p] = true;
      prep.root_mfi().insert(c.current_fi.get(), static_cast<int>(r.size()));
    }
    FI_tree& t = prep.tree();
    for (const NodeRef r : t.chain(h)) {
      const Fnode* n = t.node(r);
      for (const Fnode* a = t.node(n->parent); a != t.root; a = t.node(a->parent)) c.supp[a->item] += n->count;
    }
    for (int q = 0; q < h; ++q) {
      if (c.supp[q] >= threshold)
        tail.push_back(q);
      else
        c.supp[q] = 0;
    }
    tlen = static_cast<int>(tail.size());
    EXPECT_FALSE(prep.root_mfi().is_subset(h, tail.data(), tlen));
    for (const NodeRef r : t.chain(h)) nodes.push_back(t.node(r));
    node_count = static_cast<int>(nodes.size());
    prep.list().items[0] = h;
    prep.list().len = 1;
  }
  int run() { return prep.tree().head_increase(tail.data(), tlen, nodes.data(), node_count); }
  std::vector<int> pushed() const {
    std::vector<int> s = prep.stack_items();
    return std::vector<int>(s.begin() + 1, s.end());
  }
};

TEST(HeadIncrease, ForcedItemsNoLongerFrequentTogether) {
  // Recorded {0,1,3} misses 2 and {0,2,3} misses 1: both are forced, but no
  // transaction holds 3 with 1 and 2.
  Extension x("0 1 3\n0 1 3\n0 2 3\n0 2 3\n0\n0\n1\n1\n1\n2\n2\n", 2, 3, {{0, 1, 3}, {0, 2, 3}});
  ASSERT_EQ(x.tail, (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(x.prep.tem().has[0], 2);
  EXPECT_EQ(x.run(), 2);
  EXPECT_EQ(x.tlen, -1);
  std::vector<int> forced = x.pushed();
  std::sort(forced.begin(), forced.end());
  EXPECT_EQ(forced, (std::vector<int>{1, 2}));
  for (int q = 0; q < 3; ++q) EXPECT_EQ(x.prep.ctx->supp[q], 0);
}

TEST(HeadIncrease, RecordedItemsetHoldsWhatIsLeft) {
  // {0,1,2,4} misses 3, so 3 is forced; with 3 only 0 stays frequent, and
  // the recorded {0,3,4} holds 0 and 3.
  Extension x("0 1 2 4\n0 1 2 4\n0 3 4\n0 3 4\n0\n0\n0\n0\n1\n1\n1\n2\n2\n2\n3\n3\n", 2, 4,
              {{0, 1, 2, 4}, {0, 3, 4}});
  ASSERT_EQ(x.tail, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(x.run(), 1);
  EXPECT_EQ(x.pushed(), (std::vector<int>{3}));
  EXPECT_EQ(x.tlen, -2);
}

TEST(HeadIncrease, ItemMissedByTwoEntriesIsForcedOnce) {
  // Both recorded itemsets miss only 2 of the tail 0, 1, 2; items 3 and 4
  // never occur with the head 5.
  Extension x("0 1 2 5\n0 1 2 5\n0\n0\n0\n0\n0\n1\n1\n1\n1\n2\n2\n2\n3\n3\n3\n3\n4\n4\n4\n", 2, 5,
              {{0, 1, 3, 5}, {0, 1, 4, 5}});
  ASSERT_EQ(x.tail, (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(x.prep.tem().count, 2);
  EXPECT_EQ(x.run(), 1);
  EXPECT_EQ(x.pushed(), (std::vector<int>{2}));
  EXPECT_EQ(x.tlen, 2);
  EXPECT_EQ(std::vector<int>(x.tail.begin(), x.tail.begin() + 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(x.node_count, 1);
  EXPECT_EQ(x.prep.ctx->supp[0], 2);
  EXPECT_EQ(x.prep.tem().count, 0) << "neither recorded itemset holds the forced item";
}

}  // namespace
}  // namespace zub
