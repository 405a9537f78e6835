#include "miners/repeated_candidates.h"

#include <algorithm>

#include "miners/closure_miner.h"

namespace zub {

std::size_t RepeatedCandidates::open(std::size_t n) {
  std::size_t size = 16;
  while (size < 2 * n) size *= 2;
  if (table_.size() < size) {
    table_.assign(size, 0);
    stamp_.assign(size, 0);
    now_ = 0;
  }
  if (++now_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0u);
    now_ = 1;
  }
  if (slot_of_.size() < n) slot_of_.resize(n);
  return size - 1;
}

void RepeatedCandidates::group_occurrences(const ClosedCandidate* c, std::size_t n, const int* occ) {
  group(
      n,
      [&](std::size_t k) {
        const int* o = occ + c[k].occ;
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(c[k].n);
        for (int i = 0; i < c[k].n; ++i) h = (h ^ static_cast<std::uint64_t>(o[i])) * 0x100000001B3ull;
        return h;
      },
      [&](std::size_t a, std::size_t b) {
        return c[a].n == c[b].n && std::equal(occ + c[a].occ, occ + c[a].occ + c[a].n, occ + c[b].occ);
      },
      [&](std::size_t k) { return c[k].rank; });
}

std::size_t RepeatedCandidates::keep_lowest(ClosedCandidate* c, std::size_t n, const int* occ) {
  if (n < 2) return n;
  group_occurrences(c, n, occ);
  std::size_t kept = 0;
  for (std::size_t k = 0; k < n; ++k)
    if (lowest(k)) c[kept++] = c[k];
  return kept;
}

std::vector<char> RepeatedCandidates::repeated(const ClosedCandidate* c, std::size_t n, const int* occ) {
  std::vector<char> flags(n, 0);
  if (n < 2) return flags;
  group_occurrences(c, n, occ);
  for (std::size_t k = 0; k < n; ++k) flags[k] = !lowest(k);
  return flags;
}

}  // namespace zub
