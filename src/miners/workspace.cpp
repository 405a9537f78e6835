#include "miners/workspace.h"

namespace zub {

Workspace::Workspace(const Settings& settings_, int frequent_items)
    : settings(settings_),
      frequent(frequent_items),
      recorder(frequent_items),
      trees(settings_, frequent_items, recorder.itemset) {
  const std::size_t f = static_cast<std::size_t>(frequent_items);
  lookahead.found = ZeroedArray<int>(f + 1);
  lookahead.candidates = ZeroedArray<int>(f + 1);
  subsets = ZeroedArray<int>(f);
}
void Workspace::size_lookahead(int width) {
  trees.max_width = width;
  const std::size_t w = static_cast<std::size_t>(width);
  lookahead.chain.assign(w, nullptr);
  lookahead.nodes.assign(w, nullptr);
  lookahead.counts.assign(w, 0);
  lookahead.at.assign(w, 0);
  lookahead.up.assign(w, 0);
}

}  // namespace zub
