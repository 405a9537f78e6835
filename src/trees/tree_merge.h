#pragma once
// The trees of several reading threads, each built with child links from
// its share of the transactions (trees/link_tree_share.h), merged into the
// main tree: the nodes of the same path in every tree become one node with
// their counts summed, numbered depth first with each node's children by
// ascending position. That is the numbering of the build from strings
// (trees/string_build.h), so the main tree is the same whichever build
// made it and however the transactions were shared out.
#include <vector>

#include "memory/zeroed_array.h"

namespace zub {

class FI_tree;

// Merges `trees` (on the main tree's positions) into `main` (its root made,
// the rest of its store empty), without child links; fills depth_nodes
// (nodes made per depth) and adds to main's dense pair counts when it has
// them. On one thread: the trees of dense data are small.
void merge_link_trees(const std::vector<const FI_tree*>& trees, FI_tree& main, ZeroedArray<int>& depth_nodes);

}  // namespace zub
