#include "rules/closed_supports.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <numeric>

#include "common/tuning.h"

namespace zub {

constexpr std::size_t kMaxSpread = kRulesMaxSpread;

ClosedSupports::ClosedSupports(int items) : items_(items), added_begin_{0} {}

void ClosedSupports::add(std::span<const int> items, int support) {
  const std::size_t from = added_pool_.size();
  added_pool_.insert(added_pool_.end(), items.begin(), items.end());
  std::sort(added_pool_.begin() + static_cast<std::ptrdiff_t>(from), added_pool_.end());
  added_begin_.push_back(static_cast<std::uint32_t>(added_pool_.size()));
  added_supports_.push_back(support);
}

void ClosedSupports::index() {
  const std::size_t n = added_supports_.size();
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [this](auto a, auto b) { return added_supports_[a] > added_supports_[b]; });
  std::vector<std::uint32_t> holders(static_cast<std::size_t>(items_), 0);
  for (std::uint32_t old : order) {
    const std::span<const int> items(added_pool_.data() + added_begin_[old],
                                     added_pool_.data() + added_begin_[old + 1]);
    closed_.add(items, added_supports_[old]);
    for (int item : items) ++holders[static_cast<std::size_t>(item)];
  }
  added_supports_ = {};
  added_begin_ = {};
  added_pool_ = {};
  found_limit_ = std::max<std::size_t>(n, 1 << 16);

  const auto items = static_cast<std::size_t>(items_);
  item_support_.assign(items, 0);
  bits_.assign(items, {});
  lists_.assign(items, {});
  const std::size_t words = (n + 63) / 64;
  for (std::size_t i = 0; i < items; ++i) {
    if (holders[i] * 32 > n)  // a bit set is the smaller
      bits_[i].assign(words, 0);
    else
      lists_[i].reserve(holders[i]);
  }
  for (std::uint32_t number = 0; number < n; ++number) {
    for (int item : closed_.items(number)) {
      const auto i = static_cast<std::size_t>(item);
      if (item_support_[i] == 0) item_support_[i] = closed_.value(number);
      if (!bits_[i].empty())
        bits_[i][number / 64] |= std::uint64_t{1} << (number % 64);
      else
        lists_[i].push_back(number);
    }
  }
}

int ClosedSupports::whole(std::span<const int> sorted) const {
  const int number = closed_.find(sorted);
  return number < 0 ? 0 : closed_.value(static_cast<std::uint32_t>(number));
}

void ClosedSupports::about(std::span<const int> z, int support) {
  z_.assign(z.begin(), z.end());
  std::sort(z_.begin(), z_.end());
  z_support_ = support;
  z_closure_ = -2;
}

int ClosedSupports::closure_of_z() {
  if (z_closure_ != -2) return z_closure_;
  z_closure_ = closed_.find(z_);
  if (z_closure_ < 0) {
    // The closure has z's support: it is among the numbers of that support.
    const std::vector<int>& supports = closed_.values();
    const auto [lo, hi] = std::equal_range(supports.begin(), supports.end(), z_support_, std::greater<int>());
    z_closure_ = first_holding(z_, static_cast<std::uint32_t>(lo - supports.begin()),
                               static_cast<std::uint32_t>(hi - supports.begin()));
  }
  return z_closure_;
}

int ClosedSupports::between(std::span<const int> x) {
  // The closure of x lies between x and z's closure; of the closed sets
  // there it is the one with fewest items. Z's closure itself (all of the
  // spread, the items it has beyond x) is the last candidate, known
  // without a lookup.
  const std::vector<int>& spread = spread_;
  const auto cz_number = static_cast<std::uint32_t>(z_closure_);
  const std::size_t d = spread.size();
  if (d > kMaxSpread) return -1;
  const std::uint32_t all = (1u << d) - 1;
  for (std::size_t count = 1; count < d; ++count) {
    // The masks of `count` bits in rising order (the next number with as many bits set).
    for (std::uint32_t mask = (1u << count) - 1; mask < all;) {
      extra_.clear();
      for (std::size_t j = 0; j < d; ++j)
        if (mask >> j & 1) extra_.push_back(spread[j]);
      scratch_.clear();
      std::merge(x.begin(), x.end(), extra_.begin(), extra_.end(), std::back_inserter(scratch_));
      if (const int s = whole(scratch_); s > 0) return s;
      const std::uint32_t low = mask & (~mask + 1), ripple = mask + low;
      mask = (((ripple ^ mask) >> 2) / low) | ripple;
    }
  }
  return closed_.value(cz_number);
}

