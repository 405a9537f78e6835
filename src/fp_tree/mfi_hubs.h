#pragma once
// The children of an MFI-tree's busy nodes, for lookup by item. MFI-tree
// children stand in creation order, so finding one is a walk of the list; a
// node whose walk grows long becomes a hub, whose children are then kept in
// an array sorted by item and found by binary search. Everything lives in the
// tree's pool and goes with it; a grown array leaves its old copy behind.
#include "fp_tree/mnode.h"
#include "memory/memory.h"

namespace zub {

class MFI_tree;

class MfiHubs {
 public:
  static constexpr int kLongWalk = 24;

  static MfiHubs* make(memory& pool);
  // The child of hub `parent` carrying `item`, or none; hub_of first.
  struct Hub;
  Hub* hub_of(MnodeRef parent) const;
  static MnodeRef find(const Hub& hub, int item);
  // Makes `parent`, a node of `tree`, a hub of its present children.
  Hub* add_hub(memory& pool, const MFI_tree& tree, MnodeRef parent);
  static void add_child(memory& pool, Hub& hub, int item, MnodeRef child);

  struct Hub {
    int size;
    int capacity;
    int* items;  // ascending
    MnodeRef* children;
    MnodeRef last;  // the newest child: new ones are linked in behind it
  };

 private:
  MnodeRef* keys_;  // none marks a free slot
  Hub** values_;
  int capacity_;
  int used_;
};

}  // namespace zub
