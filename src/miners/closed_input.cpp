#include <algorithm>

#include "miners/closed_db.h"
#include "trees/fi_tree.h"

namespace zub {

std::vector<int> item_ranks(int frequent, bool rare_first) {
  std::vector<int> position(static_cast<std::size_t>(frequent));
  for (int r = 0; r < frequent; ++r) position[static_cast<std::size_t>(r)] = rare_first ? frequent - 1 - r : r;
  return position;
}

ClosedInput read_main_tree(FI_tree& tree, int transactions, bool rare_first) {
  ClosedInput in;
  const int f = tree.num_items();
  in.position = item_ranks(f, rare_first);
  in.transactions = transactions;
  std::vector<int> rank(static_cast<std::size_t>(f));
  for (int r = 0; r < f; ++r) rank[static_cast<std::size_t>(in.position[static_cast<std::size_t>(r)])] = r;

  // Residual counts, in place: in rising numbers a node comes before its
  // children (whichever way the tree was built), so its count is still its
  // own when it is taken from its parent's.
  NodeStore& nodes = tree.store();
  const NodeRef first = tree.root_ref();
  const NodeRef end = nodes.mark();
  nodes.for_each_run(first + 1, end, [&](NodeRef, Fnode* run, int n) {
    for (int k = 0; k < n; ++k) nodes.at(run[k].parent)->count -= run[k].count;
  });
  auto residual = [&](NodeRef r) { return nodes.at(r)->count; };

  // Sized first, so that the transactions take their exact room beside the tree.
  std::size_t total = 0, count = 0;
  for (NodeRef r = first + 1; r < end; ++r) {
    if (residual(r) <= 0) continue;
    ++count;
    for (NodeRef up = r; up != first; up = nodes.at(up)->parent) ++total;
  }
  in.items.reserve(total);
  in.txs.reserve(count);
  for (NodeRef r = first + 1; r < end; ++r) {
    const int weight = residual(r);
    if (weight <= 0) continue;
    const auto off = static_cast<std::ptrdiff_t>(in.items.size());
    // Climbing meets the positions descending.
    for (NodeRef up = r; up != first; up = nodes.at(up)->parent)
      in.items.push_back(rank[static_cast<std::size_t>(tree.item_pos(nodes.at(up)->item))]);
    const auto begin = in.items.begin() + off;
    if (!rare_first) std::reverse(begin, in.items.end());
    if (!std::is_sorted(begin, in.items.end())) std::sort(begin, in.items.end());
    const int size = static_cast<int>(in.items.end() - begin);
    if (size == f) in.full_support += weight;
    in.txs.push_back({static_cast<int>(off), size, size, weight});
  }
  return in;
}

void restore_main_tree(FI_tree& tree) {
  // Each node's count is its residual plus its children's counts, and the
  // children come after it: from the last node back, each adds its count
  // to its parent's.
  NodeStore& nodes = tree.store();
  for (NodeRef r = nodes.mark() - 1; r > tree.root_ref(); --r)
    nodes.at(nodes.at(r)->parent)->count += nodes.at(r)->count;
}

}  // namespace zub
