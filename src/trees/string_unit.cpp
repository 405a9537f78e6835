#include "trees/string_unit.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "trees/fi_tree.h"
#include "trees/node_store.h"
#include "trees/radix_sort.h"

namespace zub {

PairCells::PairCells(FI_tree& tree) {
  if (!tree.has_pair_counts() || tree.num_items() < 2) return;
  const int items = tree.num_items();
  const std::size_t rows = static_cast<std::size_t>(items) - 1;
  first_ = tree.pair_row(items - 1);
  cells_ = rows * (rows + 1) / 2;
  row_.assign(static_cast<std::size_t>(items), 0);
  for (int a = 1; a < items; ++a) row_[static_cast<std::size_t>(a)] = static_cast<std::size_t>(tree.pair_row(a) - first_);
}

void PairCells::add(const std::vector<int>& counts) const {
  for (std::size_t k = 0; k < cells_; ++k) first_[k] += counts[k];
}

StringScratch::StringScratch(int positions, std::size_t radix_least_)
    : radix_least(radix_least_),
      current(static_cast<std::size_t>(positions)),
      trail(static_cast<std::size_t>(positions)),
      trail_positions(static_cast<std::size_t>(positions)),
      trail_counts(static_cast<std::size_t>(positions)) {}

void StringScratch::end_sorting() {
  std::vector<Keyed>().swap(keys);
  std::vector<Keyed>().swap(spare_keys);
  std::vector<unsigned char>().swap(sorted);
}

void StringScratch::start_counting(std::size_t pair_cells) {
  depth = ZeroedArray<int>(trail.size());
  pairs.assign(pair_cells, 0);
}

namespace {

template <class Unit>
std::size_t sort_as(const StringUnit& u, unsigned char* group, StringScratch& s) {
  constexpr int kPacked = 8 / sizeof(Unit), kBits = 8 * sizeof(Unit);
  constexpr std::uint64_t kLast = (std::uint64_t{1} << kBits) - 1;  // the last packed unit
  Unit* data = reinterpret_cast<Unit*>(group + u.begin);
  const std::size_t units = (u.end - u.begin) / sizeof(Unit);
  const std::size_t skip = static_cast<std::size_t>(u.skip);
  s.keys.resize(u.strings);
  std::size_t n = 0;
  for (std::size_t at = 0; at < units; ++n) {
    std::size_t j = at + skip;
    std::uint64_t key = 0;
    int packed = 0;
    for (; packed < kPacked && data[j] != 0; ++packed, ++j) key = key << kBits | data[j];
    if (packed > 0 && packed < kPacked) key <<= kBits * (kPacked - packed);
    while (data[j] != 0) ++j;
    s.keys[n] = {key, at};
    at = j + 1;
  }
  assert(n == u.strings);
  // Most strings differ within the keys; equal keys whose last unit is 0
  // are equal strings, the others go on behind the keys.
  const auto tail_less = [data, skip](const StringScratch::Keyed& x, const StringScratch::Keyed& y) {
    const Unit* a = data + x.at + skip + kPacked;
    const Unit* b = data + y.at + skip + kPacked;
    while (*a == *b && *a != 0) ++a, ++b;
    return *a < *b;
  };
  if (n < s.radix_least) {
    std::sort(s.keys.begin(), s.keys.end(), [&tail_less](const StringScratch::Keyed& x, const StringScratch::Keyed& y) {
      if (x.key != y.key) return x.key < y.key;
      return (x.key & kLast) != 0 && tail_less(x, y);
    });
  } else {
    radix_sort(s.keys, s.spare_keys, [](const StringScratch::Keyed& k) { return k.key; });
    for (auto run = s.keys.begin(); run != s.keys.end();) {
      auto run_end = run + 1;
      while (run_end != s.keys.end() && run_end->key == run->key) ++run_end;
      if (run_end - run > 1 && (run->key & kLast) != 0) std::sort(run, run_end, tail_less);
      run = run_end;
    }
  }
  s.sorted.resize(units * sizeof(Unit));
  Unit* out = reinterpret_cast<Unit*>(s.sorted.data());
  const Unit* before = nullptr;
  std::size_t nodes = 0;
  for (const StringScratch::Keyed& k : s.keys) {
    const Unit* from = data + k.at;
    std::size_t shared = 0;
    if (before != nullptr)
      while (from[shared] == before[shared] && from[shared] != 0) ++shared;
    std::size_t length = shared;
    while (from[length] != 0) ++length;
    std::copy(from, from + length + 1, out);
    nodes += length - shared;
    before = out;
    out += length + 1;
  }
  std::memcpy(data, s.sorted.data(), units * sizeof(Unit));
  return nodes;
}

template <class Unit>
void build_as(const StringUnit& u, const unsigned char* group, NodeRef parent, NodeStore& store,
              const PairCells& pairs, StringScratch& s) {
  const Unit* data = reinterpret_cast<const Unit*>(group + u.begin);
  const std::size_t units = (u.end - u.begin) / sizeof(Unit);
  const bool count_pairs = pairs.cells() > 0;
  int* current = s.current.data();
  NodeRef* trail = s.trail.data();
  int* at = s.trail_positions.data();
  int* counts = s.trail_counts.data();
  // A node is written when the walk leaves it: then its count is whole.
  auto leave = [&](int i) {
    const int a = at[i], c = counts[i];
    store.at(trail[i])->init(i == 0 ? parent : trail[i - 1], a, c);
    if (!count_pairs) return;
    int* const row = s.pairs.data() + pairs.row(a);
    row[-u.group] += c;
    for (int j = 0; j < i; ++j) row[-at[j]] += c;
  };
  NodeRef next = u.first;
  int length_before = 0;
  for (std::size_t x = 0; x < units;) {
    int k = 0;
    for (; data[x] != 0; ++x) current[k++] = static_cast<int>(data[x]) - 1;
    ++x;
    const int common = std::min(k, length_before);
    int shared = 0;
    while (shared < common && current[shared] == at[shared]) ++shared;
    for (int i = length_before - 1; i >= shared; --i) leave(i);
    for (int i = 0; i < shared; ++i) ++counts[i];
    for (int i = shared; i < k; ++i) {
      trail[i] = next++;
      at[i] = current[i];
      counts[i] = 1;
      ++s.depth[static_cast<std::size_t>(i) + 1];
    }
    length_before = k;
  }
  for (int i = length_before - 1; i >= 0; --i) leave(i);
  assert(next == u.first + u.nodes);
}

}  // namespace

std::size_t sort_unit(const StringUnit& u, unsigned char* group, int unit_bytes, StringScratch& s) {
  switch (unit_bytes) {
    case 1: return sort_as<std::uint8_t>(u, group, s);
    case 2: return sort_as<std::uint16_t>(u, group, s);
    default: return sort_as<std::uint32_t>(u, group, s);
  }
}

void build_unit(const StringUnit& u, const unsigned char* group, NodeRef parent, int unit_bytes, NodeStore& store,
                const PairCells& pairs, StringScratch& s) {
  switch (unit_bytes) {
    case 1: build_as<std::uint8_t>(u, group, parent, store, pairs, s); break;
    case 2: build_as<std::uint16_t>(u, group, parent, store, pairs, s); break;
    default: build_as<std::uint32_t>(u, group, parent, store, pairs, s); break;
  }
}

}  // namespace zub
