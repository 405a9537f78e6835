// The main FP-tree against what the tests count from the transactions: the
// first scan's item order and its single prefix; trees built by hand
// through insert, read by Single_path and stack::insert. (The tree as the
// trie of the transactions however it is read and built: ParallelRead; the
// pair counts: HeadWalks.)
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "support/prepared.h"
#include "support/random_db.h"
#include "support/tree_checks.h"

namespace zub {
namespace {

using namespace zub::test;

// Items by descending support, equal supports by ascending id, an id once per
// transaction; at threshold 0 every id up to the largest is frequent, unseen
// ones last; a share of the transactions is rounded up to a count.
TEST(FirstScan, ItemOrderSupportsAndThreshold) {
  const char* shares = "1 2\n1 2\n1 2\n1 3\n3\n\n\n";
  const struct {
    const char* db;
    int count;
    std::optional<Fraction> share;
    std::vector<int> order, supports;
    int threshold, transactions;
  } cases[] = {
      {"1 2\n1 2 3\n2\n", 2, {}, {2, 1}, {3, 2}, 2, 3},  {"", 1, {}, {}, {}, 1, 0},
      {"", 0, {}, {}, {}, 0, 0},                           {"3\n3 1\n\n", 0, {}, {3, 1, 0, 2}, {2, 1, 0, 0}, 0, 3},
      {"5 5 5\n5\n6\n7 7\n", 2, {}, {5}, {2}, 2, 4},       {"4 2\n2 4\n8\n", 1, {}, {2, 4, 8}, {2, 2, 1}, 1, 3},
      {shares, 99, Fraction{1, 2}, {1}, {4}, 4, 7},        {shares, 99, Fraction{3, 7}, {1, 2}, {4, 3}, 3, 7},
      {shares, 99, Fraction{0, 100}, {1, 2, 3, 0}, {4, 3, 2, 0}, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.db) + " at " + std::to_string(c.count));
    RunRequest req = request(c.count);
    req.min_support.share = c.share;
    Prepared p(c.db, req, false);
    const ItemMap& items = p.run->items();
    EXPECT_EQ(items.file_id, c.order);
    EXPECT_EQ(std::vector<int>(p.tree().supports(), p.tree().supports() + p.tree().num_items()), c.supports);
    EXPECT_EQ(p.run->settings().threshold, c.threshold);
    EXPECT_EQ(p.run->settings().transactions, c.transactions);
    // The way back by file id served the second pass and is gone.
    EXPECT_TRUE(items.position.empty());
    EXPECT_EQ(items.position_of(c.order.empty() ? 0 : c.order[0]), -1);
  }
  // The count array grows to 151 ids and keeps what it counted before.
  Prepared grown("5 100\n150 5\n100 99\n", request(2), false);
  EXPECT_EQ(grown.ids({0, 1}), (Itemset{5, 100}));
  EXPECT_EQ(grown.tree().support(1), 2);
}

// The single prefix agrees with the trie's (from the root down, nodes that
// are their parent's only child) for both kinds of build (from strings, and
// merged from trees with child links); taken off, the rest of the trie
// hangs from the root at positions shifted down.
TEST(SinglePrefix, FoundAndTakenOffAsInTheTrie) {
  Tuning batches;
  batches.main_build = MainBuild::link_trees;
  batches.build_batch_positions = 1;
  int seen_prefix = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    Database db = random_db(seed).transactions;
    for (auto& t : db)
      for (int k = 0; k < static_cast<int>(seed % 4); ++k) t.push_back(50000 + k);  // in every transaction
    if (seed % 3 == 0 && seed % 4 > 1) db.push_back({50000});
    for (const Tuning& tuning : {Tuning{}, batches}) {
      Prepared p(text_of(db), request(1, MiningTarget::maximal, tuning), false);
      FI_tree& t = p.tree();
      int expected = 0;
      const Trie trie = trie_of(db, p.run->items());
      for (const Trie* at = &trie; at->children.size() == 1; at = &at->children.begin()->second) ++expected;
      const int length = t.num_items() == 0 ? 0 : t.cal_single_prefix();
      ASSERT_EQ(length, expected) << "seed " << seed << " links " << t.child_links();
      seen_prefix += length > 0;
      if (length == t.num_items()) continue;  // one path: written whole, never taken off
      t.remove_single_prefix(length);
      t.make_chains();
      expect_tree(t, trie_of(db, p.run->items(), length));
    }
  }
  EXPECT_GT(seen_prefix, 40);
}

// Random itemsets inserted into a tree built by hand (item = position) give
// the trie of those itemsets. Single_path tells whether it is one path and
// pushes it with its counts; stack::insert pushes its first-child path.
TEST(HandTree, InsertSinglePathAndStackInsert) {
  std::mt19937 rng(3);
  int paths = 0;
  for (int round = 0; round < 200; ++round) {
    const int n = 1 + static_cast<int>(rng() % (round % 4 == 0 ? 80 : 8));
    Prepared p(nested_db(n), request(1), false);
    Workspace& ws = p.ws();
    FI_tree& t = *ws.trees.pool.make<FI_tree>(p.run->settings(), &ws.trees, ws.trees.pool, ws.trees.nodes, n, n);
    std::vector<int> items(static_cast<std::size_t>(n));
    std::iota(items.begin(), items.end(), 0);
    t.set_header(items.data(), n);
    Trie trie;
    for (int k = 0, itemsets = static_cast<int>(rng() % (round % 3 == 0 ? 4 : 300)); k < itemsets; ++k) {
      std::vector<int> items;
      for (int q = 0; q < n; ++q)
        if (rng() % 4 == 0) items.push_back(q);
      const int count = 1 + static_cast<int>(rng() % 5);
      t.insert(items.data(), count, static_cast<int>(items.size()));
      trie.add(items, count);
    }
    t.make_chains();
    ASSERT_NO_FATAL_FAILURE(expect_tree(t, trie));
    std::vector<int> first_path, counts;
    int prefix = 0;
    bool one_path = true;
    for (const Trie* at = &trie; !at->children.empty(); at = &at->children.begin()->second) {
      one_path = one_path && at->children.size() == 1;
      prefix += one_path;
      first_path.push_back(at->children.begin()->first);
      counts.push_back(at->children.begin()->second.count);
    }
    paths += one_path;
    EXPECT_EQ(t.cal_single_prefix(), prefix);
    stack& s = p.list();
    s.len = 0;
    s.insert(&t);
    EXPECT_EQ(std::vector<int>(s.items, s.items + s.len), first_path);
    s.len = 0;
    ASSERT_EQ(t.Single_path(true), one_path);
    if (!one_path) first_path = counts = {};
    EXPECT_EQ(std::vector<int>(s.items, s.items + s.len), first_path);
    EXPECT_EQ(std::vector<int>(s.item_supports, s.item_supports + s.len), counts);
  }
  EXPECT_GT(paths, 40);
  EXPECT_LT(paths, 160);
}

}  // namespace
}  // namespace zub
