#include "miners/workspace.h"

namespace zub {

Workspace::Workspace(const Settings& settings_, int frequent_items)
    : settings(settings_),
      frequent(frequent_items),
      pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2),
      itemset(frequent_items + 1, true) {
  // One slot more than an itemset can have: the first-MFI lookahead pushes
  // the head item a second time on top of a possibly full itemset.
  const std::size_t f = static_cast<std::size_t>(frequent_items);
  lengths.assign(f + 1, 0);
  supp.assign(f, 0);
  tail.assign(f, 0);
  flags.reset(new bool[f > 0 ? f : 1]());
  build.positions.assign(f, 0);
  build.depth_nodes.assign(f, 0);
  lookahead.found.assign(f + 1, 0);
  lookahead.candidates.assign(f + 1, 0);
  maximal.trees.assign(f + 1, nullptr);
  maximal.positions.assign(f + 1, 0);
  closed.trees.assign(f + 1, nullptr);
  subsets.assign(f, 0);
}

void Workspace::size_lookahead(int width) {
  max_width = width;
  const std::size_t w = static_cast<std::size_t>(width);
  lookahead.chain.assign(w, nullptr);
  lookahead.nodes.assign(w, nullptr);
  lookahead.counts.assign(w, 0);
  lookahead.at.assign(w, 0);
  lookahead.up.assign(w, 0);
}

}  // namespace zub
