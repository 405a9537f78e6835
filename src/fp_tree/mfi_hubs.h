#pragma once
// The children of an MFI-tree's busy nodes, for lookup by item. MFI-tree
// children stand in creation order, so finding one is a walk of the list; a
// node whose walk grows long becomes a hub, whose children are then kept in
// an array sorted by item and found by binary search. Everything lives in the
// tree's pool and goes with it; a grown array leaves its old copy behind.
#include "fp_tree/mnode.h"
#include "memory/memory.h"

namespace zub {

class MfiHubs {
 public:
  static constexpr int kLongWalk = 24;

  static MfiHubs* make(memory& pool);
  // The child of hub `parent` carrying `item`, or null; hub_of first.
  struct Hub;
  Hub* hub_of(const Mnode* parent) const;
  static Mnode* find(const Hub& hub, int item);
  Hub* add_hub(memory& pool, Mnode* parent);
  static void add_child(memory& pool, Hub& hub, Mnode* child);

  struct Hub {
    int size;
    int capacity;
    int* items;  // ascending
    Mnode** children;
    Mnode* last;  // the newest child: new ones are linked in behind it
  };

 private:
  const Mnode** keys_;
  Hub** values_;
  int capacity_;
  int used_;
};

}  // namespace zub
