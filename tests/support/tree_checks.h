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

// The children of every node of a tree, in sibling order: walked along the
// child links, or for a tree built without them, gathered from the parents
// of the numbers from its root up to the store's mark (nodes of items the
// tree no longer has, a single prefix taken off, are left out).
inline std::map<NodeRef, std::vector<NodeRef>> children_of(const FI_tree& t) {
  std::map<NodeRef, std::vector<NodeRef>> children;
  if (t.child_links) {
    std::vector<NodeRef> todo{t.root_ref};
    while (!todo.empty()) {
      const NodeRef n = todo.back();
      todo.pop_back();
      for (NodeRef c = t.links(n)->first_child; c != kNoNode; c = t.links(c)->next_sibling) {
        children[n].push_back(c);
        todo.push_back(c);
      }
    }
    return children;
  }
  for (NodeRef r = t.root_ref + 1; r < t.store->mark(); ++r)
    if (t.item_pos[t.node(r)->item] >= 0) children[t.node(r)->parent].push_back(r);
  return children;
}

// The subtree below `node` has the trie's paths, counts and sorted children.
inline void expect_trie(const FI_tree& t, const std::map<NodeRef, std::vector<NodeRef>>& children, NodeRef node,
                        const Trie& trie) {
  const auto found = children.find(node);
  const std::vector<NodeRef> none;
  const std::vector<NodeRef>& below = found != children.end() ? found->second : none;
  auto it = trie.children.begin();
  for (const NodeRef r : below) {
    const Fnode* c = t.node(r);
    ASSERT_NE(it, trie.children.end());
    ASSERT_EQ(c->parent, node);
    ASSERT_EQ(t.item_pos[c->item], it->first);
    ASSERT_EQ(c->count, it->second.count);
    expect_trie(t, children, r, it->second);
    ++it;
  }
  ASSERT_EQ(it, trie.children.end());
}
inline void expect_trie(const FI_tree& t, const Trie& trie) { expect_trie(t, children_of(t), t.root_ref, trie); }

// Every node of the tree is once in the chain of its position, and each
// chain is newest (highest number) first.
inline void expect_chains_hold_every_node(const FI_tree& t) {
  std::map<NodeRef, int> in_tree;
  for (const auto& [parent, below] : children_of(t))
    for (const NodeRef c : below) in_tree[c] = t.item_pos[t.node(c)->item];
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
