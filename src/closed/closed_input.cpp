#include <algorithm>

#include "closed/closed_db.h"
#include "fp_tree/fi_tree.h"

namespace zub {

std::vector<int> item_ranks(int frequent, bool rare_first) {
  std::vector<int> position(static_cast<std::size_t>(frequent));
  for (int r = 0; r < frequent; ++r) position[static_cast<std::size_t>(r)] = rare_first ? frequent - 1 - r : r;
  return position;
}

ClosedInput read_main_tree(const FI_tree& tree, int transactions, bool rare_first) {
  ClosedInput in;
  const int f = tree.num_items;
  in.position = item_ranks(f, rare_first);
  in.transactions = transactions;
  std::vector<int> rank(static_cast<std::size_t>(f));
  for (int r = 0; r < f; ++r) rank[static_cast<std::size_t>(in.position[static_cast<std::size_t>(r)])] = r;

  // Residual counts by node number from the root on; a parent has a lower
  // number than its children, whichever way the tree was built.
  const NodeStore& nodes = *tree.store;
  const NodeRef first = tree.root_ref;
  const NodeRef end = nodes.mark();
  std::vector<int> residual(end - first, 0);
  nodes.for_each_run(first + 1, end, [&](NodeRef r, const Fnode* run, int n) {
    for (int k = 0; k < n; ++k) {
      residual[r + static_cast<NodeRef>(k) - first] += run[k].count;
      residual[run[k].parent - first] -= run[k].count;
    }
  });

  std::vector<int> path;
  for (NodeRef r = first + 1; r < end; ++r) {
    const int weight = residual[r - first];
    if (weight <= 0) continue;
    path.clear();
    for (NodeRef up = r; up != first; up = nodes.at(up)->parent) {
      const int p = tree.item_pos[nodes.at(up)->item];
      if (p >= 0) path.push_back(rank[static_cast<std::size_t>(p)]);
    }
    if (path.empty()) continue;
    std::sort(path.begin(), path.end());
    if (static_cast<int>(path.size()) == f) in.full_support += weight;
    const int off = static_cast<int>(in.items.size());
    in.items.insert(in.items.end(), path.begin(), path.end());
    in.txs.push_back({off, static_cast<int>(path.size()), static_cast<int>(path.size()), weight});
  }
  return in;
}

}  // namespace zub
