#pragma once
// A batch of transactions (their ascending positions, back to back) that
// can be put in lexicographic order for the main tree's build, where sorted
// order lets each transaction be compared only with the one before it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zub {

class SortedBatch {
 public:
  // Room for this many positions and transactions, so that adding moves nothing.
  void reserve(std::size_t positions, std::size_t transactions);
  void add(const int* positions, int k);
  std::size_t positions() const { return positions_.size(); }
  std::size_t size() const { return begin_.empty() ? 0 : begin_.size() - 1; }
  // Orders the transactions lexicographically; transaction(t) then gives the
  // t-th in that order. Every position is below position_limit.
  void sort(int position_limit);
  const int* transaction(std::size_t t, int& length) const {
    const std::uint32_t x = keyed_[t].index;
    length = static_cast<int>(begin_[x + 1] - begin_[x]);
    return positions_.data() + begin_[x];
  }
  // After sort(): the nodes the trie of the batch has, the positions of
  // each transaction behind the prefix it shares with the one before.
  std::size_t trie_nodes() const;
  void clear();
  // Gives the memory back.
  void release();

 private:
  std::vector<int> positions_;
  std::vector<std::uint32_t> begin_;  // transaction x at positions_[begin_[x] .. begin_[x + 1])
  struct Keyed {
    std::uint64_t key;
    std::uint32_t index;
  };
  std::vector<Keyed> keyed_;  // in order after sort()
};

}  // namespace zub
