#include "rules/closed_supports.h"

#include <algorithm>
#include <numeric>

namespace zub {

void ClosedSupports::add(std::span<const int> items, int support) {
  items_.emplace_back(items.begin(), items.end());
  supports_.push_back(support);
}

void ClosedSupports::index() {
  std::vector<std::size_t> order(supports_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) { return supports_[a] > supports_[b]; });
  std::vector<int> supports(order.size());
  for (std::size_t n = 0; n < order.size(); ++n) {
    supports[n] = supports_[order[n]];
    for (int item : items_[order[n]]) holders_[item].push_back(static_cast<int>(n));
  }
  supports_.swap(supports);
  items_.clear();
  items_.shrink_to_fit();
}

int ClosedSupports::support_of(std::span<const int> items) const {
  // The lists of the items, shortest first; the first number of the
  // shortest that every other list holds.
  std::vector<const std::vector<int>*> lists;
  lists.reserve(items.size());
  for (int item : items) {
    const auto it = holders_.find(item);
    if (it == holders_.end()) return 0;
    lists.push_back(&it->second);
  }
  if (lists.empty()) return 0;
  std::sort(lists.begin(), lists.end(), [](auto* a, auto* b) { return a->size() < b->size(); });
  std::vector<std::size_t> at(lists.size(), 0);  // where each other list's search resumes
  for (int n : *lists[0]) {
    bool all = true;
    for (std::size_t k = 1; k < lists.size() && all; ++k) {
      const std::vector<int>& l = *lists[k];
      at[k] = static_cast<std::size_t>(std::lower_bound(l.begin() + static_cast<std::ptrdiff_t>(at[k]), l.end(), n) -
                                       l.begin());
      if (at[k] == l.size()) return 0;  // no later number either
      all = l[at[k]] == n;
    }
    if (all) return supports_[static_cast<std::size_t>(n)];
  }
  return 0;
}

}  // namespace zub
