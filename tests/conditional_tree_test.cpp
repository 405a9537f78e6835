// Conditional FP-trees and the pool ladder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "support/prepared.h"
#include "support/tree_checks.h"

namespace zub {
namespace {

using test::Prepared;

std::string shape(const FI_tree& t, NodeRef node) {
  std::ostringstream s;
  for (NodeRef c = t.links(node)->first_child; c != kNoNode; c = t.links(c)->next_sibling)
    s << t.node(c)->item << ':' << t.node(c)->count << '(' << shape(t, c) << ')';
  return s.str();
}

struct Conditional : ::testing::Test {
  // Positions equal file ids 0..7 (supports 8 down to 1).
  Prepared prep{"0 1 2 3 4 5 6 7\n0 1 2 3 4 5 6\n0 1 2 3 4 5\n0 1 2 3 4\n0 1 2 3\n0 1 2\n0 1\n0\n", 1, false};
  FI_tree& parent = prep.tree();
  memory mfi_pool{60, 4096, 8192, 2};

  // Tail items (parent positions) with their supports, as a miner leaves them.
  void set_tail(std::vector<int> items, std::vector<int> supports) {
    for (std::size_t k = 0; k < items.size(); ++k) {
      prep.ctx->tail[k] = items[k];
      prep.ctx->supp[parent.item_pos[items[k]]] = supports[k];
    }
  }
  // Lists one recorded itemset holding `items` as the best entry.
  void list_entry(std::vector<int> positions, int has) {
    MFI_tree* m = mfi_pool.take<MFI_tree>(1);
    m->init(&mfi_pool, &parent, nullptr, kNoMnode, -1);
    bool* f = prep.ctx->current_fi.get();
    for (int p : positions) f[p] = true;
    m->insert(f, static_cast<int>(positions.size()));
    prep.tem().entries[0] = m->heads[positions.back()];
    prep.tem().tree = m;
    prep.tem().has[0] = has;
    prep.tem().count = 1;
  }
  FI_tree* child(int n) {
    FI_tree* t = prep.ctx->fp_buf->take<FI_tree>(1);
    t->init(prep.ctx.get(), parent.num_items, n);
    return t;
  }
  std::vector<int> order(const FI_tree& t) { return std::vector<int>(t.pos_item, t.pos_item + t.num_items); }
  std::vector<int> sups(const FI_tree& t) { return std::vector<int>(t.supports, t.supports + t.num_items); }
};

TEST_F(Conditional, CoveredItemsComeFirst) {
  // Tail 1, 2, 3, 4 with 2 and 4 in the best listed itemset (with head 7).
  list_entry({2, 4, 7}, 2);
  set_tail({1, 2, 3, 4}, {5, 5, 5, 5});
  FI_tree* equal = child(4);
  equal->scan1_DB(&parent);
  EXPECT_EQ(order(*equal), (std::vector<int>{4, 2, 3, 1}));
  EXPECT_EQ(equal->covered_len, 2);
  set_tail({1, 2, 3, 4}, {8, 9, 2, 4});
  FI_tree* sorted = child(4);
  sorted->scan1_DB(&parent);
  EXPECT_EQ(order(*sorted), (std::vector<int>{2, 4, 1, 3})) << "each group by support";
  EXPECT_EQ(sups(*sorted), (std::vector<int>{9, 4, 8, 2}));
  for (int p = 0; p < 8; ++p) EXPECT_EQ(prep.ctx->supp[p], 0);
  for (int p = 0; p < 8; ++p) EXPECT_FALSE(prep.ctx->current_fi[p]);
  EXPECT_EQ(prep.ctx->PROJECT_NO, 2);
  EXPECT_EQ(sorted->item_pos[2], 0);
  EXPECT_EQ(sorted->item_pos[0], -1);
  EXPECT_EQ(sorted->heads[2]->item, 1);
  EXPECT_EQ(sorted->heads[2]->count, 8);
}

TEST_F(Conditional, PairArrayNeedsSixItemsAndADenseParent) {
  auto rows_for = [&](double level, int n, int covered) {
    parent.level_25_percent = level;
    std::vector<int> items, supports;
    for (int k = 0; k < n; ++k) {
      items.push_back(k);
      supports.push_back(10 - k);
    }
    if (covered > 0) {
      std::vector<int> entry(items.begin(), items.begin() + covered);
      entry.push_back(7);
      list_entry(entry, covered);
    } else {
      prep.tem().count = 0;
    }
    set_tail(items, supports);
    FI_tree* t = child(n);
    t->scan1_DB(&parent);
    return t->pair_counts == nullptr ? -1 : t->pair_rows;
  };
  EXPECT_EQ(rows_for(15.0, 6, 0), -1);
  EXPECT_EQ(rows_for(15.5, 6, 0), 5);
  EXPECT_EQ(rows_for(15.5, 5, 0), -1);
  EXPECT_EQ(rows_for(15.5, 7, 2), 4);
  EXPECT_EQ(rows_for(std::nan(""), 7, 0), -1);
}

TEST_F(Conditional, PathsOfRootChildrenAreEmpty) {
  Prepared flat("5\n6\n7\n", 1, false);
  FI_tree& p = flat.tree();
  flat.ctx->tail[0] = 0;
  flat.ctx->supp[0] = 1;
  FI_tree* t = flat.ctx->fp_buf->take<FI_tree>(1);
  t->init(flat.ctx.get(), p.num_items, 1);
  t->scan1_DB(&p);
  t->scan2_DB(&p, p.heads[2]);
  EXPECT_EQ(t->num_items, 1);
  EXPECT_EQ(t->links(t->root_ref)->first_child, kNoNode);
  EXPECT_TRUE(std::isnan(t->level_25_percent));
}

TEST_F(Conditional, PrefixPathsAddTheirCounts) {
  // Item 2's nodes: under 0 (count 2) and under 0-1 (count 3).
  Prepared db("0 2\n0 2\n0 1 2\n0 1 2\n0 1 2\n0\n0\n1\n1\n", 1, false);
  FI_tree& p = db.tree();
  ASSERT_EQ(db.ctx->order_item, (std::vector<int>{0, 1, 2}));
  auto build = [&](bool from_list) {
    db.ctx->tail[0] = 0;
    db.ctx->tail[1] = 1;
    db.ctx->supp[0] = 5;
    db.ctx->supp[1] = 3;
    FI_tree* t = db.ctx->fp_buf->take<FI_tree>(1);
    t->init(db.ctx.get(), p.num_items, 2);
    t->scan1_DB(&p);
    if (from_list) {
      std::vector<Fnode*> nodes;
      for (const NodeRef r : p.chain(2)) nodes.push_back(p.node(r));
      t->scan2_DB(&p, nodes.data(), static_cast<int>(nodes.size()));
    } else {
      t->scan2_DB(&p, p.heads[2]);
    }
    return t;
  };
  FI_tree* a = build(false);
  EXPECT_EQ(shape(*a, a->root_ref), "0:5(1:3())");
  FI_tree* b = build(false);
  FI_tree* c = build(true);
  EXPECT_EQ(shape(*b, b->root_ref), shape(*a, a->root_ref));
  EXPECT_EQ(shape(*c, c->root_ref), shape(*a, a->root_ref));
  EXPECT_EQ(db.ctx->PROJECT_NO, 3);
}

TEST_F(Conditional, VariantsWithGivenCoveredItems) {
  prep.tem().count = 0;
  set_tail({1, 2, 3, 4}, {6, 3, 9, 1});
  FI_tree* plain = child(4);
  plain->scan1_DB(&parent);
  set_tail({1, 2, 3, 4}, {6, 3, 9, 1});
  bool none[8] = {};
  FI_tree* flagged = child(4);
  flagged->scan1_DB(&parent, none, 0);
  EXPECT_EQ(order(*flagged), order(*plain));
  EXPECT_EQ(flagged->covered_len, 0);

  set_tail({1, 2, 3, 4}, {0, 0, 0, 0});
  const int tail_supports[] = {6, 3, 9, 1};
  const int covered[] = {2, 4};
  FI_tree* given = child(4);
  given->scan1_DB(&parent, nullptr, nullptr, tail_supports, covered, 2);
  EXPECT_EQ(order(*given), (std::vector<int>{2, 4, 1, 3}));
  EXPECT_EQ(sups(*given), (std::vector<int>{3, 1, 6, 9}));
  EXPECT_EQ(given->covered_len, 2);
}

TEST(PoolLadder, PoolSizeByPositionAndLevel) {
  FI_tree t{};
  t.num_items = 80;
  auto sizes = [&](int pos, int level, int base) {
    auto pool = t.allocate_buf(pos, level, base);
    EXPECT_EQ(pool->max_blocks, 60);
    EXPECT_EQ(pool->growth_start, 2);
    return std::make_pair(pool->first_size, pool->unit_size);
  };
  EXPECT_EQ(sizes(37, 0, 9), std::make_pair(4096L, 8192L));
  EXPECT_EQ(sizes(37, 2, 9), std::make_pair(2048L, 4096L));
  EXPECT_EQ(sizes(37, 4, 9), std::make_pair(512L, 1024L));
  EXPECT_EQ(sizes(5, 10, 12), std::make_pair(4096L, 8192L)) << "deep levels get the base size";
  t.num_items = 600;
  EXPECT_EQ(sizes(450, -1, 9), std::make_pair(8192L, 16384L));
  // The exponent stops one short of the table's end.
  EXPECT_EQ(sizes(450, -1, 40), std::make_pair(1L << 27, 1L << 28));
}

TEST(PoolLadder, StepGrowsOnceTwoThirdsOfTheSlotsAreUsed) {
  memory pool(60, 64, 64, 2);
  while (pool.last_block < 39) pool.newbuf(1, 4096);  // larger than any block: one each
  EXPECT_EQ(pool.fill_quotient(), 2);
  pool.newbuf(1, 4096);
  EXPECT_EQ(pool.last_block, 40);
  EXPECT_EQ(pool.fill_quotient(), 3);
}

// The conditional trees of a wide parent, of up to a few hundred items, are
// the tries of their prefix paths: every path climbed from the parent's
// nodes, cut to the child's items and put in the child's order. Their
// chains hold every node once, newest first.
TEST(ConditionalTrees, WideParentsGiveTheTriesOfTheirPrefixPaths) {
  std::mt19937 rng(7);
  std::string text;
  constexpr int kItems = 420;
  for (int n = 0; n < 1500; ++n) {
    for (int x = 0; x < kItems; ++x)
      if (std::uniform_real_distribution<double>(0, 1)(rng) < 0.12 * (1.0 - 0.8 * x / kItems)) text += std::to_string(x) + " ";
    text += "\n";
  }
  Prepared prep(text, 2, false);
  Context& c = *prep.ctx;
  FI_tree& parent = prep.tree();
  ASSERT_GT(parent.num_items, 300);
  bool sizes_seen[3] = {};  // up to 64 items, up to 256, more
  for (int p = parent.num_items - 1; p > 0; p -= 7) {
    std::fill(c.supp.begin(), c.supp.end(), 0);
    const int tlen = parent.collect_tail(p);
    if (tlen == 0) continue;
    const TreeMark mark(c);
    FI_tree* t = c.fp_buf->take<FI_tree>(1);
    t->init(&c, parent.num_items, tlen);
    t->scan1_DB(&parent);
    t->scan2_DB(&parent, parent.heads[p]);
    sizes_seen[tlen <= 64 ? 0 : tlen <= 256 ? 1 : 2] = true;

    test::Trie trie;
    for (const NodeRef r : parent.chain(p)) {
      std::vector<int> path;
      for (NodeRef a = parent.node(r)->parent; a != parent.root_ref; a = parent.node(a)->parent)
        if (t->item_pos[parent.node(a)->item] != -1) path.push_back(t->item_pos[parent.node(a)->item]);
      std::sort(path.begin(), path.end());
      trie.add(path, parent.node(r)->count);
    }
    SCOPED_TRACE("position " + std::to_string(p) + " with " + std::to_string(tlen) + " items");
    test::expect_trie(*t, trie);
    test::expect_chains_hold_every_node(*t);
  }
  EXPECT_TRUE(sizes_seen[0] && sizes_seen[1] && sizes_seen[2]) << "every way of ordering a path was taken";
}

}  // namespace
}  // namespace zub
