#pragma once
// The closure miner: closed itemsets enumerated by prefix-preserving
// closure extension, each closure computed from the conditional database,
// so nothing found is kept. A closed set P with core c has, for every
// candidate rank e above c with support(P + e) at the threshold, the
// closure Q of P + e (every item in all the transactions holding P + e) as
// its child exactly when Q takes in no rank below e that P lacks (a
// blocker); Q is then mined with core e. Every closed set is reached once.
//
// The root's children are independent units: ClosureRoot is read only once
// made, and a ClosureWorker holds all the scratch of mining units one by one
// (a thread could own one). A level's database is sparse (weighted
// transactions of ranks, see closed_db.h) or dense (a bit row of
// transactions per item); choose_representation decides.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/tuning.h"
#include "miners/closed_db.h"
#include "memory/zeroed_array.h"
#include "miners/repeated_candidates.h"

namespace zub {

class Workspace;

// A candidate of a sparse level: its rank, its support in the level and its
// transactions (indices into the level's transactions) in the occurrence
// arena.
struct ClosedCandidate {
  int rank;
  int support;
  int occ;  // first entry
  int n;    // entries
};

enum class Representation { sparse, dense };
// The one place that decides: a database of `transactions` (merged) with
// `items` distinct ranks and `occurrences` entries goes dense when it has
// at most Tuning::closed_dense_max_transactions transactions and fills at
// least Tuning::closed_dense_min_fill percent of its transactions x items.
Representation choose_representation(const Tuning& tuning, int transactions, int items, long long occurrences);
// Whether a level of `candidates` candidates is grouped by their
// transactions, `length` being its average transaction length (sparse) or
// its rows (dense); Tuning::closed_group_min_work tells.
inline bool group_candidates(const Tuning& tuning, long long candidates, long long length) {
  return candidates > 1 && candidates * length >= tuning.closed_group_min_work;
}

// The root: the closure of the empty set and the database without it, its
// infrequent items removed, with every candidate's occurrences (of
// candidates with the same ones, the lowest rank's: see RepeatedCandidates).
struct ClosureRoot {
  ClosureRoot(ClosedInput input, int threshold, const Tuning& tuning);
  // The root of a share of the database (a process of a distributed run):
  // the closure and the candidates come from the whole database's supports
  // by rank and its transactions (input.transactions), the occurrences from
  // the share's transactions. Its candidates keep their numbers (the plan's
  // units); those repeated by a lower rank are marked instead of dropped.
  ClosureRoot(ClosedInput input, int threshold, const Tuning& tuning, const std::vector<int>& supports);
  std::vector<int> position;  // by rank
  std::vector<int> closure;   // ranks in every transaction
  int support = 0;            // transactions
  int full_support = 0;       // transactions holding every frequent item
  std::vector<int> items;
  std::vector<ClosedTx> txs;
  std::vector<ClosedCandidate> candidates;  // ascending rank
  std::vector<int> occ;
  // A share's root: by candidate, 1 where a lower rank occurs in the same of
  // the share's transactions. A unit's share holds every transaction of its
  // item, so each of them holds that rank: the unit has no child. (Two
  // candidates alike in the share need not be alike in the database; only
  // the units of the share's own items are mined.)
  std::vector<char> repeated;
};

class ClosureWorker {
 public:
  // Writes through `ws`; itemsets of more than `max_len` items are neither
  // written nor extended.
  ClosureWorker(Workspace& ws, const ClosureRoot& root, int threshold, int max_len, const Tuning& tuning);
  // Writes the root's set when it is not empty and within the length limit.
  void write_root();
  // Writes the root's child by its k-th candidate and everything below it.
  void mine_unit(int k);

