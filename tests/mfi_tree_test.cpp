#include "fp_tree/mfi_tree.h"

#include <gtest/gtest.h>

#include <set>

#include "support/prepared.h"

namespace zub {
namespace {

using test::Prepared;
using Paths = std::set<std::vector<int>>;

// Six items whose positions equal their file ids (supports 6 down to 1).
const char* kSixItems = "0 1 2 3 4 5\n0 1 2 3 4\n0 1 2 3\n0 1 2\n0 1\n0\n";

void collect(const Mnode* node, std::vector<int>& path, Paths& out) {
  if (node->first_child == nullptr && !path.empty()) out.insert(path);
  for (const Mnode* c = node->first_child; c != nullptr; c = c->next_sibling) {
    EXPECT_EQ(c->depth, static_cast<int>(path.size()) + 1);
    EXPECT_EQ(c->parent, node);
    path.push_back(c->item);
    collect(c, path, out);
    path.pop_back();
  }
}
Paths paths(const MFI_tree& t) {
  Paths out;
  std::vector<int> path;
  collect(t.root, path, out);
  return out;
}
int node_count(const MFI_tree& t) {
  int n = 0;
  for (int p = 0; p < t.num_items; ++p)
    for (const Mnode* m = t.heads[p]; m != nullptr; m = m->link) ++n;
  return n;
}

struct MfiFixture : ::testing::Test {
  Prepared prep{kSixItems, 1, /*remove_prefix=*/false};
  memory pool{60, 512, 1024, 2};
  MFI_tree* make(int stack_pos) {
    MFI_tree* t = pool.take<MFI_tree>(1);
    t->init(&pool, &prep.tree(), nullptr, nullptr, stack_pos);
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
  EXPECT_EQ(t.root->item, -1);
  EXPECT_EQ(t.root->first_child, nullptr);
  for (int p = 0; p < 6; ++p) EXPECT_EQ(t.heads[p], nullptr);
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
  const Mnode* shared = t.heads[2];
  EXPECT_EQ(shared->first_child->item, 4);
  EXPECT_EQ(shared->first_child->next_sibling->item, 5);
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
  for (Mnode* n = source.heads[5]; n != nullptr; n = n->link) {
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
  t.init(&pool, &prep.tree(), nullptr, nullptr, -1);
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

}  // namespace
}  // namespace zub