bool ClosedSupports::holds(int item, std::uint32_t number) const {
  const auto i = static_cast<std::size_t>(item);
  if (!bits_[i].empty()) return (bits_[i][number / 64] >> (number % 64) & 1) != 0;
  return std::binary_search(lists_[i].begin(), lists_[i].end(), number);
}

int ClosedSupports::first_holding(std::span<const int> x, std::uint32_t from, std::uint32_t to) const {
  // Walk the list with the fewest numbers in the range, if any item has a
  // list; otherwise AND the bit sets a word at a time.
  int shortest = -1;
  using Iter = std::vector<std::uint32_t>::const_iterator;
  Iter begin{}, end{};
  for (int item : x) {
    const std::vector<std::uint32_t>& list = lists_[static_cast<std::size_t>(item)];
    if (!bits_[static_cast<std::size_t>(item)].empty()) continue;
    const Iter b = std::lower_bound(list.begin(), list.end(), from);
    const Iter e = std::lower_bound(b, list.end(), to);
    if (shortest < 0 || e - b < end - begin) shortest = item, begin = b, end = e;
  }
  if (shortest >= 0) {
    for (Iter it = begin; it != end; ++it) {
      bool all = true;
      for (std::size_t k = 0; k < x.size() && all; ++k) all = x[k] == shortest || holds(x[k], *it);
      if (all) return static_cast<int>(*it);
    }
    return -1;
  }
  for (std::uint32_t w = from / 64; w * 64 < to; ++w) {
    std::uint64_t common = ~std::uint64_t{0} << (w == from / 64 ? from % 64 : 0);
    for (std::size_t k = 0; k < x.size() && common != 0; ++k) common &= bits_[static_cast<std::size_t>(x[k])][w];
    if (common == 0) continue;
    const std::uint32_t number = w * 64 + static_cast<std::uint32_t>(std::countr_zero(common));
    return number < to ? static_cast<int>(number) : -1;
  }
  return -1;
}

int ClosedSupports::support_of(std::span<const int> x) {
  for (int item : x)
    if (item < 0 || item >= items_) return 0;
  if (x.empty()) return 0;
  if (x.size() == 1) return item_support_[static_cast<std::size_t>(x[0])];
  if (const int s = whole(x); s > 0) return s;
  const bool inside = !z_.empty() && std::includes(z_.begin(), z_.end(), x.begin(), x.end()) && closure_of_z() >= 0;
  if (inside) {
    const std::span<const int> cz = closed_.items(static_cast<std::uint32_t>(z_closure_));
    spread_.clear();
    std::set_difference(cz.begin(), cz.end(), x.begin(), x.end(), std::back_inserter(spread_));
    // x is not closed: with one item more z's closure is the only closed set in between.
    if (spread_.size() == 1) return closed_.value(static_cast<std::uint32_t>(z_closure_));
  }
  if (const int known = found_.find(x); known >= 0) return found_.value(static_cast<std::uint32_t>(known));
  int s = inside ? between(x) : -1;
  if (s < 0) {
    const int number = first_holding(x, 0, static_cast<std::uint32_t>(closed_.size()));
    s = number < 0 ? 0 : closed_.value(static_cast<std::uint32_t>(number));
  }
  if (found_.size() == found_limit_) found_.clear();
  found_.add(x, s);
  return s;
}

}  // namespace zub
