#pragma once
// Between the item ids of the file and the positions of the main tree, which
// every tree, miner and itemset uses from the first scan on. Fixed once the
// first scan has chosen the frequent items; shared read-only by the miners.
// Ids below kDenseIds (or every id, where every id is frequent) are looked up
// in an array by id; a file with larger ids gets a table of its frequent
// ids, so that memory follows the number of ids, not the largest.
#include <vector>

#include "trees/id_table.h"

namespace zub {

struct ItemMap {
  std::vector<int> file_id;   // by position (0: the most frequent item)
  // The way back, read by the second pass only (a run drops it then).
  std::vector<int> position;  // by file id, -1 for an infrequent id; or empty
  IdTable sparse;             // the frequent ids' positions where `position` is empty

  int frequent() const { return static_cast<int>(file_id.size()); }
  // The position of file id `id`, -1 when it is not frequent.
  int position_of(int id) const {
    if (static_cast<std::size_t>(id) < position.size()) return position[static_cast<std::size_t>(id)];
    return static_cast<int>(sparse.find(id, 0xFFFFFFFFu));
  }
};

}  // namespace zub
