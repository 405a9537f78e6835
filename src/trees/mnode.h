#pragma once
// One node of an MFI-tree, 16 bytes. Nodes name each other by their numbers
// in their tree's MnodeStore. The item and depth share a word (NodeKeys).
// A node keeps no link to its first child: that child is most often the
// next number, and otherwise is kept aside (LateChildren); the first child
// links the others through next_sibling.
#include <cstdint>

namespace zub {

using MnodeRef = std::uint32_t;
inline constexpr MnodeRef kNoMnode = 0;

struct Mnode {
  std::uint32_t key;  // item and depth (NodeKeys)
  MnodeRef parent;
  MnodeRef next_sibling;
  MnodeRef link;  // next node of the same item, newest first

  void init(MnodeRef parent_, std::uint32_t key_) {
    key = key_;
    parent = parent_;
    next_sibling = link = kNoMnode;
  }
};

}  // namespace zub
