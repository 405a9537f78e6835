#pragma once
// The databases of the closure miner: weighted transactions of item ranks.
//
// Items are ranked 0..F-1 in the order the miner extends by (see
// item_ranks); a closed set with core c (the rank whose addition made it)
// is extended only by ranks above c. A conditional transaction keeps its
// items above the core, the extension candidates, first and ascending, and
// then those below it, the blockers, ascending: a blocker is never added,
// only checked, because a candidate whose closure would take one in is not
// a child of the set. Transactions with the same candidates are merged: the
// weights add up and the blockers are intersected, which keeps exactly the
// blockers that every merged transaction holds.
#include <cstdint>
#include <vector>

namespace zub {

class FI_tree;

struct ClosedTx {
  int off;     // first item in the item arena
  int above;   // the first `above` items are above the core
  int size;    // all items
  int weight;  // transactions it stands for
};

// The transactions of the whole database, read from the main tree, by rank.
struct ClosedInput {
  std::vector<int> items;     // every transaction's ranks, ascending
  std::vector<ClosedTx> txs;  // core -1: every item is a candidate
  std::vector<int> position;  // the main-tree position of each rank
  int transactions = 0;       // the empty set's support
  int full_support = 0;       // transactions holding every frequent item
};

// Ranks main-tree positions: rare first (rank 0 the least frequent) when
// `rare_first`, else in position order.
std::vector<int> item_ranks(int frequent, bool rare_first);

// Every node of the main tree whose count exceeds its children's stands for
// that many transactions equal to its path from the root. The residual
// counts come from one sweep over the node numbers, so that a tree without
// child links serves as well. The sweep leaves them in the nodes' counts:
// the tree is only good for giving back afterwards, or for
// restore_main_tree, which puts the counts back for another miner.
ClosedInput read_main_tree(FI_tree& tree, int transactions, bool rare_first);
void restore_main_tree(FI_tree& tree);

}  // namespace zub
