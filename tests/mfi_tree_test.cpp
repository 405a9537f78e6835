// MFI-trees filled through each form of insertion, against the list of the
// itemsets entered: their nodes, the three subset checks, the temporary list
// they rebuild, and its narrowing by mfi_tem::is_subset.
#include "trees/mfi_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "support/prepared.h"

namespace zub {
namespace {

using namespace zub::test;
using Listing = std::multiset<std::pair<int, std::vector<int>>>;  // count of tail items, entry

bool contains(const std::vector<int>& set, const std::vector<int>& items) {
  return std::includes(set.begin(), set.end(), items.begin(), items.end());
}

// The entries of the temporary list, which must be best first.
Listing listing(const mfi_tem& tem) {
  Listing out;
  for (int j = 0; j < tem.count; ++j) {
    std::vector<int> items;
    tem.for_each_item(j, [&](int item) { items.push_back(item); });
    std::sort(items.begin(), items.end());
    out.emplace(tem.has[j], items);
    EXPECT_TRUE(j == 0 || tem.has[j - 1] >= tem.has[j]) << "best first";
  }
  return out;
}

// The sets holding every `added` item, each with its count of `tail` items.
Listing expected(const std::vector<std::vector<int>>& sets, const std::vector<int>& added,
                 const std::vector<int>& tail) {
  Listing out;
  for (const auto& s : sets)
    if (contains(s, added))
      out.emplace(std::count_if(tail.begin(), tail.end(), [&](int x) { return std::binary_search(s.begin(), s.end(), x); }), s);
  return out;
}

// Round 0: thousands of itemsets over 40 items, a tree of many capped slabs
// with busy nodes and first children kept aside. Round 1: over five
// thousand itemsets through one item, so that the temporary list grows.
// Later rounds: small trees. With an item field `item_bits` wide (0: by the
// data), so that the depths saturate and prune less.
void check_rounds(int item_bits) {
  constexpr int kItems = 40;
  Tuning tuning;
  tuning.node_item_bits = item_bits;
  Prepared p(nested_db(kItems), request(1, MiningTarget::maximal, tuning));  // positions equal the ids
  Workspace& ws = p.ws();
  mfi_tem& tem = p.tem();
  std::mt19937 rng(7);
  auto random_set = [&](int below, int size) {
    std::vector<int> s;
    for (int k = 0; k < size; ++k) s.push_back(static_cast<int>(rng() % below));
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    return s;
  };
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    memory pool(60, 512, 1024, 2);
    MFI_tree& t = *pool.take<MFI_tree>(1);
    t.init(&pool, &p.tree(), nullptr, kNoMnode, -1);
    std::set<std::vector<int>> prefixes;
    for (int k = 0, n = round == 0 ? 6000 : round == 1 ? 5200 : 1 + static_cast<int>(rng() % 60); k < n; ++k) {
      std::vector<int> items = random_set(kItems, 1 + static_cast<int>(rng() % 9));
      if (round == 1) {
        items.clear();
        for (int bit = 0; bit < 13; ++bit)
          if ((k + 1) >> bit & 1) items.push_back(bit + 1);
        items.push_back(15);
      }
      const int size = static_cast<int>(items.size());
      if (k % 3 == 0) {
        for (int x : items) ws.trees.flags[x] = true;
        t.insert(ws.trees.flags.data(), size);
        ASSERT_EQ(std::count(ws.trees.flags.data(), ws.trees.flags.data() + kItems, true), 0);
      } else if (k % 3 == 1) {
        std::vector<int> shuffled = items;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        t.enter(shuffled.data(), size, 0);
      } else {
        std::vector<int> framed{-7};  // insert(items, first, last) takes items[first+1 .. last-1]
        framed.insert(framed.end(), items.begin(), items.end());
        t.insert(framed.data(), 0, size + 1);
      }
      for (int j = 1; j <= size; ++j) prefixes.insert({items.begin(), items.begin() + j});
    }
    // Each node ends one prefix of an itemset entered, and each prefix has one node.
    std::set<std::vector<int>> nodes;
    std::vector<std::vector<std::vector<int>>> ending_at(kItems);
    for (int q = 0; q < kItems; ++q)
      for (MnodeRef m = t.heads[q]; m != kNoMnode; m = t.node(m)->link) {
        std::vector<int> path;
        for (const Mnode* a = t.node(m); a->parent != kNoMnode; a = t.node(a->parent))
          path.insert(path.begin(), t.item_of(*a));
        ASSERT_EQ(t.item_of(*t.node(m)), q);
        ASSERT_EQ(t.depth_of(*t.node(m)), std::min(static_cast<int>(path.size()), t.keys.cap()));
        ASSERT_TRUE(nodes.insert(path).second) << "a prefix twice";
        ending_at[static_cast<std::size_t>(q)].push_back(path);
      }
    ASSERT_EQ(nodes, prefixes);
    if (round == 0) {
      EXPECT_GT(t.nodes.size(), 3 * MnodeStore::kMaxSlab) << "the tree spans capped slabs";
      EXPECT_NE(t.hubs, nullptr);
      EXPECT_GT(t.late.size(), 0) << "first children made after other nodes";
      if (item_bits != 0) {
        EXPECT_EQ(t.keys.cap(), (1 << (31 - item_bits)) - 1);
      }
    }

    // Is {h} plus a tail of lower items inside an itemset entered?
    for (int q = 0; q < (round == 1 ? 300 : 1500); ++q) {
      const int h = round == 1 ? 15 : 1 + static_cast<int>(rng() % (kItems - 1));
      std::vector<int> tail = random_set(h, static_cast<int>(rng() % (q % 7 == 0 ? 12 : 4)));
      if (round == 1 && q % 2 == 0) tail = {0};  // in no itemset: every entry is listed
      const int tlen = static_cast<int>(tail.size());
      std::vector<int> query{h};
      query.insert(query.end(), tail.begin(), tail.end());
      const auto& paths = ending_at[static_cast<std::size_t>(h)];
      const bool found = std::any_of(paths.begin(), paths.end(), [&](const auto& s) { return contains(s, tail); });
      SCOPED_TRACE("query " + std::to_string(q) + ", h " + std::to_string(h));
      const int checks = ws.trees.counters.subset_checks;
      const int form = q % 3;
      if (form == 0) {
        ASSERT_EQ(t.is_subset(h, tail.data(), tlen), found);
      } else if (form == 1) {
        ASSERT_EQ(t.is_subset(query.data(), 0, tlen), found);
      } else {
        std::copy(query.begin(), query.end(), p.list().items);  // the level item, then ascending items
        p.list().len = tlen + 1;
        ASSERT_EQ(t.is_subset(), found);
      }
      // The stack-order form answers an empty tail before it counts.
      EXPECT_EQ(ws.trees.counters.subset_checks, checks + (form == 1 && tlen == 0 && found ? 0 : 1));
      EXPECT_TRUE(form != 0 || !found || tlen == 0 || tem.count == 0) << "found: the list is emptied";
      if (form == 2 || found) continue;
      // Not found: the list holds h's nodes, each with its count of tail items.
      ASSERT_EQ(listing(tem), expected(paths, {}, tail));
      ASSERT_GE(tem.slots(), tem.count);
      if (tlen == 0) continue;
      // Narrowed to the entries holding the added items, recounted against the rest.
      std::vector<int> added, rest;
      for (int x : tail) (rng() % 3 == 0 ? added : rest).push_back(x);
      const Listing kept = expected(paths, added, rest);
      const bool whole = std::any_of(kept.begin(), kept.end(), [&](const auto& e) { return e.first == int(rest.size()); });
      const int narrowing = ws.trees.counters.subset_checks;
      ASSERT_EQ(tem.is_subset(added.data(), 0, static_cast<int>(added.size()) - 1, rest.data(), 0,
                              static_cast<int>(rest.size()) - 1),
                whole);
      EXPECT_EQ(ws.trees.counters.subset_checks, narrowing + 1);
      ASSERT_EQ(std::count(ws.trees.flags.data(), ws.trees.flags.data() + kItems, true), 0);
      if (!whole) {
        ASSERT_EQ(listing(tem), kept);
      }
    }
  }
}

TEST(MfiTree, InsertionFormsAndSubsetChecksAgreeWithTheItemsets) { check_rounds(0); }
// Depths of up to 7 in the key: deeper paths are not pruned, the same answers.
TEST(MfiTree, SaturatedDepthsGiveTheSameAnswers) { check_rounds(28); }

}  // namespace
}  // namespace zub
