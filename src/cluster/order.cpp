#include "cluster/order.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "common/run_error.h"

namespace zub {

namespace {

// Gathers ints of every rank at rank 0, rank after rank; `sizes` gets each
// rank's count there.
std::vector<int> gather_ints(Comm& comm, const std::vector<int>& mine, std::vector<int>& sizes, Round round) {
  int n = static_cast<int>(mine.size());
  sizes.assign(static_cast<std::size_t>(comm.size), 0);
  MPI_Gather(&n, 1, MPI_INT, sizes.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
  std::vector<int> offsets(static_cast<std::size_t>(comm.size), 0), all;
  if (comm.is_root()) {
    long long total = 0;
    for (int r = 0; r < comm.size; ++r) {
      offsets[static_cast<std::size_t>(r)] = static_cast<int>(total);
      total += sizes[static_cast<std::size_t>(r)];
    }
    if (total > INT_MAX) fail_memory();
    all.resize(static_cast<std::size_t>(total));
  } else {
    comm.count(round, static_cast<long long>(mine.size() * sizeof(int)));
  }
  MPI_Gatherv(mine.data(), n, MPI_INT, all.data(), sizes.data(), offsets.data(), MPI_INT, 0, MPI_COMM_WORLD);
  return all;
}

// The words of every share at rank 0, numbered in the order of their first
// appearance; each rank gets its words' numbers.
void number_words(Comm& comm, Share& share, ItemOrder& order) {
  std::vector<int> mine;  // each word's length, then its bytes four to an int
  for (const std::string& w : share.words()) mine.push_back(static_cast<int>(w.size()));
  std::string bytes;
  for (const std::string& w : share.words()) bytes += w;
  bytes.resize((bytes.size() + 3) / 4 * 4);
  const std::size_t lengths = mine.size();
  mine.resize(lengths + bytes.size() / 4);
  std::memcpy(mine.data() + lengths, bytes.data(), bytes.size());
  std::vector<int> word_counts(static_cast<std::size_t>(comm.size), 0), sizes;
  int n = static_cast<int>(lengths);
  MPI_Gather(&n, 1, MPI_INT, word_counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
  const std::vector<int> all = gather_ints(comm, mine, sizes, Round::counting);
  std::vector<int> ids, offsets(static_cast<std::size_t>(comm.size), 0);
  if (comm.is_root()) {
    std::unordered_map<std::string, int> seen;
    std::size_t at = 0;
    for (int r = 0; r < comm.size; ++r) {
      const auto words = static_cast<std::size_t>(word_counts[static_cast<std::size_t>(r)]);
      const char* text = reinterpret_cast<const char*>(all.data() + at + words);
      offsets[static_cast<std::size_t>(r)] = static_cast<int>(ids.size());
      for (std::size_t k = 0; k < words; ++k) {
        std::string w(text, static_cast<std::size_t>(all[at + k]));
        text += w.size();
        const auto [it, fresh] = seen.emplace(w, static_cast<int>(order.names.size()));
        if (fresh) order.names.push_back(std::move(w));
        ids.push_back(it->second);
      }
      at += static_cast<std::size_t>(sizes[static_cast<std::size_t>(r)]);
    }
    for (int r = 1; r < comm.size; ++r) comm.count(Round::counting, word_counts[static_cast<std::size_t>(r)] * 4LL);
  }
  order.global_id.resize(lengths);
  MPI_Scatterv(ids.data(), word_counts.data(), offsets.data(), MPI_INT, order.global_id.data(), n, MPI_INT, 0,
               MPI_COMM_WORLD);
  share.words().clear();
}

// Rank 0: the whole database's counts from every rank's (id, count) pairs.
ItemCounts add_counts(const std::vector<int>& pairs, long long transactions, const std::string& name) {
  ItemCounts c;
  if (transactions > INT_MAX) throw RunError(kExitFile, name + " has more than 2147483647 transactions!");
  c.transactions = static_cast<int>(transactions);
  for (std::size_t k = 0; k < pairs.size(); k += 2) c.largest = std::max(c.largest, pairs[k]);
  c.dense_ids = std::min(c.largest + 1, kDenseIds);
  void* dense = std::calloc(static_cast<std::size_t>(std::max(c.dense_ids, 1)), sizeof(std::uint32_t));
  if (dense == nullptr) fail_memory();
  c.dense.reset(static_cast<std::uint32_t*>(dense));
  for (std::size_t k = 0; k < pairs.size(); k += 2) {
    const int id = pairs[k];
    const auto n = static_cast<std::uint32_t>(pairs[k + 1]);
    if (id < kDenseIds)
      c.dense.get()[id] += n;
    else
      c.large.at(id) += n;
  }
  return c;
}

// Rank 0: the frequent items in the order of one process's first scan.
void choose(const ItemCounts& counts, const MinSupport& minsup, const Tuning& tuning, ItemOrder& order) {
  Settings settings;
  settings.tuning = tuning;
  settings.transactions = counts.transactions;
  settings.threshold = minsup.resolve(counts.transactions);
  memory pool(kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2);
  NodeStore nodes;
  MainPairs pairs;
  ItemMap map;
  FI_tree* tree = pool.make<FI_tree>(settings, nullptr, pool, nodes, -1, 0);
  tree->scan1_DB(counts, map, pairs);
  order.transactions = counts.transactions;
  order.threshold = settings.threshold;
  order.file_id = map.file_id;
  order.supports.assign(tree->supports(), tree->supports() + tree->num_items());
}

}  // namespace

Failure decide_order(Comm& comm, const ItemCounts& counts, Share& share, bool names, const MinSupport& minsup,
                     const Tuning& tuning, ItemOrder& order) {
  // The exchanges first: a rank that fails in them ends the job, since the
  // others wait in the same exchange.
  std::vector<int> all;
  long long total = 0;
  const Failure sent = attempt([&] {
    if (names && !share.ids_are_global()) number_words(comm, share, order);
    std::vector<int> pairs;
    auto add = [&](int id, std::uint32_t n) {
      if (n == 0) return;
      pairs.push_back(order.global_id.empty() ? id : order.global_id[static_cast<std::size_t>(id)]);
      pairs.push_back(static_cast<int>(n));
    };
    for (int id = 0; id < counts.dense_ids; ++id) add(id, counts.dense.get()[id]);
    counts.large.for_each(add);
    long long transactions = counts.transactions;
    MPI_Reduce(&transactions, &total, 1, MPI_LONG_LONG, MPI_SUM, 0, MPI_COMM_WORLD);
    std::vector<int> sizes;
    all = gather_ints(comm, pairs, sizes, Round::counting);
  });
  if (sent.failed()) abort_job(comm, sent.message, sent.status);
  std::vector<int> head;  // transactions, threshold, then ids and supports by position
  const Failure mine = attempt([&] {
    if (!comm.is_root()) return;
    if (names && share.ids_are_global()) order.names = std::move(share.words());
    choose(add_counts(all, total, share.name()), minsup, tuning, order);
    std::vector<int>().swap(all);
    head = {order.transactions, order.threshold};
    head.insert(head.end(), order.file_id.begin(), order.file_id.end());
    head.insert(head.end(), order.supports.begin(), order.supports.end());
  });
  const Failure agreed = agree(comm, mine);
  if (agreed.failed()) return agreed;
  broadcast(comm, head, 0, Round::order);
  const std::size_t f = (head.size() - 2) / 2;
  order.transactions = head[0];
  order.threshold = head[1];
  order.file_id.assign(head.begin() + 2, head.begin() + 2 + static_cast<std::ptrdiff_t>(f));
  order.supports.assign(head.begin() + 2 + static_cast<std::ptrdiff_t>(f), head.end());
  int largest = -1;
  for (int id : order.file_id) largest = std::max(largest, id);
  order.map.file_id = order.file_id;
  if (largest < kDenseIds) {
    order.map.position.assign(static_cast<std::size_t>(largest + 1), -1);
    for (std::size_t p = 0; p < f; ++p) order.map.position[static_cast<std::size_t>(order.file_id[p])] = static_cast<int>(p);
  } else {
    for (std::size_t p = 0; p < f; ++p) order.map.sparse.at(order.file_id[p]) = static_cast<std::uint32_t>(p);
  }
  return {};
}

}  // namespace zub
