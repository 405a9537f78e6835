#include "trees/tree_scratch.h"

#include "common/tuning.h"

namespace zub {

TreeScratch::TreeScratch(const Settings& settings_, int frequent_items, stack& itemset_)
    : settings(settings_),
      frequent(frequent_items),
      pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2),
      itemset(itemset_) {
  const std::size_t f = static_cast<std::size_t>(frequent_items);
  supp.assign(f, 0);
  tail.assign(f, 0);
  flags.reset(new bool[f > 0 ? f : 1]());
  build.positions.assign(f, 0);
  build.depth_nodes.assign(f, 0);
  entry_positions.assign(f + 1, 0);
}

}  // namespace zub
