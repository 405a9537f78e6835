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

}  // namespace
}  // namespace zub
