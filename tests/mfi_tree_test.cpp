// MFI-trees filled through each form of insertion, against the list of the
// itemsets entered: their paths and chains, the three subset checks, the
// temporary list they rebuild, and its narrowing by mfi_tem::is_subset.
#include "fp_tree/mfi_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "support/prepared.h"

namespace zub {
namespace {

using namespace zub::test;
using Paths = std::set<std::vector<int>>;

// The root-to-leaf paths; also checks each node's depth and parent, and that
// children below the root stand in item order.
void collect(const MFI_tree& t, MnodeRef r, std::vector<int>& path, Paths& out) {
  const Mnode* node = t.node(r);
  if (node->first_child == kNoMnode && !path.empty()) out.insert(path);
  int last_item = -1;
  for (MnodeRef c = node->first_child; c != kNoMnode; c = t.node(c)->next_sibling) {
    ASSERT_EQ(t.node(c)->depth, static_cast<int>(path.size()) + 1);
    ASSERT_EQ(t.node(c)->parent, r);
    if (r != MFI_tree::root) {
      ASSERT_GT(t.node(c)->item, last_item);
    }
    last_item = t.node(c)->item;
    path.push_back(last_item);
    collect(t, c, path, out);
    path.pop_back();
  }
}

bool contains(const std::vector<int>& set, const std::vector<int>& items) {
  return std::includes(set.begin(), set.end(), items.begin(), items.end());
}

// Round 0: thousands of itemsets over 40 items, a tree of many capped slabs
// with busy nodes. Round 1: over five thousand itemsets through one item, so
// that the temporary list grows. Later rounds: small trees.
TEST(MfiTree, InsertionFormsAndSubsetChecksAgreeWithTheItemsets) {
  constexpr int kItems = 40;
  Prepared p(nested_db(kItems), request(1));  // positions equal the ids
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
    std::vector<std::vector<int>> entered;
    const int n = round == 0 ? 6000 : round == 1 ? 5200 : 1 + static_cast<int>(rng() % 60);
    for (int k = 0; k < n; ++k) {
      std::vector<int> items;
      if (round == 1) {
        for (int bit = 0; bit < 13; ++bit)
          if ((k + 1) >> bit & 1) items.push_back(bit + 1);
        items.push_back(15);
      } else {
        items = random_set(kItems, 1 + static_cast<int>(rng() % 9));
      }
      const int size = static_cast<int>(items.size());
      if (k % 3 == 0) {
        for (int x : items) ws.flags[x] = true;
        t.insert(ws.flags.get(), size);
        ASSERT_EQ(std::count(ws.flags.get(), ws.flags.get() + kItems, true), 0);
      } else if (k % 3 == 1) {
        std::vector<int> shuffled = items;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        t.enter(shuffled.data(), size, 0);
      } else {
        std::vector<int> framed{-7};  // insert(items, first, last) takes items[first+1 .. last-1]
        framed.insert(framed.end(), items.begin(), items.end());
        t.insert(framed.data(), 0, size + 1);
      }
      entered.push_back(items);
    }
    Paths prefixes, proper, leaves, found;
    std::vector<std::vector<std::vector<int>>> ending_at(kItems);  // the paths to each item's nodes
    for (const auto& items : entered)
      for (std::size_t k = 1; k <= items.size(); ++k) {
        prefixes.insert({items.begin(), items.begin() + k});
        if (k < items.size()) proper.insert({items.begin(), items.begin() + k});
      }
    for (const auto& items : entered)
      if (proper.count(items) == 0) leaves.insert(items);
    for (const auto& items : prefixes) ending_at[static_cast<std::size_t>(items.back())].push_back(items);
    std::vector<int> path;
    ASSERT_NO_FATAL_FAILURE(collect(t, MFI_tree::root, path, found));
    EXPECT_EQ(found, leaves);
    int chained = 0;
    for (int q = 0; q < kItems; ++q)
      for (MnodeRef m = t.heads[q]; m != kNoMnode; m = t.node(m)->link, ++chained) ASSERT_EQ(t.node(m)->item, q);
    EXPECT_EQ(chained, static_cast<int>(prefixes.size()));
    if (round == 0) {
      EXPECT_GT(t.nodes.size(), 3 * MnodeStore::kMaxSlab) << "the tree spans capped slabs";
      EXPECT_NE(t.hubs, nullptr);
    }

    // Is {h} plus a tail of lower items inside an itemset entered?
    for (int q = 0; q < (round == 1 ? 300 : 1500); ++q) {
      const int h = round == 1 ? 15 : 1 + static_cast<int>(rng() % (kItems - 1));
      std::vector<int> tail = random_set(h, static_cast<int>(rng() % (q % 7 == 0 ? 12 : 4)));
      if (round == 1 && q % 2 == 0) tail = {0};  // in no itemset: the whole list is kept
      const int tlen = static_cast<int>(tail.size());
      std::vector<int> with_h = tail;
      with_h.push_back(h);
      std::sort(with_h.begin(), with_h.end());
      const std::vector<std::vector<int>>& h_prefixes = ending_at[static_cast<std::size_t>(h)];
      const bool expected = std::any_of(h_prefixes.begin(), h_prefixes.end(),
                                        [&](const std::vector<int>& items) { return contains(items, with_h); });
      SCOPED_TRACE("query " + std::to_string(q) + ", h " + std::to_string(h));
      const int checks = ws.counters.subset_checks;
      const int form = q % 3;
      std::vector<int> query{h};
      query.insert(query.end(), tail.begin(), tail.end());
      if (form == 0) {
        ASSERT_EQ(t.is_subset(h, tail.data(), tlen), expected);
      } else if (form == 1) {
        ASSERT_EQ(t.is_subset(query.data(), 0, tlen), expected);
      } else {
        std::copy(query.begin(), query.end(), p.list().items);  // the level item, then ascending items
        p.list().len = tlen + 1;
        ASSERT_EQ(t.is_subset(), expected);
      }
      // The stack-order form answers an empty tail before it counts.
      EXPECT_EQ(ws.counters.subset_checks, checks + (form == 1 && tlen == 0 && expected ? 0 : 1));
      if (form == 0 && expected && tlen > 0) {
        EXPECT_EQ(tem.count, 0) << "found: the list is emptied";
      }
      if (form == 2 || expected) continue;
      // Not found: the list holds h's nodes, by how many tail items they hold.
      std::multiset<std::vector<int>> listed, truth;
      std::vector<int> has(tem.has.begin(), tem.has.begin() + tem.count), true_has;
      for (int j = 0; j < tem.count; ++j) {
        std::vector<int> items = path_items(tem, j);
        std::sort(items.begin(), items.end());
        listed.insert(items);
      }
      for (const auto& items : h_prefixes) {
        truth.insert(items);
        true_has.push_back(static_cast<int>(std::count_if(tail.begin(), tail.end(), [&](int x) {
          return std::binary_search(items.begin(), items.end(), x);
        })));
      }
      std::sort(true_has.rbegin(), true_has.rend());
      ASSERT_EQ(listed, truth);
      ASSERT_EQ(has, true_has) << "best first";
      ASSERT_GE(tem.slots(), tem.count);
      if (tlen == 0) continue;
      // Narrowed to the entries holding the added items, recounted against the rest.
      std::vector<int> added, rest;
      for (int x : tail) (rng() % 3 == 0 ? added : rest).push_back(x);
      bool whole = false;
      std::multiset<std::vector<int>> kept;
      std::vector<int> kept_has;
      for (const auto& items : h_prefixes) {
        if (!contains(items, added)) continue;
        kept.insert(items);
        kept_has.push_back(static_cast<int>(std::count_if(rest.begin(), rest.end(), [&](int x) {
          return std::binary_search(items.begin(), items.end(), x);
        })));
        whole = whole || kept_has.back() == static_cast<int>(rest.size());
      }
      const int narrowing = ws.counters.subset_checks;
      ASSERT_EQ(tem.is_subset(added.data(), 0, static_cast<int>(added.size()) - 1, rest.data(), 0,
                              static_cast<int>(rest.size()) - 1),
                whole);
      EXPECT_EQ(ws.counters.subset_checks, narrowing + 1);
      ASSERT_EQ(std::count(ws.flags.get(), ws.flags.get() + kItems, true), 0);
      if (whole) continue;
      std::multiset<std::vector<int>> listed_now;
      for (int j = 0; j < tem.count; ++j) {
        std::vector<int> items = path_items(tem, j);
        std::sort(items.begin(), items.end());
        listed_now.insert(items);
      }
      std::sort(kept_has.rbegin(), kept_has.rend());
      ASSERT_EQ(listed_now, kept);
      ASSERT_EQ(std::vector<int>(tem.has.begin(), tem.has.begin() + tem.count), kept_has);
    }
  }
}

}  // namespace
}  // namespace zub
