#pragma once
// Visits every (node, ancestor) pair of a node-link chain: for each node of
// the chain from `first` along `link`, each ancestor from its parent up to,
// not including, `root`. Several paths are climbed in lock-step so that the
// cache misses of their parent pointers overlap; the order of the visits is
// therefore not the order of the chain, which suits callers that only add up.
#include "fp_tree/fnode.h"

namespace zub {

template <class Visit>
inline void for_each_ancestor(const Fnode* first, const Fnode* root, Visit&& visit) {
  constexpr int kLanes = 4;
  const Fnode* at[kLanes];
  const Fnode* of[kLanes];
  int live = 0;
  const Fnode* next = first;
  for (; live < kLanes && next != nullptr; next = next->link) {
    of[live] = next;
    at[live] = next->parent;
    ++live;
  }
  while (live > 0) {
    for (int k = 0; k < live;) {
      if (at[k] != root) {
        visit(*of[k], *at[k]);
        at[k] = at[k]->parent;
        ++k;
      } else if (next != nullptr) {
        of[k] = next;
        at[k] = next->parent;
        next = next->link;
      } else {
        --live;
        of[k] = of[live];
        at[k] = at[live];
      }
    }
  }
}

}  // namespace zub
