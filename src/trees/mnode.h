#pragma once
// One node of an MFI-tree. Children stand in item order (the root's, which
// are found through a table, in order of creation). Nodes name each other by
// their numbers in their tree's MnodeStore.
#include <cstdint>

namespace zub {

using MnodeRef = std::uint32_t;
inline constexpr MnodeRef kNoMnode = 0;

struct Mnode {
  int item;   // item id; -1 for the root
  int depth;  // items on the path from the root, this node included
  MnodeRef parent;
  MnodeRef first_child;
  MnodeRef next_sibling;
  MnodeRef link;  // next node of the same item, newest first

  void init(MnodeRef parent_, int item_, int depth_) {
    item = item_;
    depth = depth_;
    parent = parent_;
    first_child = next_sibling = link = kNoMnode;
  }
};

}  // namespace zub
