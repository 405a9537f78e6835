#pragma once
// Recording an itemset, the one way every miner reports what it found: the
// itemset is counted by its length, handed to the output (which discards it
// when the run has no output file), and entered into the result trees that
// must know it, so that later candidates inside it are rejected.
//
// The result trees open on the recursion path stand in a registry by slot:
// the tree of a level sits at the stack index of that level's item and holds,
// of every itemset recorded below that level, the items above that index.
#include <vector>

#include "miners/workspace.h"
#include "io/fsout.h"

namespace zub {

// Counts and writes the itemset's first `length` items with `support`; an
// itemset shorter than the length limit's minimum is neither.
inline void write_found(Workspace& ws, const int* items, int length, int support) {
  if (length < ws.settings.lengths.min) return;
  if (ws.kept != nullptr) {
    ws.kept->push_back(length);
    ws.kept->insert(ws.kept->end(), items, items + length);
    ws.kept->push_back(support);
    return;
  }
  ++ws.lengths[static_cast<std::size_t>(length) - 1];
  ws.out->write_itemset(length, items, support);
}

// The same for the itemset on the stack followed by the k items of `more`.
inline void write_found_above_stack(Workspace& ws, const int* more, int k, int support) {
  const stack& s = ws.itemset;
  if (s.len + k < ws.settings.lengths.min) return;
  ++ws.lengths[static_cast<std::size_t>(s.len + k) - 1];
  ws.out->write_items(s.len, s.items);
  ws.out->write_itemset(k, more, support);
}

// Records the stack's first `length` items with `support`: counts and
// writes them, then enters them into the trees of slots 0 to `slot`. Each
// tree takes the items above its own slot, but the tree of `slot` (the
// level that found the itemset) takes them from `own_from`, which lets a
// level keep its own item in its tree where it needs the node.
template <class Tree>
void enter_found(Workspace& ws, std::vector<Tree*>& trees, int length, int support, int slot, int own_from);

template <class Tree>
void record(Workspace& ws, std::vector<Tree*>& trees, int length, int support, int slot, int own_from) {
  write_found(ws, ws.itemset.items, length, support);
  enter_found(ws, trees, length, support, slot, own_from);
}

// Enters the stack's first `length` items into the trees as `record` does,
// without writing them: an itemset longer than the length limit that later
// candidates must still be checked against.
template <class Tree>
void enter_found(Workspace& ws, std::vector<Tree*>& trees, int length, int support, int slot, int own_from) {
  const int* items = ws.itemset.items;
  for (int t = 0; t <= slot; ++t) {
    Tree* tree = trees[static_cast<std::size_t>(t)];
    if (tree == nullptr) continue;
    const int from = t == slot ? own_from : t + 1;
    if (length > from) tree->enter(items + from, length - from, support);
  }
}

}  // namespace zub
