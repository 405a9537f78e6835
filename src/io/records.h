#pragma once
// The one compact form of found itemsets between a miner and a destination:
// records back to back in an array of ints, each its length n, its n items
// (main-tree positions, in the order the miner found them) and its support.
#include <cstddef>
#include <span>

namespace zub {

// Calls each(items, n, support) for every record of `records`, in order.
template <class Each>
void for_each_record(std::span<const int> records, Each&& each) {
  const int* p = records.data();
  const int* const end = p + records.size();
  while (p != end) {
    const int n = p[0];
    each(p + 1, n, p[1 + n]);
    p += n + 2;
  }
}

// Ints that a record of n items takes.
constexpr std::size_t record_size(int n) { return static_cast<std::size_t>(n) + 2; }

}  // namespace zub
