#include "trees/tree_scratch.h"

#include "common/tuning.h"

namespace zub {

TreeScratch::TreeScratch(const Settings& settings_, int frequent_items, stack& itemset_)
    : settings(settings_),
      frequent(frequent_items),
      pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2),
      itemset(itemset_) {
  const std::size_t f = static_cast<std::size_t>(frequent_items);
  supp = ZeroedArray<int>(f);
  tail = ZeroedArray<int>(f);
  flags = ZeroedArray<bool>(f > 0 ? f : 1);
  build.positions = ZeroedArray<int>(f);
  build.depth_nodes = ZeroedArray<int>(f);
  entry_positions = ZeroedArray<int>(f + 1);
}

}  // namespace zub
