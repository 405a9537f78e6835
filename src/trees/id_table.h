#pragma once
// A map from item ids to ints for ids too large to index an array by:
// open addressing over a power-of-two table, grown at half full, so that its
// memory follows the number of distinct ids, not the largest one.
#include <cstdint>
#include <vector>

namespace zub {

class IdTable {
 public:
  // The value of `id`, made 0 when absent.
  std::uint32_t& at(int id) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    Slot& s = slots_[index_of(id)];
    if (s.key == kEmpty) {
      s.key = static_cast<std::uint32_t>(id);
      ++used_;
    }
    return s.value;
  }
  // The value of `id`, or `absent`.
  std::uint32_t find(int id, std::uint32_t absent) const {
    if (slots_.empty()) return absent;
    const Slot& s = slots_[index_of(id)];
    return s.key == kEmpty ? absent : s.value;
  }
  template <class F>
  void for_each(F&& f) const {
    for (const Slot& s : slots_)
      if (s.key != kEmpty) f(static_cast<int>(s.key), s.value);
  }
  std::size_t size() const { return used_; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // never an id: ids are at most 2^31 - 1
  struct Slot {
    std::uint32_t key;
    std::uint32_t value;
  };
  std::size_t index_of(int id) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t k = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ull >> 32) & mask;
    while (slots_[k].key != kEmpty && slots_[k].key != static_cast<std::uint32_t>(id)) k = (k + 1) & mask;
    return k;
  }
  void grow() {
    std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size(), Slot{kEmpty, 0});
    old.swap(slots_);
    for (const Slot& s : old)
      if (s.key != kEmpty) slots_[index_of(static_cast<int>(s.key))] = s;
  }
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace zub
