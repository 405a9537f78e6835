// The node stores of the FP-trees and the MFI-trees: numbers that name nodes
// which never move, roll-backs that reuse slabs, child links given back, and
// memory that follows the nodes made.
#include "trees/node_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "trees/cnode.h"
#include "trees/mnode_store.h"

namespace zub {
namespace {

constexpr NodeRef kSlab = NodeRef{1} << NodeStore::kSlabShift;

// Numbers run from 1 and each names its own node, which stays in place while
// slabs are added; a roll-back (here to a slab boundary not yet crossed)
// hands the same numbers out again in the same slabs, and so does a clear.
TEST(NodeStore, NumbersNodesAndRollBack) {
  NodeStore store;
  std::vector<Fnode*> where(1);
  for (NodeRef k = 1; k < kSlab; ++k) {
    ASSERT_EQ(store.make(), k);
    store.at(k)->init(kNoNode, static_cast<int>(k), 0);
    where.push_back(store.at(k));
  }
  EXPECT_EQ(store.slabs(), 1u);
  {
    const NodeStore::Mark mark(store);
    for (NodeRef k = kSlab; k < 3 * kSlab; ++k) ASSERT_EQ(store.make(), k);
  }
  EXPECT_EQ(store.mark(), kSlab);
  for (NodeRef k = kSlab; k < 3 * kSlab; ++k) ASSERT_EQ(store.make(), k);
  EXPECT_EQ(store.slabs(), 3u) << "the slabs are reused";
  for (NodeRef k = 1; k < kSlab; ++k) {
    ASSERT_EQ(store.at(k), where[k]);
    ASSERT_EQ(where[k]->item, static_cast<int>(k));
  }
  EXPECT_EQ(store.get(kNoNode), nullptr);
  store.clear();
  EXPECT_EQ(store.make(), NodeRef{1});
  EXPECT_EQ(store.slabs(), 3u);
}

// Links dropped below a number leave the nodes and the slab the number lies
// in; slabs made while links are off have none, and the slab the next node
// goes into gets them back once they are on (also after a roll-back into a
// slab made without), as does every slab after a clear.
TEST(NodeStore, ChildLinksGivenBackAndRegained) {
  NodeStore store;
  for (NodeRef k = 1; k <= 3 * kSlab + 5; ++k) store.at(store.make())->init(kNoNode, static_cast<int>(k), 0);
  store.drop_links_below(store.mark());
  EXPECT_EQ(store.link_slabs(), 1u);
  EXPECT_FALSE(store.has_links(3 * kSlab - 1));
  EXPECT_TRUE(store.has_links(3 * kSlab));
  EXPECT_EQ(store.at(5)->item, 5) << "the nodes stay";
  NodeStore off;
  off.make();
  off.set_links(false);
  while (off.mark() < 2 * kSlab + 100) off.make();
  EXPECT_EQ(off.link_slabs(), 1u) << "only the first slab, made before";
  off.set_links(true);
  EXPECT_TRUE(off.has_links(off.make()));
  off.rollback(kSlab + 7);
  const NodeRef again = off.make();
  ASSERT_TRUE(off.has_links(again));
  *off.links(again) = {again, again};
  EXPECT_EQ(off.links(again)->first_child, again);
  store.set_links(false);
  store.clear();
  while (store.mark() < 3 * kSlab) store.make();
  EXPECT_EQ(store.link_slabs(), 4u) << "a clear turns the links on, also for slabs that gave theirs back";
}

// Counts the bytes a pool takes from the heap.
struct CountingAllocator {
  std::size_t bytes = 0;
  static void* allocate(void* state, std::size_t n) {
    static_cast<CountingAllocator*>(state)->bytes += n;
    return std::malloc(n);
  }
  static void release(void*, void* block, std::size_t) { std::free(block); }
};

// MFI- and CFI-tree nodes (16 and 20 bytes) are numbered 1, 2, 3, ... and
// stay in place through the doubling slabs and past the cap. A tree of a
// few nodes costs one small slab; a large one about its nodes (at most one
// partly used slab, plus the number table).
template <class Node>
void check_slab_store() {
  using Store = SlabStore<Node>;
  for (const std::uint32_t n : {5u, 1000u, 100000u}) {
    CountingAllocator heap;
    memory pool(200, 64, 64, 2, BlockAllocator{CountingAllocator::allocate, CountingAllocator::release, &heap});
    const std::size_t before = heap.bytes;
    Store store;
    store.init(&pool);
    std::vector<Node*> where(1);
    for (std::uint32_t k = 1; k <= n; ++k) {
      ASSERT_EQ(store.make(), k);
      Node* node = store.at(k);
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(node) % alignof(Node), 0u);
      node->key = 3 * k;
      node->parent = k - 1;
      node->link = k + 1;
      where.push_back(node);
    }
    EXPECT_EQ(store.size(), n);
    for (std::uint32_t k = 1; k <= n; ++k) {
      ASSERT_EQ(store.at(k), where[k]);
      ASSERT_EQ(store.at(k)->key, 3 * k);
      ASSERT_EQ(store.at(k)->parent, k - 1);
      ASSERT_EQ(store.at(k)->link, k + 1);
    }
    const std::size_t used = heap.bytes - before;
    const std::size_t nodes = (n < Store::kFirstSlab ? Store::kFirstSlab : n + 1) * sizeof(Node);
    const std::size_t slack = Store::kMaxSlab * sizeof(Node) + 2 * (n / Store::kFirstSlab + 1) * 8 + 4096;
    EXPECT_GE(used, nodes) << n << " nodes";
    EXPECT_LE(used, nodes + (n < Store::kFirstSlab ? 512 : slack)) << n << " nodes";
  }
}

TEST(MnodeStore, StableNumbersAndMemoryThatFollowsTheNodes) {
  static_assert(sizeof(Mnode) == 16 && sizeof(Cnode) == 20);
  check_slab_store<Mnode>();
  check_slab_store<Cnode>();
}

}  // namespace
}  // namespace zub
