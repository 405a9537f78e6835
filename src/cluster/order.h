#pragma once
// The item order of a distributed run, decided once: every rank counts the
// ids of its share, rank 0 adds the (id, count) pairs up (ids up to
// 2147483647, so only those present are sent) and chooses the frequent
// items and their order by the first scan of one process (FI_tree::scan1_DB,
// ties included), and broadcasts them. Names read by ranges get the ids one
// process would give them: rank 0 numbers the words in the order of their
// first appearance, rank by rank, and tells each rank its words' ids.
#include <string>
#include <vector>

#include "cluster/comm.h"
#include "cluster/share.h"
#include "common/settings.h"
#include "run/run.h"
#include "trees/fi_tree.h"
#include "trees/item_map.h"

namespace zub {

struct ItemOrder {
  int transactions = 0;
  int threshold = 0;
  std::vector<int> file_id;   // by position (0: the most frequent item)
  std::vector<int> supports;  // by position, in the whole database
  ItemMap map;                // global id -> position
  std::vector<int> global_id;      // the share's own id -> global id; empty: the same
  std::vector<std::string> names;  // rank 0, with names: by global id
  int frequent() const { return static_cast<int>(file_id.size()); }
  // The position of an id as the share's reader gives it (-1: not frequent).
  int position_of(int id) const {
    return map.position_of(global_id.empty() ? id : global_id[static_cast<std::size_t>(id)]);
  }
};

// From each rank's counts of its share. Collective; a failure (more than
// 2147483647 transactions in all, no memory) is agreed on.
Failure decide_order(Comm& comm, const ItemCounts& counts, Share& share, bool names, const MinSupport& minsup,
                     const Tuning& tuning, ItemOrder& order);

}  // namespace zub
