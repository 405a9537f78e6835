#include "cluster/shuffle.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "common/run_error.h"
#include "io/transaction.h"

namespace zub {

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

Failure read_positions(Comm& comm, Share& share, const ItemOrder& order, const PassDigest& first, Positions& out) {
  const int f = order.frequent();
  out.work.assign(static_cast<std::size_t>(f), 0);
  const Failure mine = attempt([&] {
    std::unique_ptr<Data> data = share.pass();
    Transaction t(50);
    PassDigest read;
    std::vector<unsigned char> seen(static_cast<std::size_t>(f), 0);
    std::vector<int> positions;
    while (data->getNextTransaction(&t) != nullptr) {
      read.add(t.items, t.length);
      positions.clear();
      for (int j = 0; j < t.length; ++j) {
        const int p = order.position_of(t.items[j]);
        if (p >= 0 && !seen[static_cast<std::size_t>(p)]) {
          seen[static_cast<std::size_t>(p)] = 1;
          positions.push_back(p);
        }
      }
      if (positions.empty()) continue;
      std::sort(positions.begin(), positions.end());
      const int k = static_cast<int>(positions.size());
      for (int j = 0; j < k; ++j) {
        seen[static_cast<std::size_t>(positions[static_cast<std::size_t>(j)])] = 0;
        out.work[static_cast<std::size_t>(positions[static_cast<std::size_t>(j)])] += j + 1;
      }
      if (k == f) ++out.full;
      out.prefix.add(positions.data(), k);
      out.tx.push_back(k);
      out.tx.insert(out.tx.end(), positions.begin(), positions.end());
    }
    if (!(read == first)) throw RunError(kExitFile, share.name() + " changed while it was read!");
  });
  const Failure agreed = agree(comm, mine);
  if (agreed.failed()) return agreed;
  // The sizes and the count of full transactions of all ranks, and the
  // whole database's single prefix at rank 0, which tells every rank.
  MPI_Allreduce(MPI_IN_PLACE, out.work.data(), f, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  MPI_Allreduce(MPI_IN_PLACE, &out.full, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
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

UnitPlan plan_units(const Comm& comm, std::vector<int> unit_positions, const std::vector<long long>& work, int items) {
  UnitPlan plan;
  plan.position = std::move(unit_positions);
  const std::size_t units = plan.position.size();
  plan.owner.assign(units, 0);
  plan.estimate.resize(units);
  for (std::size_t u = 0; u < units; ++u) plan.estimate[u] = work[static_cast<std::size_t>(plan.position[u])];
  std::vector<int> by_size(units);
  std::iota(by_size.begin(), by_size.end(), 0);
  std::stable_sort(by_size.begin(), by_size.end(), [&](int a, int b) {
    return plan.estimate[static_cast<std::size_t>(a)] > plan.estimate[static_cast<std::size_t>(b)];
  });
  std::vector<long long> load(static_cast<std::size_t>(comm.size), 0);
  for (int u : by_size) {
    const auto least = static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    plan.owner[static_cast<std::size_t>(u)] = static_cast<int>(least);
    load[least] += std::max(1LL, plan.estimate[static_cast<std::size_t>(u)]);
  }
  plan.owner_of_position.assign(static_cast<std::size_t>(items), -1);
  for (std::size_t u = 0; u < units; ++u) {
    plan.owner_of_position[static_cast<std::size_t>(plan.position[u])] = plan.owner[u];
    if (plan.owner[u] == comm.rank) plan.mine.push_back(static_cast<int>(u));
  }
  return plan;
}

namespace {

// A round sends at most this many ints of the share's transactions.
constexpr std::size_t kRoundInts = std::size_t(1) << 22;

// One round: the transactions from `at` on, up to the bound, to their ranks.
std::size_t send_round(Comm& comm, const std::vector<int>& tx, std::size_t at, const UnitPlan& plan, bool whole,
                       Received& out) {
  const auto ranks = static_cast<std::size_t>(comm.size);
  std::vector<std::vector<int>> to(ranks);
  std::vector<int> cut(ranks, 0);
  const std::size_t stop = std::min(tx.size(), at + kRoundInts);
  for (; at < stop; at += static_cast<std::size_t>(tx[at]) + 1) {
    const int k = tx[at];
    const int* t = &tx[at + 1];
    std::fill(cut.begin(), cut.end(), 0);
    for (int j = k - 1; j >= 0; --j) {
      const int r = plan.owner_of_position[static_cast<std::size_t>(t[j])];
      if (r >= 0 && cut[static_cast<std::size_t>(r)] == 0) cut[static_cast<std::size_t>(r)] = whole ? k : j + 1;
    }
    for (std::size_t r = 0; r < ranks; ++r) {
      if (cut[r] == 0) continue;
      to[r].push_back(cut[r]);
      to[r].insert(to[r].end(), t, t + cut[r]);
    }
  }
  std::vector<int> counts(ranks), displs(ranks), rcounts(ranks), rdispls(ranks);
  std::vector<int> flat;
  for (std::size_t r = 0; r < ranks; ++r) {
    if (flat.size() + to[r].size() > static_cast<std::size_t>(INT_MAX)) fail_memory();
    displs[r] = static_cast<int>(flat.size());
    counts[r] = static_cast<int>(to[r].size());
    flat.insert(flat.end(), to[r].begin(), to[r].end());
    std::vector<int>().swap(to[r]);
    if (static_cast<int>(r) != comm.rank) comm.count(Round::transactions, counts[r] * 4LL);
  }
  MPI_Alltoall(counts.data(), 1, MPI_INT, rcounts.data(), 1, MPI_INT, MPI_COMM_WORLD);
  long long total = 0;
  for (std::size_t r = 0; r < ranks; ++r) {
    rdispls[r] = static_cast<int>(total);
    total += rcounts[r];
  }
  if (total > INT_MAX) fail_memory();
  std::vector<int> got(static_cast<std::size_t>(total));
  MPI_Alltoallv(flat.data(), counts.data(), displs.data(), MPI_INT, got.data(), rcounts.data(), rdispls.data(),
                MPI_INT, MPI_COMM_WORLD);
  for (std::size_t g = 0; g < got.size(); g += static_cast<std::size_t>(got[g]) + 1) {
    const int k = got[g];
    out.lengths.push_back(static_cast<std::uint32_t>(k));
    for (int j = 1; j <= k; ++j) {
      out.ids.push_back(got[g + static_cast<std::size_t>(j)]);
      ++out.supports[static_cast<std::size_t>(got[g + static_cast<std::size_t>(j)])];
    }
  }
  return at;
}

}  // namespace

void exchange(Comm& comm, Positions& share, const UnitPlan& plan, bool whole, int items, Received& out) {
  const Failure failed = attempt([&] {
    out.supports.assign(static_cast<std::size_t>(items), 0);
    long long rounds = static_cast<long long>((share.tx.size() + kRoundInts - 1) / kRoundInts);
    MPI_Allreduce(MPI_IN_PLACE, &rounds, 1, MPI_LONG_LONG, MPI_MAX, MPI_COMM_WORLD);
    std::size_t at = 0;
    for (long long r = 0; r < rounds; ++r) at = send_round(comm, share.tx, at, plan, whole, out);
    std::vector<int>().swap(share.tx);
    if (out.lengths.size() > static_cast<std::size_t>(INT_MAX)) fail_memory();
  });
  if (failed.failed()) abort_job(comm, failed.message, failed.status);
}

LocalTree::LocalTree(const ItemOrder& order, const Tuning& tuning, Received& received) {
  settings.tuning = tuning;
  settings.threshold = order.threshold;
  settings.transactions = order.transactions;
  const int f = order.frequent();
  tree = pool.take<FI_tree>(1);
  tree->init(&settings, nullptr, &pool, &nodes, -1, 0);
  tree->scan1_known(received.supports, pairs);
  ws = std::make_unique<Workspace>(settings, f);
  tree->scratch = &ws->trees;
  ItemMap identity;  // the transactions received hold positions
  identity.file_id.resize(static_cast<std::size_t>(f));
  std::iota(identity.file_id.begin(), identity.file_id.end(), 0);
  identity.position = identity.file_id;
  PassDigest digest;
  std::size_t at = 0;
  for (std::uint32_t k : received.lengths) {
    digest.add(received.ids.data() + at, static_cast<int>(k));
    at += k;
  }
  {
    Data data(received.ids, received.lengths, "the transactions received");
    tree->scan2_DB(&data, identity, digest);
  }
  std::vector<int>().swap(received.ids);
  std::vector<std::uint32_t>().swap(received.lengths);
}

void LocalTree::finish() {
  nodes.drop_links_below(nodes.mark());
  tree->make_chains();
  int width = 0;
  for (int p = 0; p < tree->num_items; ++p) width = std::max(width, tree->chain(p).size);
  ws->size_lookahead(width);
}

}  // namespace zub
