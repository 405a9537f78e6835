#pragma once
// Which rank mines which units. The units go in contiguous runs of the
// walk's order (runs of positions), so that a transaction is cut once per
// rank, after the last item of the rank's run: interleaved owners would
// send nearly every transaction whole to every rank. Each run costs the
// positions its rank receives (what its tree is built from) plus the
// estimated work of its units (their first conditional databases, weighted
// by kEstimatesPerPosition); the runs are chosen to make the largest cost
// the least (a binary search on it, each run as long as it stays within),
// so a run of the rarest items, whose transactions come nearly whole, is
// shorter. The positions a run receives are those the exchange sends it
// (the Cutter of shuffle.cpp: cut after the run's last item, and to the
// items that make a frequent pair with one of its items), counted from a
// table of gaps (exactly, or from a sample of each large share), summed
// over the ranks; beyond kPlannedItems frequent items the table would be
// too large and the runs balance the estimates alone.
#include <cstdint>
#include <vector>

#include "cluster/comm.h"

namespace zub {

// The gap table is kPlannedItems + 1 squared (8.4 MB): as far as the pairs
// are counted, so that it counts what the exchange sends.
inline constexpr int kPlannedItems = 1024;
// A rank fills the table from at most about this many of its transactions
// (every s-th, weighed s): all of them below, which is exact; filling it
// from 5 million generated baskets took 0.5 to 1.5 processor seconds.
inline constexpr long long kPlannedSample = 1 << 18;
// A position received (sorted into the rank's tree) costs about as much as
// this many of the units' estimates (their first conditional databases):
// measured first on 1 to 10 million generated baskets at 2% (tree build
// 0.11 to 0.19 us a position, mining 0.005 to 0.017 us an estimate), where
// mining is now a small part (2 ranks, maximal: 0.08 us a position, 0.3
// to 0.6 s of mining beside 4 s of exchange and tree).
inline constexpr long long kEstimatesPerPosition = 16;

// What each rank's share tells of the positions a run of units receives.
class Volumes {
 public:
  // For `items` positions, transactions cut (or whole).
  Volumes(int items, bool whole);
  // A transaction's distinct positions, ascending, with the frequent pairs
  // (items x items; empty: every pair counts as frequent), standing for
  // `weight` transactions (a sample's).
  void add(const int* t, int k, const std::vector<char>& frequent_pair, long long weight);
  // Sums every rank's. Collective.
  void sum_over(Comm& comm);
  bool known() const { return !gaps_.empty(); }
  // The positions a rank receives that mines the units of positions [a, b).
  long long received(int a, int b) const;

 private:
  long long& gap(int below, int at) { return gaps_[static_cast<std::size_t>(below + 1) * side_ + static_cast<std::size_t>(at)]; }
  const int items_;
  const bool whole_;
  const std::size_t side_;
  // A position x of a transaction reaches a run when one of its "links"
  // lies in the run: x itself and the transaction's items frequent with x
  // (cut: only those after x, since a cut ends at the run's last item).
  // gaps_[x + 1][y]: the positions with two successive links x and y
  // (x = -1: before the first, y = items: after the last); after
  // sum_over(), the sums over x' <= x and y' >= y, the positions whose
  // links all miss [x + 1, y).
  std::vector<long long> gaps_;
  long long all_ = 0;  // the positions of all transactions
};

struct UnitPlan {
  std::vector<int> position;           // by unit: the main-tree position it mines
  std::vector<int> owner;              // by unit: the rank that mines it
  std::vector<long long> estimate;     // by unit
  std::vector<int> mine;               // this rank's units, ascending
  std::vector<int> owner_of_position;  // -1 where no unit mines the position
  std::vector<long long> received;     // by rank: the positions it will receive (0 when not known)
};

// Units in the walk's order (positions descending), each with its estimate
// (work, by position). Every rank computes the same plan.
UnitPlan plan_units(const Comm& comm, std::vector<int> unit_positions, const std::vector<long long>& work,
                    const Volumes& volumes, int items);

}  // namespace zub
