#pragma once
// Checks of a built FP-tree against what the tests derive on their own: the
// trie of the itemsets it was built from, and its chains.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "fp_tree/fi_tree.h"

namespace zub::test {

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

// The subtree below `node` has the trie's paths, counts and sorted children.
inline void expect_trie(const FI_tree& t, NodeRef node, const Trie& trie) {
  auto it = trie.children.begin();
  for (NodeRef r = t.links(node)->first_child; r != kNoNode; r = t.links(r)->next_sibling, ++it) {
    const Fnode* c = t.node(r);
    ASSERT_NE(it, trie.children.end());
    ASSERT_EQ(t.item_pos[c->item], it->first);
    ASSERT_EQ(c->count, it->second.count);
    expect_trie(t, r, it->second);
  }
  ASSERT_EQ(it, trie.children.end());
}

// Every node of the tree, found by walking its children, is once in the
// chain of its position, and each chain is newest (highest number) first.
inline void expect_chains_hold_every_node(const FI_tree& t) {
  std::map<NodeRef, int> in_tree;
  std::vector<NodeRef> todo{t.root_ref};
  while (!todo.empty()) {
    const NodeRef n = todo.back();
    todo.pop_back();
    for (NodeRef c = t.links(n)->first_child; c != kNoNode; c = t.links(c)->next_sibling) {
      in_tree[c] = t.item_pos[t.node(c)->item];
      todo.push_back(c);
    }
  }
  std::map<NodeRef, int> in_chains;
  for (int p = 0; p < t.num_items; ++p) {
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
