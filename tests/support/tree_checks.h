#pragma once
// Checks of a built FP-tree against what the tests derive on their own: the
// trie of the itemsets it was built from, and its chains.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "support/brute_force.h"
#include "io/data.h"
#include "trees/fi_tree.h"
#include "trees/range_passes.h"

namespace zub::test {

// The second pass of a run over `data` after its counting pass gave
// `counts`: the main tree built and dropped; throws what the pass throws
// (a file changed since it was counted).
inline void second_pass(const Settings& settings, Data& data, const ItemCounts& counts, int threads = 1) {
  memory pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2);
  NodeStore store;
  FI_tree* tree = pool.make<FI_tree>(settings, nullptr, pool, store, -1, 0);
  ItemMap items;
  MainPairs pairs;
  tree->scan1_DB(counts, items, pairs);
  stack itemset(items.frequent() + 1, true);
  TreeScratch scratch(settings, items.frequent(), itemset);
  tree->attach(scratch);
  tree->scan2_DB(&data, items, counts, threads);
}

// A prefix tree of ascending positions with counts, built by the test.
struct Trie {
  std::map<int, Trie> children;  // by position
  int count = 0;
  void add(const std::vector<int>& ascending, int n) {
    Trie* at = this;
    for (int p : ascending) {
      at = &at->children[p];
      at->count += n;
    }
  }
};

// The trie of the transactions' frequent positions, from `from` on, shifted down by it.
// The positions come from file_id: a run drops its map by file id once read.
inline Trie trie_of(const Database& db, const ItemMap& items, int from = 0) {
  std::map<int, int> position;
  for (int q = 0; q < items.frequent(); ++q) position[items.file_id[static_cast<std::size_t>(q)]] = q;
  Trie trie;
  for (const auto& t : db) {
    std::vector<int> positions;
    for (int x : t) {
      const auto it = position.find(x);
      if (it != position.end() && it->second >= from) positions.push_back(it->second - from);
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (!positions.empty()) trie.add(positions, 1);
  }
  return trie;
}

// The children of every node, in sibling order: along the child links, or
// for a tree without them, from the parents of the numbers between its root
// and the store's mark (leaving out nodes of a single prefix taken off).
inline std::map<NodeRef, std::vector<NodeRef>> children_of(const FI_tree& t) {
  std::map<NodeRef, std::vector<NodeRef>> children;
  std::vector<NodeRef> todo{t.root_ref()};
  while (t.child_links() && !todo.empty()) {
    const NodeRef n = todo.back();
    todo.pop_back();
    for (NodeRef c = t.links(n)->first_child; c != kNoNode; c = t.links(c)->next_sibling) {
      children[n].push_back(c);
      todo.push_back(c);
    }
  }
  for (NodeRef r = t.root_ref() + 1; !t.child_links() && r < t.store().mark(); ++r)
    if (t.item_pos(t.node(r)->item) >= 0) children[t.node(r)->parent].push_back(r);
  return children;
}

// The subtree below `node` has the trie's paths, counts and sorted children.
inline void expect_trie(const FI_tree& t, const std::map<NodeRef, std::vector<NodeRef>>& children, NodeRef node,
                        const Trie& trie) {
  const auto found = children.find(node);
  const std::vector<NodeRef> below = found != children.end() ? found->second : std::vector<NodeRef>{};
  auto it = trie.children.begin();
  for (const NodeRef r : below) {
    ASSERT_NE(it, trie.children.end());
    ASSERT_EQ(t.node(r)->parent, node);
    ASSERT_EQ(t.item_pos(t.node(r)->item), it->first);
    ASSERT_EQ(t.node(r)->count, it->second.count);
    expect_trie(t, children, r, it->second);
    ++it;
  }
  ASSERT_EQ(it, trie.children.end());
}

// The tree is the trie, and every node is once in the chain of its position,
// each chain newest (highest number) first.
inline void expect_tree(const FI_tree& t, const Trie& trie) {
  const auto children = children_of(t);
  ASSERT_NO_FATAL_FAILURE(expect_trie(t, children, t.root_ref(), trie));
  std::map<NodeRef, int> in_tree, in_chains;
  for (const auto& [parent, below] : children)
    for (const NodeRef c : below) in_tree[c] = t.item_pos(t.node(c)->item);
  for (int p = 0; p < t.num_items(); ++p) {
    NodeRef previous = kNoNode;
    for (const NodeRef r : t.chain(p)) {
      ASSERT_TRUE(in_chains.emplace(r, p).second) << "a node twice in the chains";
      ASSERT_TRUE(previous == kNoNode || r < previous) << "position " << p << " is not newest first";
      previous = r;
    }
  }
  ASSERT_EQ(in_chains, in_tree);
}

}  // namespace zub::test
