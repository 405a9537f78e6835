#include "cluster/shuffle.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <numeric>

#include "common/run_error.h"
#include "io/transaction.h"
#include "trees/frequent_positions.h"
#include "trees/transaction_share.h"

namespace zub {

namespace {

// The tag of a round's transactions.
constexpr int kRoundTag = 31;
// A round sends one chunk of the share: about this many ints.
constexpr std::size_t kRoundInts = std::size_t(1) << 22;
// The pairs are counted where the frequent items are at most this many (a
// table of 4 MB summed over the ranks), as far as the plan's volumes.
constexpr int kPairedItems = kPlannedItems;

}  // namespace

void PrefixPath::add(const int* t, int k) {
  if (k == 0) return;
  const int n = length();
  int common = 0;
  while (common < k && common < n && t[common] == path_[static_cast<std::size_t>(common)]) ++common;
  if (common < k && common < n) {  // they part below the common part
    path_.resize(static_cast<std::size_t>(common));
    branches_ = true;
  } else if (common == n && k > n) {  // the transaction goes on below the path
    if (branches_) return;
    path_.assign(t, t + k);
  }
}

void PrefixPath::merge(const PrefixPath& o) {
  const PrefixPath& longer = o.length() > length() ? o : *this;
  const PrefixPath& shorter = o.length() > length() ? *this : o;
  int common = 0;
  while (common < shorter.length() && shorter.path_[static_cast<std::size_t>(common)] == longer.path_[static_cast<std::size_t>(common)])
    ++common;
  PrefixPath merged;
  if (common < shorter.length()) {
    merged.path_.assign(shorter.path_.begin(), shorter.path_.begin() + common);
    merged.branches_ = true;
  } else if (shorter.branches_ && longer.length() > shorter.length()) {
    merged = shorter;
  } else {
    merged = longer;
    merged.branches_ = longer.branches_ || shorter.branches_;
  }
  *this = std::move(merged);
}

std::vector<int> PrefixPath::encode() const {
  std::vector<int> ints{branches_ ? 1 : 0};
  ints.insert(ints.end(), path_.begin(), path_.end());
  return ints;
}

PrefixPath PrefixPath::decode(const std::vector<int>& ints) {
  PrefixPath p;
  p.branches_ = ints[0] != 0;
  p.path_.assign(ints.begin() + 1, ints.end());
  return p;
}

namespace {

// The pairs' counts summed over the ranks: which pairs are frequent, and
// each unit's size, its first conditional database (the transactions of
// its item cut to the items before it frequent with it).
void pair_tables(Comm& comm, const ItemOrder& order, std::vector<int>& pairs, Positions& out) {
  const auto f = static_cast<std::size_t>(order.frequent());
  MPI_Allreduce(MPI_IN_PLACE, pairs.data(), static_cast<int>(pairs.size()), MPI_INT, MPI_SUM, MPI_COMM_WORLD);
  comm.count(Round::order, static_cast<long long>(pairs.size()) * 4);
  out.frequent_pair.assign(pairs.size(), 0);
  for (std::size_t a = 0; a < f; ++a)
    for (std::size_t b = a + 1; b < f; ++b)
      if (pairs[a * f + b] >= order.threshold) out.frequent_pair[a * f + b] = out.frequent_pair[b * f + a] = 1;
  for (std::size_t b = 0; b < f; ++b) {
    long long size = order.supports[b];
    for (std::size_t a = 0; a < b; ++a)
      if (out.frequent_pair[a * f + b] != 0) size += pairs[a * f + b];
    out.work[b] = size;
  }
}

// The volumes need the frequent pairs, which the pass has only now: they
// are taken from the positions kept for the exchange, every s-th
// transaction of a large share (`kept` transactions).
void fill_volumes(Positions& out, long long kept) {
  long long at = 0;
  const long long stride = std::max(1LL, (kept + kPlannedSample - 1) / kPlannedSample);
  for (const std::vector<int>& tx : out.tx)
    for (std::size_t a = 0; a < tx.size(); a += static_cast<std::size_t>(tx[a]) + 1)
      if (at++ % stride == 0) out.volumes->add(&tx[a + 1], tx[a], out.frequent_pair, stride);
}

// The second pass's work on each transaction: its frequent positions
// (once each, ascending) kept for the exchange; the units' sizes, the
// count of full transactions, the single prefix and the pairs.
class PositionPass {
 public:
  PositionPass(const ItemOrder& order, Positions& out, std::vector<int>& pairs)
      : out_(out), pairs_(pairs), f_(order.frequent()), positions_(order.map, f_),
        global_ids_(order.global_id.empty() ? nullptr : &order.global_id) {}
  void id(int x) {
    if (global_ids_ != nullptr) x = (*global_ids_)[static_cast<std::size_t>(x)];
    positions_.add(x);
  }
  void end() {
    const int k = positions_.finish();
    if (k == 0) return;
    ++kept_;
    if (out_.tx.empty() || out_.tx.back().size() >= kRoundInts) out_.tx.emplace_back().reserve(kRoundInts + f_ + 1);
    std::vector<int>& c = out_.tx.back();
    c.push_back(k);
    c.insert(c.end(), positions_.data(), positions_.data() + k);
    const int* t = positions_.data();
    for (int j = 0; j < k; ++j) out_.work[static_cast<std::size_t>(t[j])] += j + 1;
    if (k == f_) ++out_.full;
    out_.prefix.add(t, k);
    if (!pairs_.empty())
      for (int a = 0; a < k; ++a) {
        int* row = &pairs_[static_cast<std::size_t>(t[a]) * static_cast<std::size_t>(f_)];
        for (int b = a + 1; b < k; ++b) ++row[t[b]];
      }
  }
  // The transactions kept (of a frequent item at least).
  long long kept() const { return kept_; }

