#include "trees/late_children.h"

#include <algorithm>

namespace zub {

void LateChildren::place(std::uint32_t parent, std::uint32_t child) {
  std::uint32_t k = home(parent);
  while (keys_[k] != 0 && keys_[k] != parent) k = (k + 1) & (capacity_ - 1);
  if (keys_[k] == 0) ++used_;
  keys_[k] = parent;
  values_[k] = child;
}

void LateChildren::set(std::uint32_t parent, std::uint32_t child) {
  if (2 * (used_ + 1) > capacity_) {
    // Twice as large; the old table stays behind in the pool.
    const std::uint32_t* old_keys = keys_;
    const std::uint32_t* old_values = values_;
    const std::uint32_t old_capacity = capacity_;
    capacity_ = std::max<std::uint32_t>(16, 2 * capacity_);
    keys_ = pool_->take<std::uint32_t>(capacity_);
    values_ = pool_->take<std::uint32_t>(capacity_);
    std::fill(keys_, keys_ + capacity_, 0);
    used_ = 0;
    for (std::uint32_t k = 0; k < old_capacity; ++k)
      if (old_keys[k] != 0) place(old_keys[k], old_values[k]);
  }
  place(parent, child);
}

}  // namespace zub
