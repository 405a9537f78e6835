// The two passes over the transaction file that build the main FP-tree.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "fp_tree/fi_tree.h"
#include "common/run_error.h"
#include "fp_tree/sort.h"
#include "fp_tree/sorted_batch.h"
#include "io/data.h"

namespace zub {

namespace {

using CountArray = std::unique_ptr<std::uint32_t, FreeDeleter>;

// Zeroed lazily: a count array sized by a large sparse id touches few pages.
CountArray make_counts(std::size_t entries) {
  void* p = std::calloc(entries, sizeof(std::uint32_t));
  if (p == nullptr) fail_memory();
  return CountArray(static_cast<std::uint32_t*>(p));
}

// Marks an item as already counted in the current transaction.
constexpr std::uint32_t kSeen = 0x80000000u;

// Whether a database of `positions` frequent positions in `transactions`
// lines costs less memory held whole as one batch than built in batches with
// child links: the whole batch's bytes beyond this first one against the
// links' bytes, for as many nodes per position as the first batch makes.
// Later transactions find more of their prefixes already in the tree, so the
// estimate leans towards one batch as the database grows; the size limit on
// one batch bounds that. Dense data, whose tree is much smaller than its
// transactions, stays with the batches.
bool one_batch_pays(const SortedBatch& first, std::size_t positions, std::size_t transactions) {
  constexpr std::size_t kPositionBytes = sizeof(int), kTransactionBytes = 20, kLinkBytes = sizeof(FnodeLinks);
  const std::size_t extra = (positions - first.positions()) * kPositionBytes +
                            (transactions > first.size() ? transactions - first.size() : 0) * kTransactionBytes;
  const double nodes_per_position = static_cast<double>(first.trie_nodes()) / static_cast<double>(first.positions());
  return static_cast<double>(extra) <= nodes_per_position * static_cast<double>(positions * kLinkBytes);
}

}  // namespace

ItemCounts count_items(Data& data) {
  std::size_t capacity = 100;
  CountArray counts = make_counts(capacity);
  std::size_t largest = 0;
  int transactions = 0;
  Transaction tran(50);
  while (data.getNextTransaction(&tran) != nullptr) {
    std::uint32_t* count = counts.get();
    for (int k = 0; k < tran.length; ++k) {
      const std::size_t x = static_cast<std::size_t>(tran.items[k]);
      if (x >= capacity) {
        const std::size_t grown = 2 * x;
        CountArray bigger = make_counts(grown);
        std::copy(counts.get(), counts.get() + largest + 1, bigger.get());
        counts = std::move(bigger);
        count = counts.get();
        capacity = grown;
        largest = x;
      } else if (x > largest) {
        largest = x;
      }
      // An id repeated within one transaction is counted once.
      if ((count[x] & kSeen) == 0) count[x] = (count[x] + 1) | kSeen;
    }
    for (int k = 0; k < tran.length; ++k) count[tran.items[k]] &= ~kSeen;
    if (transactions == INT_MAX) throw RunError(kExitFile, data.name() + " has more than 2147483647 transactions!");
    ++transactions;
  }
  if (largest + 1 > std::size_t(INT_MAX)) fail_memory();
  ItemCounts result;
  result.support = std::move(counts);
  result.ids = static_cast<int>(largest + 1);
  result.transactions = transactions;
  return result;
}

void FI_tree::scan1_DB(const ItemCounts& counted, ItemMap& items, MainPairs& pairs) {
  covered_len = 0;
  const int ids = counted.ids;
  const std::uint32_t* count = counted.support.get();
  item_pos = pool->take<int>(ids);
  pos_item = pool->take<int>(ids);
  supports = pool->take<int>(ids);
  for (int i = 0; i < ids; ++i) {
    item_pos[i] = -1;
    supports[i] = static_cast<int>(count[i]);
    pos_item[i] = i;
  }
  sort(supports, pos_item, 0, ids - 1);
  num_items = 0;
  while (num_items < ids && supports[num_items] >= threshold()) ++num_items;
  for (int p = 0; p < num_items; ++p) {
    supports[p] = static_cast<int>(count[pos_item[p]]);
    item_pos[pos_item[p]] = p;
  }

  heads = pool->take<Fnode*>(num_items);
  // More than a few items: the pairs are counted. A small triangle is held
  // densely and filled by the second scan; a large one would be mostly empty
  // on sparse data, so only the frequent pairs are kept, found on first use.
  pair_counts = nullptr;
  frequent_pairs = nullptr;
  if (num_items > kPairCountMinItems) {
    const std::size_t rows = static_cast<std::size_t>(num_items) - 1;
    const std::size_t cells = rows * (rows + 1) / 2;
    if (cells <= settings->tuning.dense_pair_cells) {
      void* storage = std::calloc(cells, sizeof(int));
      if (storage == nullptr) fail_memory();
      pairs.storage.reset(static_cast<int*>(storage));
      pairs.rows.assign(rows, nullptr);
      int* row = pairs.storage.get();
      for (std::size_t r = 0; r < rows; ++r) {
        pairs.rows[r] = row;
        row += rows - r;
      }
      pair_counts = pairs.rows.data();
    } else {
      pairs.sparse = std::make_unique<FrequentPairs>(this);
      frequent_pairs = pairs.sparse.get();
    }
  }

  // From here on an item id is a main-tree position.
  items.file_id.assign(num_items, 0);
  items.position.assign(ids, -1);
  for (int p = 0; p < num_items; ++p) {
    heads[p] = pool->take<Fnode>(1);
    heads[p]->init(kNoNode, p, supports[p]);
    items.file_id[p] = pos_item[p];
    pos_item[p] = p;
    items.position[p] = item_pos[p];  // the position of file id p, read before it is overwritten
    item_pos[p] = p;
  }
  for (int i = num_items; i < ids; ++i) {
    items.position[i] = item_pos[i];
    item_pos[i] = -1;
  }
  pair_rows = num_items - 1;
}

void FI_tree::scan2_DB(Data* data, const ItemMap& items, int transactions) {
  const Tuning& tuning = settings->tuning;
  Transaction tran(50);
  std::vector<unsigned char> seen(static_cast<std::size_t>(num_items), 0);
  int* compact = ws->build.positions.data();
  const int* item_order = items.position.data();
  const std::size_t ids = items.position.size();
  // The frequent positions of all transactions number the supports' sum; a
  // batch ends at the first transaction that reaches the limit.
  std::size_t total = 0;
  for (int p = 0; p < num_items; ++p) total += static_cast<std::size_t>(supports[p]);
  // One batch, built without child links, when the database fits a batch, or
  // when it is small and its first batch says that holding it whole costs no
  // more than the links (see one_batch_pays).
  enum class Mode { batches, undecided, one_batch };
  Mode mode = total <= tuning.build_batch_positions    ? Mode::one_batch
              : total <= tuning.single_batch_positions ? Mode::undecided
                                                       : Mode::batches;
  // Reserved room that stays unused costs no memory.
  const std::size_t room =
      mode == Mode::batches ? std::min(total, tuning.build_batch_positions + static_cast<std::size_t>(num_items))
                            : total;
  SortedBatch batch;
  batch.reserve(room, std::min(room, static_cast<std::size_t>(transactions)));
  auto flush = [&] {
    batch.sort(num_items);
    insert_sorted(batch, mode != Mode::one_batch);
    batch.clear();
  };
  for (int n = 0; n < transactions; ++n) {
    if (data->getNextTransaction(&tran) == nullptr) break;
    // The distinct frequent positions of the transaction, ascending.
    int k = 0;
    for (int j = 0; j < tran.length; ++j) {
      const std::size_t x = static_cast<std::size_t>(tran.items[j]);
      if (x >= ids) continue;  // the file grew since the first pass
      const int p = item_order[x];
      if (p >= 0 && !seen[p]) {
        seen[p] = 1;
        compact[k++] = p;
      }
    }
    if (k == 0) continue;
    std::sort(compact, compact + k);
    for (int j = 0; j < k; ++j) seen[compact[j]] = 0;
    if (pair_counts != nullptr && k >= 2) add_pairs(compact, k, 1);
    batch.add(compact, k);
    if (mode == Mode::one_batch || batch.positions() < tuning.build_batch_positions) continue;
    if (mode == Mode::undecided) {
      batch.sort(num_items);  // sorted again with the rest, or when built
      mode = one_batch_pays(batch, total, static_cast<std::size_t>(transactions)) ? Mode::one_batch
                                                                                    : Mode::batches;
      if (mode == Mode::one_batch) continue;
    }
    flush();
  }
  // The reader's block (or a pipe's recording) is not needed for the last
  // batch, usually the only one.
  data->close();
  flush();
  batch.release();
  cal_level_25();
}

}  // namespace zub
