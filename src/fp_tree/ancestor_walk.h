#pragma once
// Visits every (node, ancestor) pair of a list of nodes: for each node, each
// ancestor from its parent up to, not including, `root`. Several paths are
// climbed in lock-step so that the cache misses of their parent pointers
// overlap; the order of the visits is therefore not the order of the list,
// which suits callers that only add up.
#include "fp_tree/node_store.h"

namespace zub {

// The nodes come from `next()`, which returns null after the last one.
template <class Next, class Visit>
inline void for_each_ancestor_of(const NodeStore& store, Next&& next, const Fnode* root, Visit&& visit) {
  constexpr int kLanes = 4;
  const Fnode* at[kLanes];
  const Fnode* of[kLanes];
  int live = 0;
  const Fnode* pending = next();
  for (; live < kLanes && pending != nullptr; pending = next()) {
    of[live] = pending;
    at[live] = store.at(pending->parent);
    ++live;
  }
  while (live > 0) {
    for (int k = 0; k < live;) {
      if (at[k] != root) {
        visit(*of[k], *at[k]);
        at[k] = store.at(at[k]->parent);
        ++k;
      } else if (pending != nullptr) {
        of[k] = pending;
        at[k] = store.at(pending->parent);
        pending = next();
      } else {
        --live;
        of[k] = of[live];
        at[k] = at[live];
      }
    }
  }
}

// The n nodes numbered in an array.
template <class Visit>
inline void for_each_ancestor(const NodeStore& store, const NodeRef* nodes, int n, const Fnode* root, Visit&& visit) {
  int k = 0;
  for_each_ancestor_of(store, [&]() -> const Fnode* { return k < n ? store.at(nodes[k++]) : nullptr; }, root, visit);
}

}  // namespace zub
