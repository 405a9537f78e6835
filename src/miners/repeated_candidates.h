#pragma once
// Candidates of one closure level that occur in exactly the same
// transactions. Of such a group only the one of the lowest rank can be a
// child: every other one's closure takes in that lower rank, which the set
// lacks. Wide data makes such groups large (a transaction of 100,000 items
// seen by two others has at most seven), and checking each member's closure
// over its transactions would cost the group's size times their length.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zub {

struct ClosedCandidate;

class RepeatedCandidates {
 public:
  // Keeps, in place and in their order, the candidates of a sparse level
  // that no candidate of a lower rank with the same occurrences (in `occ`)
  // repeats; returns how many are kept.
  std::size_t keep_lowest(ClosedCandidate* c, std::size_t n, const int* occ);
  // The same test without moving any: by candidate, 1 where a candidate of
  // a lower rank has the same occurrences (its closure takes that one in).
  std::vector<char> repeated(const ClosedCandidate* c, std::size_t n, const int* occ);

  // Groups n entries: hash(k) of entry k, same(a, b) whether two are equal,
  // rank(k) its rank. Afterwards lowest(k) tells whether k has the lowest
  // rank of its group.
  template <class Hash, class Same, class Rank>
  void group(std::size_t n, const Hash& hash, const Same& same, const Rank& rank) {
    const std::size_t mask = open(n);
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint64_t h = hash(k);
      std::size_t slot = static_cast<std::size_t>(h ^ (h >> 29)) & mask;
      while (stamp_[slot] == now_ && !same(static_cast<std::size_t>(table_[slot]), k)) slot = (slot + 1) & mask;
      slot_of_[k] = static_cast<int>(slot);
      if (stamp_[slot] != now_) {
        stamp_[slot] = now_;
        table_[slot] = static_cast<int>(k);
      } else if (rank(k) < rank(static_cast<std::size_t>(table_[slot]))) {
        table_[slot] = static_cast<int>(k);
      }
    }
  }
  bool lowest(std::size_t k) const { return table_[static_cast<std::size_t>(slot_of_[k])] == static_cast<int>(k); }

 private:
  // Groups the candidates by their occurrences.
  void group_occurrences(const ClosedCandidate* c, std::size_t n, const int* occ);
  // Readies the table for n entries; returns its mask.
  std::size_t open(std::size_t n);
  // Entry indices by hash, stamped, so that the table needs no clearing
  // between levels; each group's slot names its member of the lowest rank.
  std::vector<int> table_;
  std::vector<std::uint32_t> stamp_;
  std::uint32_t now_ = 0;
  std::vector<int> slot_of_;  // each entry's slot: its group
};

}  // namespace zub
