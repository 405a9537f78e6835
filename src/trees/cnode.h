#pragma once
// One node of a CFI-tree, 20 bytes: an MFI-tree node (Mnode) that also
// carries the highest support of any itemset recorded through it. Children
// stand in order of creation; the first is found as an Mnode's is.
#include <cstdint>

namespace zub {

using CnodeRef = std::uint32_t;
inline constexpr CnodeRef kNoCnode = 0;

struct Cnode {
  std::uint32_t key;  // item and depth (NodeKeys)
  int count;          // highest support recorded through this node
  CnodeRef parent;
  CnodeRef next_sibling;
  CnodeRef link;  // next node of the same item, newest first

  void init(CnodeRef parent_, std::uint32_t key_, int count_) {
    key = key_;
    count = count_;
    parent = parent_;
    next_sibling = link = kNoCnode;
  }
};

}  // namespace zub
