#include "trees/tree_merge.h"

#include <algorithm>
#include <climits>

#include "trees/fi_tree.h"

namespace zub {

void merge_link_trees(const std::vector<const FI_tree*>& trees, FI_tree& main, ZeroedArray<int>& depth_nodes) {
  // A child still to merge of a node of one tree.
  struct Cursor {
    const FI_tree* tree;
    NodeRef child;
  };
  // A merged node whose children are being merged: its cursors are those
  // from `cursors` on, up to the next frame's.
  struct Frame {
    NodeRef node;
    int position;
    std::size_t cursors;
  };
  auto position_of = [](const Cursor& c) { return c.tree->node(c.child)->item; };  // items are positions
  std::vector<Cursor> open;
  std::vector<Frame> frames;
  for (const FI_tree* t : trees) open.push_back({t, t->links(t->root_ref())->first_child});
  frames.push_back({main.root_ref(), -1, 0});
  NodeStore& store = main.store();
  const NodeStore::LinksOff links_off(store);
  while (!frames.empty()) {
    const Frame f = frames.back();
    const std::size_t end = open.size();
    int low = INT_MAX;
    for (std::size_t k = f.cursors; k < end; ++k)
      if (open[k].child != kNoNode) low = std::min(low, position_of(open[k]));
    if (low == INT_MAX) {  // every child merged
      open.resize(f.cursors);
      frames.pop_back();
      continue;
    }
    // The children at the lowest position become one node, whose
    // children are merged next.
    int count = 0;
    for (std::size_t k = f.cursors; k < end; ++k) {
      const Cursor c = open[k];
      if (c.child == kNoNode || position_of(c) != low) continue;
      count += c.tree->node(c.child)->count;
      open[k].child = c.tree->links(c.child)->next_sibling;
      open.push_back({c.tree, c.tree->links(c.child)->first_child});
    }
    const NodeRef r = store.make();
    store.at(r)->init(f.node, low, count);
    ++depth_nodes[frames.size() - 1];
    if (main.has_pair_counts() && frames.size() > 1) {  // below a root child: low > 0 has a row
      int* row = main.pair_row(low);
      for (std::size_t j = 1; j < frames.size(); ++j) row[low - frames[j].position - 1] += count;
    }
    frames.push_back({r, low, end});
  }
}

}  // namespace zub
