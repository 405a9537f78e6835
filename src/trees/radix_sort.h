#pragma once
// An ascending, stable sort of entries by a 64-bit key, eight bits a pass
// from the lowest; a byte that all keys share takes no pass. For the many
// short strings of the main tree's build, where std::sort's comparisons
// are branches that a predictor misses about every other time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace zub {

template <class T, class KeyOf>
void radix_sort(std::vector<T>& a, std::vector<T>& spare, KeyOf key_of) {
  const std::size_t n = a.size();
  if (n < 2) return;
  spare.resize(n);
  std::array<std::array<std::size_t, 256>, 8> counts{};  // by byte of the key, by value
  for (const T& x : a) {
    const std::uint64_t key = key_of(x);
    for (int d = 0; d < 8; ++d) ++counts[static_cast<std::size_t>(d)][(key >> (8 * d)) & 0xFF];
  }
  T* from = a.data();
  T* to = spare.data();
  for (int d = 0; d < 8; ++d) {
    std::array<std::size_t, 256>& at = counts[static_cast<std::size_t>(d)];
    if (at[(key_of(from[0]) >> (8 * d)) & 0xFF] == n) continue;
    std::size_t sum = 0;
    for (std::size_t& c : at) sum += std::exchange(c, sum);
    for (std::size_t i = 0; i < n; ++i) to[at[(key_of(from[i]) >> (8 * d)) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != a.data()) a.swap(spare);
}

}  // namespace zub
