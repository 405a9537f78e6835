// The FP-tree and MFI-tree dumps, and the stand-alone pattern-base walks
// and pair counting of the FP-tree.
#include <gtest/gtest.h>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using test::Capture;
using test::Prepared;

// Ids 0 to 5 alone, supports 6 down to 1: positions are ids, no pair is counted.
const char* kSixAlone = "0\n0\n0\n0\n0\n0\n1\n1\n1\n1\n1\n2\n2\n2\n2\n3\n3\n3\n4\n4\n5\n";

TEST(TreeDump, WorkedExample) {
  Prepared p("0 1\n0 2\n0 1\n1\n", 1, false);
  Capture c(*p.ctx);
  p.tree().print(c.file);
  EXPECT_EQ(c.text(),
            "\n\n---------------FP Tree------------\n\n"
            "Head table:\n"
            "0(3)\t 0( 3)  0( 3) \n"
            "1(3)\t 1( 3)  1( 1)  1( 2) \n"
            "2(1)\t 2( 1)  2( 1) \n"
            "\nOrder table:\t0  1  2  \n\n"
            " -1(   0)   0(   3)   1(   2) \n"
            "--------- ---------   2(   1) \n"
            "---------   1(   1) "
            "\n\n-----------End of FP Tree-------------\n\n");
}

TEST(TreeDump, PairArrayRowsAndAnEmptyTree) {
  Prepared p("0 1 2 3 4 5\n0 1 2 3 4 5\n", 1, false);
  Capture c(*p.ctx);
  p.tree().print(c.file);
  const std::string dump = c.text();
  EXPECT_NE(dump.find("Array:\n        0    1    2    3    4 \n"
                      "  5:    2    2    2    2    2 \n  4:    2    2    2    2 \n  3:    2    2    2 \n"
                      "  2:    2    2 \n  1:    2 \n\nOrder table:"),
            std::string::npos)
      << dump;

  // Every id frequent at 0, none in a transaction: header and root only.
  Prepared empty("\n", 0, false);
  Capture e(*empty.ctx);
  empty.tree().print(e.file);
  EXPECT_EQ(e.text(),
            "\n\n---------------FP Tree------------\n\nHead table:\n0(0)\t 0( 0) \n\nOrder table:\t0  \n\n"
            " -1(   0) \n\n-----------End of FP Tree-------------\n\n");
}

TEST(MfiTreeDump, PathsAndChains) {
  Prepared p("1 2\n1 3\n2 3\n", 1);  // positions: 1, 2, 3 as 0, 1, 2
  MFI_tree& m = p.root_mfi();
  const int a[] = {-1, 0, 2}, b[] = {-1, 1, 2};
  m.insert(a, 0, 3);
  m.insert(b, 0, 3);
  Capture c(*p.ctx);
  m.print(false, c.file);
  EXPECT_EQ(c.text(),
            "\n\n-------------MFI Tree-------------\n\n2 MFIs, Position: -1. Stack: \n"
            "Head table:\n0\t 0( 1) \n1\t 1( 1) \n2\t 2( 2)  2( 2) \n"
            "\nOrder table:\t0  1  2  \n\n"
            "  -1         0( 1)     2( 2)  \n  --         1( 1)     2( 2)  "
            "\n\n------------End of MFI-------------\n\n");
}

TEST(PatternBase, PairRowAndTopSupport) {
  Prepared p(kSixAlone, 1, false);  // six items: a pair-count array
  p.ctx->THRESHOLD = 2;
  p.ctx->list = std::make_unique<stack>(7, true);
  FI_tree& t = p.tree();
  const int pairs[][2] = {{0, 3}, {1, 3}, {2, 3}};
  const int counts[] = {2, 1, 5};
  for (int k = 0; k < 3; ++k) t.add_pairs(pairs[k], 2, counts[k]);
  stack& list = p.list();
  list.items[0] = 3;
  list.len = 1;
  EXPECT_EQ(t.conditional_pattern_base(3, true), 2);
  EXPECT_EQ(std::vector<int>(p.ctx->tail.begin(), p.ctx->tail.begin() + 2), (std::vector<int>{0, 2}));
  EXPECT_EQ(p.ctx->supp, (std::vector<int>{2, 0, 5, 0, 0, 0}));
  EXPECT_EQ(list.item_supports[0], 5) << "the frequent item of highest position wins";
  // Position 0 has no pattern base, and no node of 5 has an ancestor.
  EXPECT_EQ(t.conditional_pattern_base(0, false), 0);
  std::fill(p.ctx->supp.begin(), p.ctx->supp.end(), 0);
  EXPECT_EQ(t.conditional_pattern_base(t.heads[5], false), 0);
  EXPECT_EQ(p.ctx->supp, std::vector<int>(6, 0));
}

TEST(PatternBase, ChainWalkAgreesWithPairRows) {
  int rows_checked = 0;
  for (std::uint32_t seed = 1; seed <= 80; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    Prepared p(db.text, 2, false);
    FI_tree& t = p.tree();
    Context& c = *p.ctx;
    for (int pos = 1; pos < t.num_items; ++pos) {
      if (!t.has_pair_row(pos)) continue;
      ++rows_checked;
      const int k = t.conditional_pattern_base(t.pos_item[pos], false);
      const std::vector<int> tail(c.tail.begin(), c.tail.begin() + k), supp = c.supp;
      std::fill(c.supp.begin(), c.supp.end(), 0);
      ASSERT_EQ(t.conditional_pattern_base(t.heads[pos], false), k) << "seed " << seed << " position " << pos;
      EXPECT_EQ(std::vector<int>(c.tail.begin(), c.tail.begin() + k), tail);
      EXPECT_EQ(c.supp, supp);
      std::fill(c.supp.begin(), c.supp.end(), 0);
    }
  }
  EXPECT_GT(rows_checked, 100);
}

TEST(PatternBase, FillCountCompactsAndCountsPairs) {
  Prepared p(kSixAlone, 1, false);
  FI_tree& t = p.tree();
  std::vector<int> origin(6, -1);
  origin[4] = 4;
  t.fill_count(origin.data(), 7);
  EXPECT_EQ(p.ctx->compact[0], 4);
  EXPECT_EQ(origin, std::vector<int>(6, -1));
  for (int b = 0; b < 4; ++b) EXPECT_EQ(t.pair_count(b, 4), 0);
  origin[1] = 1;
  origin[4] = 4;
  origin[5] = 5;
  t.fill_count(origin.data(), 3);
  EXPECT_EQ(t.pair_count(1, 4), 3);
  EXPECT_EQ(t.pair_count(1, 5), 3);
  EXPECT_EQ(t.pair_count(4, 5), 3);
  EXPECT_EQ(t.pair_count(0, 5), 0);
}

}  // namespace
}  // namespace zub
