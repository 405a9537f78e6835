#include "miners/workspace.h"

namespace zub {

Workspace::Workspace(const Settings& settings_, int frequent_items)
    : settings(settings_),
      frequent(frequent_items),
      pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2),
      recorder(frequent_items) {
  const std::size_t f = static_cast<std::size_t>(frequent_items);
  supp.assign(f, 0);
  tail.assign(f, 0);
  flags.reset(new bool[f > 0 ? f : 1]());
  build.positions.assign(f, 0);
  build.depth_nodes.assign(f, 0);
  lookahead.found.assign(f + 1, 0);
  lookahead.candidates.assign(f + 1, 0);
  maximal.positions.assign(f + 1, 0);
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
