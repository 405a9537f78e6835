#include "fp_tree/node_store.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace zub {
namespace {

constexpr NodeRef kSlab = NodeRef{1} << NodeStore::kSlabShift;

// Numbers are distinct and never 0, each names its own node, and a node
// stays where it is while later slabs are added.
TEST(NodeStore, NumbersNameStableDistinctNodesAcrossSlabs) {
  NodeStore store;
  std::vector<NodeRef> refs;
  std::vector<Fnode*> where;
  const NodeRef n = 3 * kSlab + 5;
  for (NodeRef k = 0; k < n; ++k) {
    const NodeRef r = store.make();
    ASSERT_NE(r, kNoNode);
    Fnode* node = store.at(r);
    node->init(kNoNode, static_cast<int>(k), static_cast<int>(r));
    refs.push_back(r);
    where.push_back(node);
  }
  EXPECT_EQ(store.slabs(), 4u);
  EXPECT_EQ(std::set<NodeRef>(refs.begin(), refs.end()).size(), refs.size());
  EXPECT_EQ(std::set<Fnode*>(where.begin(), where.end()).size(), where.size());
  for (NodeRef k = 0; k < n; ++k) {
    ASSERT_EQ(store.at(refs[k]), where[k]);
    ASSERT_EQ(where[k]->item, static_cast<int>(k));
    ASSERT_EQ(where[k]->count, static_cast<int>(refs[k]));
  }
  EXPECT_EQ(store.get(kNoNode), nullptr);
}

// Rolling back hands the same numbers out again and reuses the slabs, also
// when the mark lies on a slab boundary that was not yet crossed.
TEST(NodeStore, RollBackReusesNumbersAndSlabs) {
  NodeStore store;
  while (store.mark() < kSlab) store.make();
  const NodeRef boundary = store.mark();
  EXPECT_EQ(boundary, kSlab);
  EXPECT_EQ(store.slabs(), 1u);
  std::vector<NodeRef> first;
  {
    const NodeStore::Mark mark(store);
    for (int k = 0; k < 2 * static_cast<int>(kSlab); ++k) first.push_back(store.make());
  }
  EXPECT_EQ(store.mark(), boundary);
  EXPECT_EQ(store.slabs(), 3u);
  for (NodeRef r : first) ASSERT_EQ(store.make(), r);
  EXPECT_EQ(store.slabs(), 3u) << "no slab is added for numbers handed out before";
  store.clear();
  EXPECT_EQ(store.make(), NodeRef{1});
  EXPECT_EQ(store.slabs(), 3u);
}

// Dropping the links of the slabs below a number keeps the nodes and the
// links above; a store cleared for the next run has links everywhere again.
TEST(NodeStore, DroppedLinksComeBackAfterClear) {
  NodeStore store;
  const NodeRef n = 3 * kSlab + 5;
  for (NodeRef k = 0; k < n; ++k) {
    const NodeRef r = store.make();
    store.at(r)->init(kNoNode, static_cast<int>(r), 0);
    *store.links(r) = {r, r};
  }
  store.drop_links_below(store.mark());
  EXPECT_EQ(store.slabs(), 4u);
  EXPECT_EQ(store.link_slabs(), 1u) << "only the slab the mark lies in keeps its links";
  EXPECT_FALSE(store.has_links(1));
  EXPECT_FALSE(store.has_links(3 * kSlab - 1));
  EXPECT_TRUE(store.has_links(3 * kSlab));
  EXPECT_EQ(store.links(n)->first_child, n);
  EXPECT_EQ(store.at(5)->item, 5) << "the nodes stay";
  store.clear();
  for (NodeRef k = 0; k < n; ++k) *store.links(store.make()) = {kNoNode, kNoNode};
  EXPECT_EQ(store.link_slabs(), 4u);
  EXPECT_EQ(store.links(1)->next_sibling, kNoNode);
}

// With links off, new slabs come without them; turned on again, the slab
// the next node goes into gets links (also after rolling back into a slab
// made without them), and so does a store cleared for the next run.
TEST(NodeStore, SlabsWithoutLinksWhileTheyAreOff) {
  NodeStore store;
  const NodeRef root = store.make();
  *store.links(root) = {kNoNode, kNoNode};
  store.set_links(false);
  NodeRef mark = kNoNode;
  while (store.mark() < 2 * kSlab + 100) {
    if (store.mark() == kSlab + 7) mark = store.mark();
    store.at(store.make())->init(root, 1, 1);
  }
  EXPECT_EQ(store.slabs(), 3u);
  EXPECT_EQ(store.link_slabs(), 1u) << "only the first slab, made before";
  EXPECT_FALSE(store.has_links(kSlab));
  EXPECT_FALSE(store.has_links(2 * kSlab));
  store.set_links(true);
  const NodeRef next = store.make();
  EXPECT_EQ(next, 2 * kSlab + 100);
  EXPECT_TRUE(store.has_links(next));
  *store.links(next) = {kNoNode, kNoNode};
  store.rollback(mark);
  const NodeRef again = store.make();
  EXPECT_EQ(again, kSlab + 7);
  ASSERT_TRUE(store.has_links(again));
  *store.links(again) = {again, again};
  EXPECT_EQ(store.links(again)->first_child, again);
  store.set_links(false);
  store.clear();
  while (store.mark() < 3 * kSlab) *store.links(store.make()) = {kNoNode, kNoNode};
  EXPECT_EQ(store.link_slabs(), 3u);
}

}  // namespace
}  // namespace zub