 private:
  Positions& out_;
  std::vector<int>& pairs_;
  long long kept_ = 0;
  const int f_;
  FrequentPositions positions_;
  const std::vector<int>* global_ids_;  // names read by ranges: the share's ids to the global ones
};

// The range reader's sink: its state stays behind the pointer.
struct PassLines {
  PositionPass* pass;
  void id(int x) { pass->id(x); }
  bool end() {
    pass->end();
    return true;
  }
};

}  // namespace

Failure read_positions(Comm& comm, Share& share, const ItemOrder& order, const PassDigest& first, bool whole,
                       Positions& out) {
  const int f = order.frequent();
  out.work.assign(static_cast<std::size_t>(f), 0);
  out.volumes = std::make_unique<Volumes>(f, whole);
  // The pairs, so that items frequent with none of a rank's items in a
  // transaction stay home (Cutter).
  std::vector<int> pairs(f <= kPairedItems ? static_cast<std::size_t>(f) * static_cast<std::size_t>(f) : 0, 0);
  long long kept = 0;
  const Failure mine = attempt([&] {
    PositionPass pass(order, out, pairs);
    if (RangeShare* ranges = share.ranges()) {
      ranges->read_again(share.name(), PassLines{&pass});
    } else {
      std::unique_ptr<Data> data = share.pass();
      Transaction t(50);
      PassDigest read;
      while (data->getNextTransaction(&t) != nullptr) {
        read.add(t.items, t.length);
        for (int j = 0; j < t.length; ++j) pass.id(t.items[j]);
        pass.end();
      }
      if (!(read == first)) throw RunError(kExitFile, share.name() + " changed while it was read!");
    }
    kept = pass.kept();
  });
  const Failure agreed = agree(comm, mine);
  if (agreed.failed()) return agreed;
  // The sizes and the count of full transactions of all ranks, and the
  // whole database's single prefix at rank 0, which tells every rank.
  MPI_Allreduce(MPI_IN_PLACE, out.work.data(), f, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  MPI_Allreduce(MPI_IN_PLACE, &out.full, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  if (!pairs.empty()) pair_tables(comm, order, pairs, out);
  fill_volumes(out, kept);
  out.volumes->sum_over(comm);
  comm.count(Round::order, static_cast<long long>(f + 1) * 8);
  std::vector<int> mine_prefix = out.prefix.encode();
  if (comm.is_root()) {
    for (int r = 1; r < comm.size; ++r) {
      MPI_Status status;
      MPI_Probe(r, 0, MPI_COMM_WORLD, &status);
      int n = 0;
      MPI_Get_count(&status, MPI_INT, &n);
      std::vector<int> theirs(static_cast<std::size_t>(n));
      MPI_Recv(theirs.data(), n, MPI_INT, r, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      out.prefix.merge(PrefixPath::decode(theirs));
    }
    mine_prefix = out.prefix.encode();
  } else {
    MPI_Send(mine_prefix.data(), static_cast<int>(mine_prefix.size()), MPI_INT, 0, 0, MPI_COMM_WORLD);
    comm.count(Round::order, static_cast<long long>(mine_prefix.size()) * 4);
  }
  broadcast(comm, mine_prefix, 0, Round::order);
  out.prefix = PrefixPath::decode(mine_prefix);
  return {};
}

namespace {

// A receiving rank's part of a round, with room for the whole chunk (a
// transaction gives a rank at most itself), so that the cut writes without
// a check of the room or a fill.
struct RoundBuffer {
  std::unique_ptr<int[]> ints;
  std::size_t capacity = 0;
  std::size_t size = 0;
  void start(std::size_t room) {
    if (room > capacity) {
      ints = std::make_unique_for_overwrite<int[]>(room);
      capacity = room;
    }
    size = 0;
  }
};

// What each rank gets of a transaction (k positions, ascending): up to
// and with the last position of the rank's units (all and maximal: a
// unit reads nothing behind its own item), or all of it (the closure
// miner's units need the rarer items as blockers); and of those only the
// items that make a frequent pair with one of the rank's items in the
// transaction, where the pairs are counted: a unit's first level drops an
// item that is not frequent with the unit's item (its tail, its closure),
// so such an item is of no use to the unit, and the items frequent with it
// come with all their transactions that hold it.
class Cutter {
 public:
  Cutter(const UnitPlan& plan, bool whole, const std::vector<char>& frequent_pair, int items, int ranks)
      : plan_(plan), whole_(whole), words_(frequent_pair.empty() ? 0 : (static_cast<std::size_t>(items) + 255) / 256 * 4),
        last_(static_cast<std::size_t>(ranks), -1), keep_(words_) {
    // Each item's frequent partners, and the item itself, as a row of bits
    // (whole lanes of four words): a rank's items in a transaction OR their
    // rows, and a position is kept when its bit is set (no pair looked up
    // per position and item).
    rows_.assign(static_cast<std::size_t>(items) * words_, 0);
    const auto n = static_cast<std::size_t>(items);
    for (std::size_t a = 0; a < n && words_ > 0; ++a) {
      std::uint64_t* row = &rows_[a * words_];
      row[a / 64] |= std::uint64_t{1} << (a % 64);
      for (std::size_t b = 0; b < n; ++b)
        if (frequent_pair[a * n + b] != 0) row[b / 64] |= std::uint64_t{1} << (b % 64);
    }
  }
  // Appends the transaction (k positions, ascending) to the buffer of each
  // rank that gets it, as its length and its positions.
  void cut(const int* t, int k, std::vector<RoundBuffer>& out) {
    if (owners_.size() < static_cast<std::size_t>(k)) owners_.resize(static_cast<std::size_t>(k));
    int* own = owners_.data();  // each position's rank, looked up once
    std::vector<int>& ranks = ranks_;
    ranks.clear();
    for (int j = k - 1; j >= 0; --j) {
      const int r = own[j] = owner(t[j]);
      if (r >= 0 && last_[static_cast<std::size_t>(r)] < 0) {
        last_[static_cast<std::size_t>(r)] = j;
        ranks.push_back(r);
      }
    }
    for (int r : ranks) {
      const int last = last_[static_cast<std::size_t>(r)];
      last_[static_cast<std::size_t>(r)] = -1;
      const int end = whole_ ? k : last + 1;
      RoundBuffer& o = out[static_cast<std::size_t>(r)];
      int* const length = o.ints.get() + o.size;
      int* const w = length + 1;
      if (words_ == 0) {
        *length = end;
        std::copy(t, t + end, w);
        o.size += 1 + static_cast<std::size_t>(end);
        continue;
      }
      std::uint64_t* const keep = keep_.data();
      for (std::size_t v = 0; v < words_; v += 4) {  // a lane of four words at a time, in registers
        std::uint64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        for (int j = 0; j <= last; ++j) {
          if (own[j] != r) continue;
          const std::uint64_t* row = &rows_[static_cast<std::size_t>(t[j]) * words_ + v];
          a0 |= row[0], a1 |= row[1], a2 |= row[2], a3 |= row[3];
        }
        keep[v] = a0, keep[v + 1] = a1, keep[v + 2] = a2, keep[v + 3] = a3;
      }
      int n = 0;  // each position written, and kept by moving on: no branch on the bit
      for (int j = 0; j < end; ++j) {
        const auto p = static_cast<std::size_t>(t[j]);
        w[n] = t[j];
        n += static_cast<int>((keep[p / 64] >> (p % 64)) & 1);
      }
      *length = n;
      o.size += 1 + static_cast<std::size_t>(n);
    }
  }

 private:
  int owner(int position) const { return plan_.owner_of_position[static_cast<std::size_t>(position)]; }
  const UnitPlan& plan_;
  const bool whole_;
  const std::size_t words_;       // of a row; 0 where the pairs are not counted
  std::vector<std::uint64_t> rows_;  // by item: its frequent partners and itself
  std::vector<int> last_;  // by rank: the index of its last item in the transaction, -1 when none
  std::vector<std::uint64_t> keep_;  // the positions a rank keeps of the transaction
  std::vector<int> owners_;  // by index in the transaction: its position's rank
  std::vector<int> ranks_;   // the ranks that get the transaction
};

// What a rank has received so far: positions and transactions.
struct Received {
  long long positions = 0;
  long long transactions = 0;
};

// One round: a chunk of the share to the ranks (each transaction cut once,
// into the buffer of each rank that gets it), and what this rank receives
// into the build.
void send_round(Comm& comm, const std::vector<int>& tx, Cutter& cutter, std::vector<RoundBuffer>& out,
                RoundBuffer& got, TransactionShare& received, std::vector<int>& supports, Received& so_far) {
  const auto ranks = static_cast<std::size_t>(comm.size);
  for (RoundBuffer& o : out) o.start(tx.size());
  for (std::size_t a = 0; a < tx.size(); a += static_cast<std::size_t>(tx[a]) + 1) cutter.cut(&tx[a + 1], tx[a], out);
  // Each buffer goes to its rank as it is (no flat copy of the round).
  std::vector<int> counts(ranks), rcounts(ranks);
  for (std::size_t r = 0; r < ranks; ++r) {
    if (out[r].size > INT_MAX) fail_memory();
    counts[r] = static_cast<int>(out[r].size);
    if (static_cast<int>(r) != comm.rank) comm.count(Round::transactions, counts[r] * 4LL);
  }
  MPI_Alltoall(counts.data(), 1, MPI_INT, rcounts.data(), 1, MPI_INT, MPI_COMM_WORLD);
  long long total = 0;  // from the other ranks; this rank's own buffer is read where it is
  for (std::size_t r = 0; r < ranks; ++r)
    if (static_cast<int>(r) != comm.rank) total += rcounts[r];
  if (total > INT_MAX) fail_memory();
  got.start(static_cast<std::size_t>(total));
  std::vector<MPI_Request> requests;
  requests.reserve(2 * ranks);
  std::vector<std::size_t> from(ranks, 0);  // where each rank's transactions start in `got`
  std::size_t at = 0;
  for (std::size_t r = 0; r < ranks; ++r) {
    if (static_cast<int>(r) == comm.rank) continue;
    from[r] = at;
    if (rcounts[r] > 0)
      MPI_Irecv(got.ints.get() + at, rcounts[r], MPI_INT, static_cast<int>(r), kRoundTag, MPI_COMM_WORLD, &requests.emplace_back());
    at += static_cast<std::size_t>(rcounts[r]);
  }
  for (std::size_t r = 0; r < ranks; ++r)
    if (static_cast<int>(r) != comm.rank && counts[r] > 0)
      MPI_Isend(out[r].ints.get(), counts[r], MPI_INT, static_cast<int>(r), kRoundTag, MPI_COMM_WORLD, &requests.emplace_back());
  MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
  // Into the build in the order of the sending ranks.
  for (std::size_t r = 0; r < ranks; ++r) {
    const bool own = static_cast<int>(r) == comm.rank;
    const int* g = own ? out[r].ints.get() : got.ints.get() + from[r];
    const int* const end = g + rcounts[r];
    for (; g < end; g += *g + 1) {
      const int k = *g;
      const int* t = g + 1;
      for (int j = 0; j < k; ++j) ++supports[static_cast<std::size_t>(t[j])];
      so_far.positions += k;
      // The tree's counts are ints.
      if (++so_far.transactions > INT_MAX) fail_memory();
      if (k > 0) received.add(t, k);
    }
  }
}

}  // namespace

void exchange(Comm& comm, Positions& share, const UnitPlan& plan, bool whole, LocalTree& local, int threads) {
  Cutter cutter(plan, whole, share.frequent_pair, local.tree->num_items(), comm.size);
  const Failure failed = attempt([&] {
    FI_tree& tree = *local.tree;
    long long rounds = static_cast<long long>(share.tx.size());
    MPI_Allreduce(MPI_IN_PLACE, &rounds, 1, MPI_LONG_LONG, MPI_MAX, MPI_COMM_WORLD);
    std::vector<int> supports(static_cast<std::size_t>(tree.num_items()), 0);
    // Received as the second pass reads a stream: one share, which turns
    // into a tree with links where the data is dense.
    std::vector<TransactionShare> received;
    received.emplace_back(tree);
    std::vector<RoundBuffer> out(static_cast<std::size_t>(comm.size));
    RoundBuffer got;  // from the other ranks
    Received so_far;
    const std::vector<int> none;
    for (long long r = 0; r < rounds; ++r) {
      const auto k = static_cast<std::size_t>(r);
      send_round(comm, k < share.tx.size() ? share.tx[k] : none, cutter, out, got, received.front(), supports, so_far);
      if (k < share.tx.size()) std::vector<int>().swap(share.tx[k]);  // what is received grows as the share goes
    }
    share.tx.clear();
    std::vector<RoundBuffer>().swap(out);
    local.received = so_far.positions;
    tree.build_from_shares(received, threads);
    // The header's supports are those of the transactions received.
    tree.set_supports(supports);
  });
  if (failed.failed()) abort_job(comm, failed.message, failed.status);
}

LocalTree::LocalTree(const ItemOrder& order, const Tuning& tuning) {
  settings.tuning = tuning;
  settings.threshold = order.threshold;
  settings.transactions = order.transactions;
  const int f = order.frequent();
  tree = pool.make<FI_tree>(settings, nullptr, pool, nodes, -1, 0);
  tree->scan1_known(std::vector<int>(static_cast<std::size_t>(f), 0), pairs);
  ws = std::make_unique<Workspace>(settings, f);
  tree->attach(ws->trees);
}

void LocalTree::finish() {
  nodes.drop_links_below(nodes.mark());
  tree->make_chains();
  int width = 0;
  for (int p = 0; p < tree->num_items(); ++p) width = std::max(width, tree->chain(p).size);
  ws->size_lookahead(width);
}

}  // namespace zub
