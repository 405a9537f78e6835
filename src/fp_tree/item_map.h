#pragma once
// Between the item ids of the file and the positions of the main tree, which
// every tree, miner and itemset uses from the first scan on. Fixed once the
// first scan has chosen the frequent items; shared read-only by the miners.
#include <vector>

namespace zub {

struct ItemMap {
  std::vector<int> file_id;   // by position (0: the most frequent item)
  std::vector<int> position;  // by file id, -1 for an infrequent id

  int frequent() const { return static_cast<int>(file_id.size()); }
  // 1 + the largest id read (0 for a file without ids).
  int file_ids() const { return static_cast<int>(position.size()); }
};

}  // namespace zub
