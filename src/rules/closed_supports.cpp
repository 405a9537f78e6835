#include "rules/closed_supports.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace zub {

namespace {

// Closed sets between X and the closure of Z are tried through the table
// when Z's closure has at most this many items beyond X (2^k - 1 tries).
constexpr std::size_t kMaxSpread = 5;

std::uint64_t hash_of(std::span<const int> sorted) {
  std::uint64_t h = sorted.size();
  for (int item : sorted) h = (h ^ static_cast<std::uint32_t>(item)) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

}  // namespace

ClosedSupports::ClosedSupports(int items) : items_(items), begin_{0} {}

void ClosedSupports::add(std::span<const int> items, int support) {
  const std::size_t from = pool_.size();
  pool_.insert(pool_.end(), items.begin(), items.end());
  std::sort(pool_.begin() + static_cast<std::ptrdiff_t>(from), pool_.end());
  begin_.push_back(static_cast<std::uint32_t>(pool_.size()));
  supports_.push_back(support);
}

void ClosedSupports::index() {
  const std::size_t n = supports_.size();
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [this](auto a, auto b) { return supports_[a] > supports_[b]; });
  std::vector<int> supports(n), pool;
  std::vector<std::uint32_t> begin{0};
  pool.reserve(pool_.size());
  begin.reserve(n + 1);
  for (std::uint32_t old : order) {
    supports[begin.size() - 1] = supports_[old];
    for (int item : items_of(old)) pool.push_back(item);
    begin.push_back(static_cast<std::uint32_t>(pool.size()));
  }
  supports_.swap(supports);
  pool_.swap(pool);
  begin_.swap(begin);

  const auto items = static_cast<std::size_t>(items_);
  std::vector<std::uint32_t> holders(items, 0);
  for (int item : pool_) ++holders[static_cast<std::size_t>(item)];
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
  std::size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  table_.assign(slots, 0);
  for (std::uint32_t number = 0; number < n; ++number) {
    for (int item : items_of(number)) {
      const auto i = static_cast<std::size_t>(item);
      if (item_support_[i] == 0) item_support_[i] = supports_[number];
      if (!bits_[i].empty())
        bits_[i][number / 64] |= std::uint64_t{1} << (number % 64);
      else
        lists_[i].push_back(number);
    }
    std::size_t slot = hash_of(items_of(number)) & (slots - 1);
    while (table_[slot] != 0) slot = (slot + 1) & (slots - 1);
    table_[slot] = number + 1;
  }
}

int ClosedSupports::find(std::span<const int> sorted) const {
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = hash_of(sorted) & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    const std::uint32_t number = table_[slot] - 1;
    const std::span<const int> c = items_of(number);
    if (std::equal(c.begin(), c.end(), sorted.begin(), sorted.end())) return static_cast<int>(number);
  }
  return -1;
}

int ClosedSupports::whole(std::span<const int> sorted) const {
  const int number = find(sorted);
  return number < 0 ? 0 : supports_[static_cast<std::size_t>(number)];
}

void ClosedSupports::about(std::span<const int> z, int support) {
  z_.assign(z.begin(), z.end());
  std::sort(z_.begin(), z_.end());
  z_support_ = support;
  z_closure_ = -2;
}

int ClosedSupports::closure_of_z() {
  if (z_closure_ != -2) return z_closure_;
  z_closure_ = find(z_);
  if (z_closure_ < 0) {
    // The closure has z's support: it is among the numbers of that support.
    const auto [lo, hi] = std::equal_range(supports_.begin(), supports_.end(), z_support_, std::greater<int>());
    z_closure_ = first_holding(z_, static_cast<std::uint32_t>(lo - supports_.begin()),
                               static_cast<std::uint32_t>(hi - supports_.begin()));
  }
  return z_closure_;
}

int ClosedSupports::between(std::span<const int> x) {
  // The closure of x lies between x and z's closure; of the closed sets
  // there it is the one with fewest items.
  std::vector<int>& spread = spread_;
  spread.clear();
  const std::span<const int> cz = items_of(static_cast<std::uint32_t>(z_closure_));
  std::set_difference(cz.begin(), cz.end(), x.begin(), x.end(), std::back_inserter(spread));
  const std::size_t d = spread.size();
  if (d > kMaxSpread) return -1;
  std::vector<int>& extra = extra_;
  for (int count = 1; count <= static_cast<int>(d); ++count) {
    for (std::uint32_t mask = 1; mask < (1u << d); ++mask) {
      if (std::popcount(mask) != count) continue;
      extra.clear();
      for (std::size_t j = 0; j < d; ++j)
        if (mask >> j & 1) extra.push_back(spread[j]);
      scratch_.clear();
      std::merge(x.begin(), x.end(), extra.begin(), extra.end(), std::back_inserter(scratch_));
      if (const int s = whole(scratch_); s > 0) return s;
    }
  }
  return -1;
}

bool ClosedSupports::holds(int item, std::uint32_t number) const {
  const auto i = static_cast<std::size_t>(item);
  if (!bits_[i].empty()) return (bits_[i][number / 64] >> (number % 64) & 1) != 0;
  return std::binary_search(lists_[i].begin(), lists_[i].end(), number);
}

int ClosedSupports::first_holding(std::span<const int> x, std::uint32_t from, std::uint32_t to) const {
  // Walk the shortest list, if any item has one; otherwise AND the bit sets
  // a word at a time.
  int shortest = -1;
  for (int item : x) {
    const auto i = static_cast<std::size_t>(item);
    if (bits_[i].empty() && (shortest < 0 || lists_[i].size() < lists_[static_cast<std::size_t>(shortest)].size()))
      shortest = item;
  }
  if (shortest >= 0) {
    const std::vector<std::uint32_t>& list = lists_[static_cast<std::size_t>(shortest)];
    for (auto it = std::lower_bound(list.begin(), list.end(), from); it != list.end() && *it < to; ++it) {
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
  if (!z_.empty() && std::includes(z_.begin(), z_.end(), x.begin(), x.end()) && closure_of_z() >= 0)
    if (const int s = between(x); s > 0) return s;
  const int number = first_holding(x, 0, static_cast<std::uint32_t>(supports_.size()));
  return number < 0 ? 0 : supports_[static_cast<std::size_t>(number)];
}

}  // namespace zub