 private:
  struct Source {  // a sparse level's transactions and occurrences
    const int* items;
    const ClosedTx* txs;
    const int* occ;
    // A walk over a candidate's occurrences jumps through the level's
    // transactions (all of the database at the root): the transaction a few
    // steps ahead is fetched early, its record before its items.
    void prefetch(const int* occurrences, int i, int n) const {
      if (i + 8 < n) __builtin_prefetch(&txs[occurrences[i + 8]]);
      if (i + 4 < n) __builtin_prefetch(items + txs[occurrences[i + 4]].off);
    }
  };
  struct DenseLevel {
    int words;   // 64 transactions a word
    int planes;  // weight bit planes (words each) at `off`, then the rows
    std::size_t off;
    int rows_begin, rows_end;  // in rows_
  };
  struct DenseRow {  // 16 bytes: a level of wide data has a row per item
    std::size_t off;  // in bits_
    int rank;
    bool lowest;      // no row of a lower rank is the same (set by group_dense)
  };

  // Sparse levels (closure_sparse.cpp).
  // Room for a child of a level of `items` entries and `txs` transactions,
  // made before the level's pointers are taken: a child's build never moves them.
  void make_room(std::size_t items, std::size_t txs);
  void extend_sparse(const Source& src, const ClosedCandidate& e);
  bool count_closure(const Source& src, const ClosedCandidate& e);
  void build_child(const Source& src, const ClosedCandidate& e);
  void merge_or_keep(int tx_index);
  void mine_sparse(int tx_begin, int tx_end);
  void deliver(int tx_begin, int tx_end);
  void clear_counts();

  // Dense levels (closure_dense.cpp).
  void make_dense(int tx_begin, int tx_end, int core);
  void mine_dense(const DenseLevel& level, int core);
  // Marks the rows the same as none of a lower rank (a candidate's or a
  // blocker's: only they can be children), where the level is worth it;
  // whether it did.
  bool group_dense(const DenseLevel& level, int core);
  void extend_dense(const DenseLevel& level, int k);
  int weight(const std::uint64_t* row, const std::uint64_t* planes, int words, int nplanes) const;

  void push_set(int rank) { set_[static_cast<std::size_t>(set_len_++)] = root_.position[static_cast<std::size_t>(rank)]; }
  void write_set(int support);

  Workspace& ws_;
  const ClosureRoot& root_;
  const int threshold_;
  const int max_len_;
  const Tuning tuning_;
  // By rank (or length), an entry per item: zeroed pages, resident only
  // where a worker's units reach (wide data: a million items).
  ZeroedArray<int> set_;  // the closed set being extended, as main-tree positions
  int set_len_ = 0;
  int base_len_ = 0;  // the root's set
  // Scratch by rank, zero between uses.
  ZeroedArray<int> count_;
  ZeroedArray<int> hits_;
  ZeroedArray<int> slot_;  // a row's or candidate's index + 1
  std::vector<int> touched_;
  ZeroedArray<int> fresh_;  // a rank's room and one more: see count_closure
  // Arenas of the open sparse levels: items, transactions, candidates and
  // occurrences, each cut back when its level is done.
  std::vector<int> items_;
  std::vector<ClosedTx> txs_;
  std::vector<ClosedCandidate> candidates_;
  std::vector<int> occ_;
  // The merge table of a child's build: transaction by hash, stamped.
  std::vector<int> table_tx_;
  std::vector<std::uint32_t> table_stamp_;
  std::uint32_t stamp_ = 0;
  std::size_t table_mask_ = 0;
  bool merging_ = true;
  int child_items_ = 0;  // distinct ranks of the child being built
  // Arenas of the open dense levels.
  std::vector<std::uint64_t> bits_;
  std::vector<DenseRow> rows_;
  std::vector<int> words_;  // the parent's words a child keeps
  RepeatedCandidates repeated_;
};

// The order in which a run in units takes and writes the root's children:
// the largest child databases (ranks above the unit's, over its
// transactions) first, so that the long units start early and, at the
// head of the output, are not held back.
std::vector<int> unit_order(const ClosureRoot& root);

}  // namespace zub
