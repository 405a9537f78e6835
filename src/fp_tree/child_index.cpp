#include "fp_tree/child_index.h"

#include <algorithm>
#include <iterator>

#include "fp_tree/fi_tree.h"

namespace zub {

void ChildIndex::begin(const FI_tree* tree) {
  end();
  tree_ = tree;
}

void ChildIndex::end() {
  if (hub_count_ > 0) {
    std::fill(table_.begin(), table_.end(), nullptr);
    std::fill(std::begin(filter_), std::end(filter_), 0);
  }
  hub_count_ = 0;
  tree_ = nullptr;
}

int ChildIndex::probe(const Fnode* parent) const {
  for (std::size_t k = home(parent);; k = (k + 1) & (table_.size() - 1)) {
    if (table_[k] == parent) return table_hub_[k];
    if (table_[k] == nullptr) return -1;
  }
}

NodeRef ChildIndex::find(int h, int pos, NodeRef* before) const {
  const Hub& hub = hubs_[h];
  const auto at = std::lower_bound(hub.positions.begin(), hub.positions.end(), pos);
  const std::size_t k = static_cast<std::size_t>(at - hub.positions.begin());
  *before = k > 0 ? hub.children[k - 1] : kNoNode;
  return at != hub.positions.end() && *at == pos ? hub.children[k] : kNoNode;
}

void ChildIndex::add_hub(const Fnode* parent, NodeRef parent_ref, const FI_tree& tree) {
  if (2 * (hub_count_ + 1) > static_cast<int>(table_.size())) {
    // Rehash into a table twice as large.
    std::vector<const Fnode*> old(table_.size() < 64 ? 64 : 2 * table_.size(), nullptr);
    old.swap(table_);
    std::vector<int> old_hub(table_.size(), -1);
    old_hub.swap(table_hub_);
    for (std::size_t k = 0; k < old.size(); ++k) {
      if (old[k] == nullptr) continue;
      std::size_t j = home(old[k]);
      while (table_[j] != nullptr) j = (j + 1) & (table_.size() - 1);
      table_[j] = old[k];
      table_hub_[j] = old_hub[k];
    }
  }
  std::size_t j = home(parent);
  while (table_[j] != nullptr) j = (j + 1) & (table_.size() - 1);
  table_[j] = parent;
  table_hub_[j] = hub_count_;
  const std::size_t bit = filter_bit(parent);
  filter_[bit >> 6] |= std::uint64_t(1) << (bit & 63);
  if (hub_count_ == static_cast<int>(hubs_.size())) hubs_.emplace_back();
  Hub& hub = hubs_[hub_count_++];
  hub.positions.clear();
  hub.children.clear();
  for (NodeRef r = tree.links(parent_ref)->first_child; r != kNoNode; r = tree.links(r)->next_sibling) {
    hub.positions.push_back(tree.item_pos[tree.node(r)->item]);  // the list is sorted already
    hub.children.push_back(r);
  }
}

void ChildIndex::add_child(int h, int pos, NodeRef child) {
  Hub& hub = hubs_[h];
  const auto at = std::lower_bound(hub.positions.begin(), hub.positions.end(), pos);
  const auto k = at - hub.positions.begin();
  hub.positions.insert(at, pos);
  hub.children.insert(hub.children.begin() + k, child);
}

}  // namespace zub
