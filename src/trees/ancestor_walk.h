#pragma once
// The climb from a list of nodes to the root, the walk that mining repeats
// most. Up to kLanes paths are climbed in lock-step, so that the cache
// misses of their parents overlap: the nodes go in groups of kLanes, in list
// order, and a group is climbed to the end before the next begins.
#include "trees/node_store.h"

namespace zub {

// For each of the n nodes node_at(0) .. node_at(n - 1): visit(k, node,
// ancestor) for every ancestor from the node's parent up to, not including,
// `root`; after each group, group_done(first, count).
template <int kLanes, class NodeAt, class Visit, class GroupDone>
inline void climb_in_lockstep(const NodeStore& store, int n, NodeAt&& node_at, const Fnode* root, Visit&& visit,
                              GroupDone&& group_done) {
  const Fnode* at[kLanes];
  const Fnode* of[kLanes];
  for (int first = 0; first < n; first += kLanes) {
    const int lanes = n - first < kLanes ? n - first : kLanes;
    for (int lane = 0; lane < lanes; ++lane) {
      of[lane] = node_at(first + lane);
      at[lane] = store.at(of[lane]->parent);
    }
    for (int climbing = lanes; climbing > 0;) {
      climbing = 0;
      for (int lane = 0; lane < lanes; ++lane) {
        const Fnode* a = at[lane];
        if (a == root) continue;
        visit(lane, *of[lane], *a);
        at[lane] = store.at(a->parent);
        ++climbing;
      }
    }
    group_done(first, lanes);
  }
}

// Visits every (node, ancestor) pair of the n nodes numbered in an array, in
// no particular order: for callers that only add up.
template <class Visit>
inline void for_each_ancestor(const NodeStore& store, const NodeRef* nodes, int n, const Fnode* root, Visit&& visit) {
  climb_in_lockstep<8>(
      store, n, [&](int k) { return store.at(nodes[k]); }, root,
      [&](int, const Fnode& node, const Fnode& ancestor) { visit(node, ancestor); }, [](int, int) {});
}

}  // namespace zub
