#include "fp_tree/mfi_hubs.h"

#include <algorithm>
#include <cstdint>

#include "fp_tree/mfi_tree.h"

namespace zub {

namespace {
std::size_t home(MnodeRef parent, int capacity) {
  return static_cast<std::size_t>((std::uint64_t{parent} * 0x9E3779B97F4A7C15ull) >> 40) &
         static_cast<std::size_t>(capacity - 1);
}
}  // namespace

MfiHubs* MfiHubs::make(memory& pool) {
  MfiHubs* hubs = pool.take<MfiHubs>(1);
  hubs->capacity_ = 16;
  hubs->used_ = 0;
  hubs->keys_ = pool.take<MnodeRef>(hubs->capacity_);
  hubs->values_ = pool.take<Hub*>(hubs->capacity_);
  std::fill(hubs->keys_, hubs->keys_ + hubs->capacity_, kNoMnode);
  return hubs;
}

MfiHubs::Hub* MfiHubs::hub_of(MnodeRef parent) const {
  for (std::size_t k = home(parent, capacity_);; k = (k + 1) & static_cast<std::size_t>(capacity_ - 1)) {
    if (keys_[k] == parent) return values_[k];
    if (keys_[k] == kNoMnode) return nullptr;
  }
}

MnodeRef MfiHubs::find(const Hub& hub, int item, MnodeRef* prev) {
  const int* at = std::lower_bound(hub.items, hub.items + hub.size, item);
  const std::ptrdiff_t k = at - hub.items;
  *prev = k > 0 ? hub.children[k - 1] : kNoMnode;
  return at != hub.items + hub.size && *at == item ? hub.children[k] : kNoMnode;
}

MfiHubs::Hub* MfiHubs::add_hub(memory& pool, const MFI_tree& tree, MnodeRef parent) {
  if (2 * (used_ + 1) > capacity_) {
    const MnodeRef* old_keys = keys_;
    Hub** old_values = values_;
    const int old_capacity = capacity_;
    capacity_ *= 2;
    keys_ = pool.take<MnodeRef>(capacity_);
    values_ = pool.take<Hub*>(capacity_);
    std::fill(keys_, keys_ + capacity_, kNoMnode);
    for (int k = 0; k < old_capacity; ++k) {
      if (old_keys[k] == kNoMnode) continue;
      std::size_t j = home(old_keys[k], capacity_);
      while (keys_[j] != kNoMnode) j = (j + 1) & static_cast<std::size_t>(capacity_ - 1);
      keys_[j] = old_keys[k];
      values_[j] = old_values[k];
    }
  }
  int n = 0;
  for (MnodeRef c = tree.node(parent)->first_child; c != kNoMnode; c = tree.node(c)->next_sibling) ++n;
  Hub* hub = pool.take<Hub>(1);
  hub->size = 0;
  hub->capacity = 2 * n;
  hub->items = pool.take<int>(hub->capacity);
  hub->children = pool.take<MnodeRef>(hub->capacity);
  for (MnodeRef c = tree.node(parent)->first_child; c != kNoMnode; c = tree.node(c)->next_sibling) {
    hub->items[hub->size] = tree.node(c)->item;
    hub->children[hub->size++] = c;  // in item order already
  }
  std::size_t j = home(parent, capacity_);
  while (keys_[j] != kNoMnode) j = (j + 1) & static_cast<std::size_t>(capacity_ - 1);
  keys_[j] = parent;
  values_[j] = hub;
  ++used_;
  return hub;
}

void MfiHubs::add_child(memory& pool, Hub& hub, int item, MnodeRef child) {
  if (hub.size == hub.capacity) {
    const int grown = 2 * hub.capacity;
    int* items = pool.take<int>(grown);
    MnodeRef* children = pool.take<MnodeRef>(grown);
    std::copy(hub.items, hub.items + hub.size, items);
    std::copy(hub.children, hub.children + hub.size, children);
    hub.items = items;
    hub.children = children;
    hub.capacity = grown;
  }
  const int k = static_cast<int>(std::lower_bound(hub.items, hub.items + hub.size, item) - hub.items);
  for (int j = hub.size; j > k; --j) {
    hub.items[j] = hub.items[j - 1];
    hub.children[j] = hub.children[j - 1];
  }
  hub.items[k] = item;
  hub.children[k] = child;
  ++hub.size;
}

}  // namespace zub
