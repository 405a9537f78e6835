#pragma once
// The children of an MFI-tree's busy nodes, for lookup by item. MFI-tree
// children form a list in item order, so finding one is a walk of the list; a
// node whose walk grows long becomes a hub, whose children are then also kept
// in an array sorted by item and found by binary search. Everything lives in the
// tree's pool and goes with it; a grown array leaves its old copy behind.
#include "fp_tree/mnode.h"
#include "memory/memory.h"

namespace zub {

class MFI_tree;

class MfiHubs {
 public:
  static constexpr int kLongWalk = 24;

  static MfiHubs* make(memory& pool);
  // The child of hub `parent` carrying `item`, or none; `prev` receives the
  // child with the largest item below it (or none). hub_of first.
  struct Hub;
  Hub* hub_of(MnodeRef parent) const;
  static MnodeRef find(const Hub& hub, int item, MnodeRef* prev);
  // Makes `parent`, a node of `tree`, a hub of its present children.
  Hub* add_hub(memory& pool, const MFI_tree& tree, MnodeRef parent);
  static void add_child(memory& pool, Hub& hub, int item, MnodeRef child);

  struct Hub {
    int size;
    int capacity;
    int* items;  // ascending
    MnodeRef* children;
  };

 private:
  MnodeRef* keys_;  // none marks a free slot
  Hub** values_;
  int capacity_;
  int used_;
};

}  // namespace zub
