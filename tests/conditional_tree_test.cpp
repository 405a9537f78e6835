// Conditional FP-trees: the three forms of the first scan, and the trees of a
// wide parent against the tries of their prefix paths.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/prepared.h"
#include "support/tree_checks.h"

namespace zub {
namespace {

using namespace zub::test;

// Random tails with random supports and a random covered part (given by the
// best listed itemset, by flags, or as a list) through each form of the
// first scan: the covered items come first, each part in descending support
// (the list form keeps the tail's order and takes the covered items it
// meets in order), the header follows, the supports are read and cleared,
// and a pair array is made for more than five items below a branchy parent.
TEST(ConditionalTree, FirstScanFormsOrderTheTail) {
  constexpr int kItems = 12;
  Prepared p(nested_db(kItems), request(1));  // positions equal the ids
  FI_tree& parent = p.tree();
  Workspace& ws = p.ws();
  memory mfi_pool(60, 4096, 8192, 2);
  std::mt19937 rng(11);
  for (int round = 0; round < 600; ++round) {
    const int form = round % 3;
    std::vector<int> tail, covered, supports;
    for (int q = 0; q < kItems - 1; ++q)
      if (rng() % 2 == 0) {
        tail.push_back(q);
        supports.push_back(1 + static_cast<int>(rng() % 4));
        if (rng() % 3 == 0) covered.push_back(q);
        ws.trees.tail[tail.size() - 1] = q;
        ws.trees.supp[q] = supports.back();
      }
    const int n = static_cast<int>(tail.size()), c = static_cast<int>(covered.size());
    parent.set_level_25_percent(std::vector<double>{std::nan(""), 15.0, 15.5, 40.0}[rng() % 4]);
    SCOPED_TRACE("round " + std::to_string(round));
    const int projections = ws.trees.counters.projections;
    const TreeMark mark(ws.trees);
    FI_tree& t = *ws.trees.pool.make<FI_tree>(p.run->settings(), &ws.trees, ws.trees.pool, ws.trees.nodes,
                                              parent.num_items(), n);
    if (form == 0) {
      p.tem().count = c > 0;
      MFI_tree& m = *mfi_pool.take<MFI_tree>(1);
      m.init(&mfi_pool, &parent, nullptr, kNoMnode, -1);
      std::vector<int> entry = covered;
      entry.push_back(kItems - 1);  // the head item
      m.enter(entry.data(), c + 1, 0);
      p.tem().tree = &m;
      p.tem().entries[0] = m.heads[kItems - 1];
      p.tem().has[0] = c;
      t.scan1_DB(&parent, &p.tem());
    } else if (form == 1) {
      std::unique_ptr<bool[]> flags(new bool[kItems]());
      for (int x : covered) flags[x] = true;
      t.scan1_DB(&parent, flags.get(), c);
    } else {
      if (rng() % 4 == 0) std::shuffle(covered.begin(), covered.end(), rng);  // out of order: partly met
      t.scan1_DB(&parent, nullptr, nullptr, supports.data(), covered.data(), c);
    }
    std::vector<int> front, back;
    for (int k = 0, j = 0; k < n; ++k) {
      const bool in = form == 2 ? j < c && tail[k] == covered[j] : std::count(covered.begin(), covered.end(), tail[k]);
      (in ? front : back).push_back(tail[k]);
      j += form == 2 && in;
    }
    const int f = static_cast<int>(front.size());
    EXPECT_EQ(t.covered_len(), f);
    std::vector<int> order(t.items_by_position(), t.items_by_position() + n);
    if (form != 2) {
      std::sort(order.begin(), order.begin() + f);
      std::sort(order.begin() + f, order.end());
    }
    front.insert(front.end(), back.begin(), back.end());
    EXPECT_EQ(order, front);
    for (int i = 0; i < n; ++i) {
      const int s = supports[std::find(tail.begin(), tail.end(), t.pos_item(i)) - tail.begin()];
      EXPECT_EQ(t.support(i), s);
      EXPECT_TRUE(form == 2 || i == 0 || i == f || t.support(i - 1) >= s) << "each part by descending support";
      EXPECT_EQ(t.item_pos(t.pos_item(i)), i);
      EXPECT_EQ(t.head(i)->item, t.pos_item(i));
      EXPECT_EQ(t.head(i)->count, s);
    }
    EXPECT_EQ(std::count(ws.trees.supp.begin(), ws.trees.supp.end(), 0), kItems);
    EXPECT_EQ(std::count(ws.trees.flags.data(), ws.trees.flags.data() + kItems, true), 0);
    EXPECT_EQ(ws.trees.counters.projections, projections + 1);
    const bool pairs = n > 5 && parent.level_25_percent() > 15.0;
    EXPECT_EQ(t.has_pair_counts(), pairs);
    EXPECT_EQ(pairs ? t.pair_rows() : -1, pairs ? (f == 0 ? n - 1 : n - f - 1) : -1);
  }
}

// The conditional trees of a wide parent, of up to a few hundred items, are
// the tries of their prefix paths: every path climbed from the parent's
// nodes, cut to the child's items and put in the child's order, built from
// the head node or from a list of nodes.
TEST(ConditionalTree, WideParentsGiveTheTriesOfTheirPrefixPaths) {
  std::mt19937 rng(7);
  std::string text;
  constexpr int kItems = 420;
  for (int n = 0; n < 1500; ++n, text += "\n")
    for (int x = 0; x < kItems; ++x)
      if (std::uniform_real_distribution<double>(0, 1)(rng) < 0.12 * (1.0 - 0.8 * x / kItems))
        text += std::to_string(x) + " ";
  Prepared prep(text, request(2));
  Workspace& ws = prep.ws();
  FI_tree& parent = prep.tree();
  ASSERT_GT(parent.num_items(), 300);
  bool sizes_seen[3] = {};  // up to 64 items, up to 256, more: every way of ordering a path
  for (int p = parent.num_items() - 1; p > 0; p -= 7) {
    std::fill(ws.trees.supp.begin(), ws.trees.supp.end(), 0);
    const int tlen = parent.collect_tail(p);
    if (tlen == 0) continue;
    const TreeMark mark(ws.trees);
    FI_tree* t = parent.conditional_tree(tlen);
    std::vector<Fnode*> nodes;
    for (const NodeRef r : parent.chain(p)) nodes.push_back(parent.node(r));
    if (p % 2 == 0)
      t->scan2_DB(&parent, parent.head(p));
    else
      t->scan2_DB(&parent, nodes.data(), static_cast<int>(nodes.size()));
    sizes_seen[tlen <= 64 ? 0 : tlen <= 256 ? 1 : 2] = true;
    Trie trie;
    for (const Fnode* node : nodes) {
      std::vector<int> path;
      for (NodeRef a = node->parent; a != parent.root_ref(); a = parent.node(a)->parent)
        if (t->item_pos(parent.node(a)->item) != -1) path.push_back(t->item_pos(parent.node(a)->item));
      std::sort(path.begin(), path.end());
      trie.add(path, node->count);
    }
    SCOPED_TRACE("position " + std::to_string(p) + " with " + std::to_string(tlen) + " items");
    expect_tree(*t, trie);
  }
  EXPECT_TRUE(sizes_seen[0] && sizes_seen[1] && sizes_seen[2]);
}

}  // namespace
}  // namespace zub
