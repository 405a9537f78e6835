#pragma once
// The transactions of a database as the main tree's build holds them:
// grouped by their first (most frequent) position, which is the root child
// they go under, each one the rest of its positions as a string of units
// (position + 1, ascending, then a 0). A unit takes 1 byte where the tree
// has at most 255 positions, 2 up to 65535, otherwise 4: generated
// baskets of 10 items over 181 frequent ones take about 10 bytes a
// transaction, where the positions as ints took 40. Comparing two strings
// unit by unit orders them as their positions (a prefix first), so a
// sorted group is its subtree in depth-first order.
//
// One store per reading thread; a group's strings sit in chunks that grow
// from 256 bytes to 64 KiB, so that thousands of small groups cost little.
// Groups are made as their first string comes: a position's slot number is
// 4 bytes in zeroed pages, so a million positions of which a few head a
// transaction (wide data) cost a few pages, not 40 bytes each.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "memory/zeroed_array.h"

namespace zub {

// The bytes of one unit of a string for a tree of `positions` positions.
inline int string_unit_bytes(int positions) { return positions <= 255 ? 1 : positions <= 65535 ? 2 : 4; }

class TransactionStrings {
 public:
  struct Chunk {
    struct Free {
      void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<unsigned char[], Free> bytes;
    std::size_t used = 0;
    std::size_t capacity = 0;
  };
  struct Group {
    std::vector<Chunk> chunks;
    std::size_t strings = 0;
    std::size_t bytes = 0;
  };

  // For a tree of `positions` positions.
  explicit TransactionStrings(int positions);
  // Adds a transaction: its k >= 1 positions, ascending.
  void add(const int* positions, int k) {
    switch (unit_bytes_) {
      case 1: add_as<std::uint8_t>(positions, k); break;
      case 2: add_as<std::uint16_t>(positions, k); break;
      default: add_as<std::uint32_t>(positions, k); break;
    }
  }
  int unit_bytes() const { return unit_bytes_; }
  int positions() const { return positions_; }
  // The positions that head a transaction here, in the order they came.
  const std::vector<int>& firsts() const { return firsts_; }
  const Group& group(int first) const {
    const std::uint32_t s = slot_[static_cast<std::size_t>(first)];
    return s != 0 ? groups_[s - 1] : no_group();
  }
  // Gives the memory of a group back once it is read. Threads may release
  // different groups at once: nothing else is written.
  void release(int first) {
    const std::uint32_t s = slot_[static_cast<std::size_t>(first)];
    if (s != 0) groups_[s - 1] = Group{};
  }
  // The bytes of every string added (released groups included).
  std::size_t bytes() const { return bytes_; }
  // Calls f(positions, k) for each transaction of group `first`: its k
  // positions, ascending, the first one `first`.
  template <class F>
  void for_each_of(int first, F&& f) const;

 private:
  template <class Unit>
  void add_as(const int* positions, int k) {
    Group& g = group_to_add(positions[0]);
    const std::size_t need = static_cast<std::size_t>(k) * sizeof(Unit);  // k - 1 positions and the 0
    if (g.chunks.empty() || g.chunks.back().capacity - g.chunks.back().used < need) new_chunk(g, need);
    Chunk& c = g.chunks.back();
    Unit* out = reinterpret_cast<Unit*>(c.bytes.get() + c.used);
    for (int j = 1; j < k; ++j) *out++ = static_cast<Unit>(positions[j] + 1);
    *out = 0;
    c.used += need;
    g.bytes += need;
    bytes_ += need;
    ++g.strings;
  }
  void new_chunk(Group& g, std::size_t need);
  Group& group_to_add(int first) {
    std::uint32_t& s = slot_[static_cast<std::size_t>(first)];
    if (s == 0) [[unlikely]] {
      groups_.emplace_back();
      firsts_.push_back(first);
      s = static_cast<std::uint32_t>(groups_.size());
    }
    return groups_[s - 1];
  }

  template <class Unit>
  void each_as(int first, std::vector<int>& positions, const auto& f) const {
    for (const Chunk& c : group(first).chunks) {
      const Unit* u = reinterpret_cast<const Unit*>(c.bytes.get());
      for (const Unit* end = u + c.used / sizeof(Unit); u < end; ++u) {
        int k = 1;
        for (; *u != 0; ++u) positions[static_cast<std::size_t>(k++)] = static_cast<int>(*u) - 1;
        f(positions.data(), k);
      }
    }
  }

  std::vector<Group> groups_;         // in the order their first strings came
  std::vector<int> firsts_;           // the position of each group
  ZeroedArray<std::uint32_t> slot_;   // by first position: 1 + its group's index, or 0
  static const Group& no_group();     // of a position that heads no transaction
  int positions_;
  int unit_bytes_;
  std::size_t bytes_ = 0;
};

template <class F>
void TransactionStrings::for_each_of(int first, F&& f) const {
  std::vector<int> positions(static_cast<std::size_t>(positions_) + 1);
  positions[0] = first;
  switch (unit_bytes_) {
    case 1: each_as<std::uint8_t>(first, positions, f); break;
    case 2: each_as<std::uint16_t>(first, positions, f); break;
    default: each_as<std::uint32_t>(first, positions, f); break;
  }
}

}  // namespace zub
