#include "trees/hub_index.h"

#include <algorithm>

namespace zub {

namespace {
std::size_t home(std::uint32_t parent, int capacity) {
  return static_cast<std::size_t>((std::uint64_t{parent} * 0x9E3779B97F4A7C15ull) >> 40) &
         static_cast<std::size_t>(capacity - 1);
}
}  // namespace

HubIndex* HubIndex::make(memory& pool) {
  HubIndex* index = pool.take<HubIndex>(1);
  std::fill(std::begin(index->filter_), std::end(index->filter_), 0);
  index->capacity_ = 16;
  index->used_ = 0;
  index->keys_ = pool.take<std::uint32_t>(index->capacity_);
  index->values_ = pool.take<Hub*>(index->capacity_);
  std::fill(index->keys_, index->keys_ + index->capacity_, 0);
  return index;
}

HubIndex::Hub* HubIndex::probe(std::uint32_t parent) const {
  for (std::size_t k = home(parent, capacity_);; k = (k + 1) & static_cast<std::size_t>(capacity_ - 1)) {
    if (keys_[k] == parent) return values_[k];
    if (keys_[k] == 0) return nullptr;
  }
}

std::uint32_t HubIndex::find(const Hub& hub, int key, std::uint32_t* before) {
  const int* at = std::lower_bound(hub.keys, hub.keys + hub.size, key);
  const std::ptrdiff_t k = at - hub.keys;
  *before = k > 0 ? hub.children[k - 1] : 0;
  return at != hub.keys + hub.size && *at == key ? hub.children[k] : 0;
}

HubIndex::Hub* HubIndex::new_hub(memory& pool, std::uint32_t parent, int children) {
  if (2 * (used_ + 1) > capacity_) {
    // Rehash into a table twice as large.
    const std::uint32_t* old_keys = keys_;
    Hub** old_values = values_;
    const int old_capacity = capacity_;
    capacity_ *= 2;
    keys_ = pool.take<std::uint32_t>(capacity_);
    values_ = pool.take<Hub*>(capacity_);
    std::fill(keys_, keys_ + capacity_, 0);
    for (int k = 0; k < old_capacity; ++k) {
      if (old_keys[k] == 0) continue;
      std::size_t j = home(old_keys[k], capacity_);
      while (keys_[j] != 0) j = (j + 1) & static_cast<std::size_t>(capacity_ - 1);
      keys_[j] = old_keys[k];
      values_[j] = old_values[k];
    }
  }
  Hub* hub = pool.take<Hub>(1);
  hub->size = 0;
  hub->capacity = 2 * children;
  hub->keys = pool.take<int>(hub->capacity);
  hub->children = pool.take<std::uint32_t>(hub->capacity);
  std::size_t j = home(parent, capacity_);
  while (keys_[j] != 0) j = (j + 1) & static_cast<std::size_t>(capacity_ - 1);
  keys_[j] = parent;
  values_[j] = hub;
  ++used_;
  filter_[(parent & (kFilterBits - 1)) >> 6] |= std::uint64_t{1} << (parent & 63);
  return hub;
}

void HubIndex::add_child(memory& pool, Hub& hub, int key, std::uint32_t child) {
  if (hub.size == hub.capacity) {
    const int grown = 2 * hub.capacity;
    int* keys = pool.take<int>(grown);
    std::uint32_t* children = pool.take<std::uint32_t>(grown);
    std::copy(hub.keys, hub.keys + hub.size, keys);
    std::copy(hub.children, hub.children + hub.size, children);
    hub.keys = keys;
    hub.children = children;
    hub.capacity = grown;
  }
  const int k = static_cast<int>(std::lower_bound(hub.keys, hub.keys + hub.size, key) - hub.keys);
  for (int j = hub.size; j > k; --j) {
    hub.keys[j] = hub.keys[j - 1];
    hub.children[j] = hub.children[j - 1];
  }
  hub.keys[k] = key;
  hub.children[k] = child;
  ++hub.size;
}

}  // namespace zub
