#include "fp_tree/mfi_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "support/prepared.h"

namespace zub {
namespace {

using test::Prepared;
using Paths = std::set<std::vector<int>>;

// Six items whose positions equal their file ids (supports 6 down to 1).
const char* kSixItems = "0 1 2 3 4 5\n0 1 2 3 4\n0 1 2 3\n0 1 2\n0 1\n0\n";

// Also checks each node's depth and parent, and that children below the
// root stand in item order.
void collect(const MFI_tree& t, MnodeRef r, std::vector<int>& path, Paths& out) {
  const Mnode* node = t.node(r);
  if (node->first_child == kNoMnode && !path.empty()) out.insert(path);
  int last_item = -1;
  for (MnodeRef c = node->first_child; c != kNoMnode; c = t.node(c)->next_sibling) {
    EXPECT_EQ(t.node(c)->depth, static_cast<int>(path.size()) + 1);
    EXPECT_EQ(t.node(c)->parent, r);
    if (r != MFI_tree::root) {
      EXPECT_GT(t.node(c)->item, last_item);
    }
    last_item = t.node(c)->item;
    path.push_back(t.node(c)->item);
    collect(t, c, path, out);
    path.pop_back();
  }
}
Paths paths(const MFI_tree& t) {
  Paths out;
  std::vector<int> path;
  collect(t, MFI_tree::root, path, out);
  return out;
}
int node_count(const MFI_tree& t) {
  int n = 0;
  for (int p = 0; p < t.num_items; ++p)
    for (MnodeRef m = t.heads[p]; m != kNoMnode; m = t.node(m)->link) ++n;
  return n;
}

struct MfiFixture : ::testing::Test {
  Prepared prep{kSixItems, 1, /*remove_prefix=*/false};
  memory pool{60, 512, 1024, 2};
  MFI_tree* make(int stack_pos) {
    MFI_tree* t = pool.take<MFI_tree>(1);
    t->init(&pool, &prep.tree(), nullptr, kNoMnode, stack_pos);
    return t;
  }
  bool* flags(std::vector<int> positions) {
    bool* f = prep.ctx->current_fi.get();
    for (int p : positions) f[p] = true;
    return f;
  }
  void expect_flags_clear() {
    for (int p = 0; p < prep.ctx->ITEM_NO; ++p) EXPECT_FALSE(prep.ctx->current_fi[p]) << p;
  }
};

TEST_F(MfiFixture, EmptyTree) {
  MFI_tree& t = *make(-1);
  EXPECT_EQ(t.num_items, 6);
  EXPECT_EQ(t.node(t.root)->item, -1);
  EXPECT_EQ(t.node(t.root)->first_child, kNoMnode);
  for (int p = 0; p < 6; ++p) EXPECT_EQ(t.heads[p], kNoMnode);
  EXPECT_EQ(t.mfi_count, 0);
}

TEST_F(MfiFixture, FlagInsertionSharesPrefixesAndClearsFlags) {
  MFI_tree& t = *make(-1);  // the run's root level: it counts
  t.insert(flags({0, 2, 4}), 3);
  expect_flags_clear();
  t.insert(flags({0, 2, 5}), 3);
  expect_flags_clear();
  EXPECT_EQ(paths(t), (Paths{{0, 2, 4}, {0, 2, 5}}));
  EXPECT_EQ(node_count(t), 4);
  // The first new node became the last sibling under the shared node.
  const Mnode* shared = t.node(t.heads[2]);
  const Mnode* first = t.node(shared->first_child);
  EXPECT_EQ(first->item, 4);
  EXPECT_EQ(t.node(first->next_sibling)->item, 5);
  t.insert(flags({0, 2}), 2);  // already there: no node, still counted
  EXPECT_EQ(node_count(t), 4);
  EXPECT_EQ(t.mfi_count, 3);
}

TEST_F(MfiFixture, OnlyTheRootLevelCounts) {
  MFI_tree& t = *make(2);
  t.insert(flags({1}), 1);
  const int items[] = {9, 9, 9, 9, 1, 3};
  t.insert(items, 3, 6);
  EXPECT_EQ(t.mfi_count, 0);
  EXPECT_EQ(paths(t), (Paths{{1, 3}}));
}

TEST_F(MfiFixture, StackOrderInsertion) {
  MFI_tree& t = *make(-1);
  const int items[] = {5, 1, 3, 4};
  t.insert(items, 0, 4);  // items[1..3]
  t.insert(items, 0, 3);  // items[1..2]: a prefix of the first
  t.insert(items, 2, 3);  // nothing: first + 1 == last
  t.insert(items, 3, 3);
  EXPECT_EQ(paths(t), (Paths{{1, 3, 4}}));
  EXPECT_EQ(t.mfi_count, 4);
}

TEST_F(MfiFixture, PropagationReachesAncestorsOnly) {
  Context& c = *prep.ctx;
  stack& list = *c.list;
  MFI_tree& root = *make(-1);     // slot 0
  MFI_tree& level1 = *make(0);    // slot 1: its head item is list[1]
  MFI_tree& below = *make(2);     // slot 3, not below n
  c.mfitrees.assign(7, nullptr);
  c.mfitrees[0] = &root;
  c.mfitrees[1] = &level1;
  c.mfitrees[3] = &below;         // slot 2 stays null
  for (int x : {5, 4, 2, 1}) list.items[list.len++] = x;
  update_mfi_trees(c, 3);
  expect_flags_clear();
  EXPECT_EQ(paths(root), (Paths{{1, 2, 4}})) << "items above index 0, by position";
  EXPECT_EQ(paths(level1), (Paths{{1, 2}})) << "its head item 4 is not added";
  EXPECT_EQ(node_count(below), 0);
  EXPECT_EQ(root.mfi_count, 1);
  EXPECT_EQ(level1.mfi_count, 0);
  // Nothing above a tree's head item: counted, but no path.
  list.len = 2;
  update_mfi_trees(c, 2);
  EXPECT_EQ(root.mfi_count, 2);
  EXPECT_EQ(node_count(level1), 2);
}

TEST_F(MfiFixture, SeedingFromTheTemporaryList) {
  mfi_tem& tem = prep.tem();
  MFI_tree& source = *make(-1);
  source.insert(flags({0, 1, 5}), 3);
  source.insert(flags({2, 3, 5}), 3);
  source.insert(flags({1, 4, 5}), 3);
  // Entries are the item-5 nodes, as the subset check lists them.
  tem.count = 0;
  tem.tree = &source;
  for (MnodeRef n = source.heads[5]; n != kNoMnode; n = source.node(n)->link) {
    tem.entries[tem.count] = n;
    tem.has[tem.count] = tem.count == 1 ? 0 : 2;  // the {2, 3, 5} entry counts no tail item
    ++tem.count;
  }
  ASSERT_EQ(tem.count, 3);
  MFI_tree* seeded = pool.take<MFI_tree>(1);
  seeded->init(&pool, &prep.tree(), -1);
  EXPECT_EQ(paths(*seeded), (Paths{{0, 1}, {1, 4}}));
  EXPECT_EQ(seeded->mfi_count, 1) << "once per call, not per entry";
  tem.count = 0;
  MFI_tree* empty = pool.take<MFI_tree>(1);
  empty->init(&pool, &prep.tree(), 0);
  EXPECT_EQ(node_count(*empty), 0);
}

TEST(MfiTree, BusyNodesKeepEveryPathOnce) {
  // Item 0 gets 60 children (item 60 down to 1), each with two children.
  std::string db;
  for (int k = 0; k < 64; ++k) {
    for (int x = 0; x < 64 - k; ++x) db += std::to_string(x) + " ";
    db += "\n";
  }
  Prepared prep(db, 1, false);
  memory pool(60, 4096, 8192, 2);
  MFI_tree& t = *pool.take<MFI_tree>(1);
  t.init(&pool, &prep.tree(), nullptr, kNoMnode, -1);
  Paths expected;
  for (int round = 0; round < 2; ++round)
    for (int c = 60; c >= 1; --c)
      for (int g : {61, 62}) {
        const int items[] = {0, c, g};
        t.insert_items(items, 3);
        expected.insert({0, c, g});
      }
  EXPECT_EQ(paths(t), expected);
  EXPECT_EQ(node_count(t), 1 + 60 + 120) << "the second round adds nothing";
  EXPECT_NE(t.hubs, nullptr);
}

TEST_F(MfiFixture, ProjectionFromAParentChain) {
  MFI_tree& parent = *make(-1);
  parent.insert(flags({0, 2, 5}), 3);
  parent.insert(flags({1, 3, 5}), 3);
  parent.insert(flags({5}), 1);  // a node directly under the root: projects to nothing
  parent.insert(flags({0, 4}), 2);
  MFI_tree* child = pool.take<MFI_tree>(1);
  // The main tree stands in for the conditional tree of item 5: its items
  // below 5 keep their positions.
  child->init(&pool, &prep.tree(), &parent, parent.heads[5], 0);
  EXPECT_EQ(paths(*child), (Paths{{0, 2}, {1, 3}}));
}

// Thousands of random itemsets over 40 items make a tree of many slabs with
// busy nodes. Its paths are the inserted itemsets (those not a prefix of
// another), every node is in its item's chain once, and the subset check
// agrees with a search of the inserted itemsets.
TEST(MfiTree, ManyItemsetsAgreeWithTheirList) {
  constexpr int kItems = 40;
  std::string db;
  for (int k = 0; k < kItems; ++k) {
    for (int x = 0; x < kItems - k; ++x) db += std::to_string(x) + " ";
    db += "\n";
  }
  Prepared prep(db, 1, false);  // positions equal the ids
  ASSERT_EQ(prep.tree().num_items, kItems);
  memory pool(60, 512, 1024, 2);
  MFI_tree& t = *pool.take<MFI_tree>(1);
  t.init(&pool, &prep.tree(), nullptr, kNoMnode, -1);
  std::mt19937 rng(7);
  std::vector<std::vector<int>> inserted;
  for (int n = 0; n < 6000; ++n) {
    std::vector<int> items;
    // Mostly from the first items, so that prefixes are shared and nodes get busy.
    const int size = 1 + static_cast<int>(rng() % 9);
    for (int k = 0; k < size; ++k) items.push_back(static_cast<int>(rng() % (k < 2 ? 30 : kItems)));
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    std::vector<int> shuffled = items;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    t.insert_items(shuffled.data(), static_cast<int>(shuffled.size()));
    inserted.push_back(items);
  }
  EXPECT_GT(t.nodes.size(), 3 * MnodeStore::kMaxSlab) << "the tree spans capped slabs";
  EXPECT_NE(t.hubs, nullptr);

  Paths prefixes, proper_prefixes, leaves;
  for (const auto& items : inserted)
    for (std::size_t k = 1; k <= items.size(); ++k) {
      prefixes.insert({items.begin(), items.begin() + k});
      if (k < items.size()) proper_prefixes.insert({items.begin(), items.begin() + k});
    }
  for (const auto& items : inserted)
    if (proper_prefixes.count(items) == 0) leaves.insert(items);
  EXPECT_EQ(paths(t), leaves);
  EXPECT_EQ(node_count(t), static_cast<int>(prefixes.size()));
  for (int p = 0; p < kItems; ++p)
    for (MnodeRef m = t.heads[p]; m != kNoMnode; m = t.node(m)->link) ASSERT_EQ(t.node(m)->item, p);

  // Is {h} plus a tail of earlier items inside a recorded itemset?
  for (int q = 0; q < 3000; ++q) {
    const int h = 1 + static_cast<int>(rng() % (kItems - 1));
    std::vector<int> tail;
    const int size = static_cast<int>(rng() % 4);
    for (int k = 0; k < size; ++k) tail.push_back(static_cast<int>(rng() % h));
    std::sort(tail.begin(), tail.end());
    tail.erase(std::unique(tail.begin(), tail.end()), tail.end());
    bool expected = false;
    for (const auto& items : inserted) {
      if (!std::binary_search(items.begin(), items.end(), h)) continue;
      expected = expected || std::includes(items.begin(), items.end(), tail.begin(), tail.end());
    }
    ASSERT_EQ(t.is_subset(h, tail.data(), static_cast<int>(tail.size())), expected)
        << "h " << h << ", " << tail.size() << " tail items, query " << q;
  }
}

}  // namespace
}  // namespace zub
