#include "fp_tree/mnode_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace zub {
namespace {

// Counts the bytes a pool takes from the heap.
struct CountingAllocator {
  std::size_t bytes = 0;
  static void* allocate(void* state, std::size_t n) {
    static_cast<CountingAllocator*>(state)->bytes += n;
    return std::malloc(n);
  }
  static void release(void*, void* block, std::size_t) { std::free(block); }
  BlockAllocator handle() { return BlockAllocator{allocate, release, this}; }
};

// Numbers run 1, 2, 3, ... and each names its own node, which stays where it
// is while the store adds slabs: through the doubling ones and well past the
// cap, where slabs keep the largest size.
TEST(MnodeStore, NumbersNameStableDistinctNodesAcrossSlabs) {
  memory pool(60, 4096, 8192, 2);
  MnodeStore store;
  store.init(&pool);
  EXPECT_EQ(store.size(), 0u);
  const MnodeRef n = 3 * MnodeStore::kMaxSlab + 77;
  std::vector<Mnode*> where;
  for (MnodeRef k = 1; k <= n; ++k) {
    ASSERT_EQ(store.make(), k);
    Mnode* node = store.at(k);
    node->init(k - 1, static_cast<int>(k), static_cast<int>(2 * k));
    where.push_back(node);
  }
  EXPECT_EQ(store.size(), n);
  EXPECT_EQ(std::set<Mnode*>(where.begin(), where.end()).size(), where.size());
  for (MnodeRef k = 1; k <= n; ++k) {
    const Mnode* node = store.at(k);
    ASSERT_EQ(node, where[k - 1]);
    ASSERT_EQ(node->item, static_cast<int>(k));
    ASSERT_EQ(node->depth, static_cast<int>(2 * k));
    ASSERT_EQ(node->parent, k - 1);
  }
}

// A tree of a few nodes costs one small slab; a large one about its nodes
// (at most one partly used slab, plus the number table).
TEST(MnodeStore, MemoryFollowsTheNodesMade) {
  for (const MnodeRef n : {MnodeRef{5}, MnodeRef{1000}, MnodeRef{100000}}) {
    CountingAllocator heap;
    {
      // Blocks of 64 bytes unless a request needs more: the count is the requests.
      memory pool(200, 64, 64, 2, heap.handle());
      const std::size_t before = heap.bytes;
      MnodeStore store;
      store.init(&pool);
      for (MnodeRef k = 0; k < n; ++k) store.make();
      const std::size_t used = heap.bytes - before;
      const std::size_t nodes = (n < MnodeStore::kFirstSlab ? MnodeStore::kFirstSlab : n + 1) * sizeof(Mnode);
      const std::size_t slack = MnodeStore::kMaxSlab * sizeof(Mnode) + 2 * (n / MnodeStore::kFirstSlab + 1) * 8 + 4096;
      EXPECT_GE(used, nodes) << n << " nodes";
      EXPECT_LE(used, nodes + (n < MnodeStore::kFirstSlab ? 256 : slack)) << n << " nodes";
    }
  }
}

}  // namespace
}  // namespace zub
