// The two passes over the transaction file that build the main FP-tree.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "trees/fi_tree.h"
#include "common/run_error.h"
#include "common/tuning.h"
#include "trees/sort.h"
#include "trees/sorted_batch.h"
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

// The scans tell a progress report, and look at the stop flag, every 4096th transaction.
constexpr int kProgressLines = kReadCheckEvery - 1;

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

ItemCounts count_items(Data& data, Progress* progress, StopFlag stop) {
  ItemCounts c;
  std::size_t capacity = 100;
  CountArray counts = make_counts(capacity);
  Transaction tran(50);
  // An id repeated within one transaction is counted once: its count is
  // marked until the transaction ends.
  auto count = [&](int x) -> std::uint32_t& {
    if (x >= kDenseIds) return c.large.at(x);
    if (static_cast<std::size_t>(x) >= capacity) {
      const std::size_t grown = std::min<std::size_t>(2 * static_cast<std::size_t>(x), kDenseIds);
      CountArray bigger = make_counts(grown);
      std::copy(counts.get(), counts.get() + capacity, bigger.get());
      counts = std::move(bigger);
      capacity = grown;
    }
    return counts.get()[x];
  };
  while (data.getNextTransaction(&tran) != nullptr) {
    for (int k = 0; k < tran.length; ++k) {
      const int x = tran.items[k];
      std::uint32_t& n = count(x);
      if ((n & kSeen) == 0) n = (n + 1) | kSeen;
      c.largest = std::max(c.largest, x);
    }
    for (int k = 0; k < tran.length; ++k) count(tran.items[k]) &= ~kSeen;
    c.digest.add(tran.items, tran.length);
    if (c.transactions == INT_MAX) throw RunError(kExitFile, data.name() + " has more than 2147483647 transactions!");
    if ((++c.transactions & kProgressLines) == 0) {
      stop.check();
      if (progress != nullptr) progress->update(Progress::Phase::reading, c.transactions, 0, [] { return 0LL; });
    }
  }
  c.dense = std::move(counts);
  c.dense_ids = static_cast<int>(std::min<std::size_t>(capacity, static_cast<std::size_t>(c.largest) + 1));
  return c;
}

void FI_tree::scan1_DB(const ItemCounts& counted, ItemMap& items, MainPairs& pairs) {
  covered_len_ = 0;
  const std::uint32_t* dense = counted.dense.get();
  // Every id up to the largest is an item in an array by id where they are
  // few or all frequent: sorted by the paired sort, whose order of equal
  // supports the output keeps. Otherwise the frequent ids alone, by
  // descending support and ascending id.
  const bool by_id = counted.largest < kDenseIds || threshold() <= 0;
  if (by_id && counted.largest == INT_MAX) fail_memory();  // one array entry per id
  const int ids = by_id ? counted.largest + 1 : 0;
  std::vector<std::pair<int, int>> frequent;  // (support, id)
  if (!by_id) {
    for (int x = 0; x < counted.dense_ids; ++x)
      if (static_cast<int>(dense[x]) >= threshold()) frequent.emplace_back(static_cast<int>(dense[x]), x);
    counted.large.for_each([&](int x, std::uint32_t n) {
      if (static_cast<int>(n) >= threshold()) frequent.emplace_back(static_cast<int>(n), x);
    });
    std::sort(frequent.begin(), frequent.end(),
              [](auto& a, auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
  }
  const int size = by_id ? ids : static_cast<int>(frequent.size());
  item_pos_ = pool_->take<int>(size);
  pos_item_ = pool_->take<int>(size);
  supports_ = pool_->take<int>(size);
  for (int i = 0; i < size; ++i) {
    item_pos_[i] = -1;
    supports_[i] = by_id ? static_cast<int>(i < counted.dense_ids ? dense[i] : counted.large.find(i, 0))
                        : frequent[i].first;
    pos_item_[i] = by_id ? i : frequent[i].second;
  }
  if (by_id) sort(supports_, pos_item_, 0, ids - 1);
  num_items_ = 0;
  while (num_items_ < size && supports_[num_items_] >= threshold()) ++num_items_;
  for (int p = 0; p < num_items_; ++p) item_pos_[p] = p;
  make_main_header(pairs);

  // From here on an item id is a main-tree position.
  items.file_id.assign(pos_item_, pos_item_ + num_items_);
  items.position.assign(ids, -1);
  for (int p = 0; p < num_items_; ++p) {
    if (by_id)
      items.position[static_cast<std::size_t>(pos_item_[p])] = p;
    else
      items.sparse.at(pos_item_[p]) = static_cast<std::uint32_t>(p);
    pos_item_[p] = p;
  }
}

void FI_tree::scan1_known(const std::vector<int>& supports_by_position, MainPairs& pairs) {
  covered_len_ = 0;
  num_items_ = static_cast<int>(supports_by_position.size());
  item_pos_ = pool_->take<int>(num_items_);
  pos_item_ = pool_->take<int>(num_items_);
  supports_ = pool_->take<int>(num_items_);
  for (int p = 0; p < num_items_; ++p) {
    item_pos_[p] = pos_item_[p] = p;
    supports_[p] = supports_by_position[static_cast<std::size_t>(p)];
  }
  make_main_header(pairs);
}

void FI_tree::set_supports(const std::vector<int>& supports_by_position) {
  for (int p = 0; p < num_items_; ++p) supports_[p] = heads_[p]->count = supports_by_position[static_cast<std::size_t>(p)];
}

void FI_tree::make_main_header(MainPairs& pairs) {
  heads_ = pool_->take<Fnode*>(num_items_);
  // More than a few items: the pairs are counted. A small triangle is held
  // densely and filled by the second scan; a large one would be mostly empty
  // on sparse data, so only the frequent pairs are kept, found on first use,
  // up to a budget (wide data makes nearly every pair frequent).
  pair_counts_ = nullptr;
  frequent_pairs_ = nullptr;
  if (num_items_ > kPairCountMinItems) {
    const std::size_t rows = static_cast<std::size_t>(num_items_) - 1;
    const std::size_t cells = rows * (rows + 1) / 2;
    if (cells <= settings_->tuning.dense_pair_cells) {
      void* storage = std::calloc(cells, sizeof(int));
      if (storage == nullptr) fail_memory();
      pairs.storage.reset(static_cast<int*>(storage));
      pairs.rows.assign(rows, nullptr);
      int* row = pairs.storage.get();
      for (std::size_t r = 0; r < rows; ++r) {
        pairs.rows[r] = row;
        row += rows - r;
      }
      pair_counts_ = pairs.rows.data();
    } else {
      pairs.sparse = std::make_unique<FrequentPairs>(this, settings_->tuning.sparse_pairs_kept);
      frequent_pairs_ = pairs.sparse.get();
    }
  }

  for (int p = 0; p < num_items_; ++p) {
    heads_[p] = pool_->take<Fnode>(1);
    heads_[p]->init(kNoNode, p, supports_[p]);
  }
  pair_rows_ = num_items_ - 1;
}

MainBuild::MainBuild(FI_tree& tree, std::size_t total, int transactions)
    : tree_(tree), tuning_(tree.settings().tuning), total_(total), transactions_(transactions) {
  // One batch, built without child links, when the database fits a batch, or
  // when it is small and its first batch says that holding it whole costs no
  // more than the links (see one_batch_pays).
  mode_ = total <= tuning_.build_batch_positions    ? Mode::one_batch
          : total <= tuning_.single_batch_positions ? Mode::undecided
                                                    : Mode::batches;
  // Reserved room that stays unused costs no memory.
  const std::size_t room =
      mode_ == Mode::batches ? std::min(total, tuning_.build_batch_positions + static_cast<std::size_t>(tree.num_items()))
                             : total;
  batch_.reserve(room, std::min(room, static_cast<std::size_t>(transactions)));
  limit_ = tuning_.build_batch_positions;
}

MainBuild::~MainBuild() = default;

void MainBuild::add(const int* positions, int k) {
  if (tree_.pair_counts_ != nullptr && k >= 2) tree_.add_pairs(positions, k, 1);
  batch_.add(positions, k);
  if (mode_ == Mode::one_batch || batch_.positions() < limit_) return;
  if (mode_ == Mode::undecided) {
    batch_.sort(tree_.num_items());  // sorted again with the rest, or when built
    mode_ = one_batch_pays(batch_, total_, static_cast<std::size_t>(transactions_)) ? Mode::one_batch : Mode::batches;
    if (mode_ == Mode::one_batch) return;
  }
  flush();
}

void MainBuild::flush() {
  batch_.sort(tree_.num_items());
  tree_.insert_sorted(batch_, mode_ != Mode::one_batch);
  batch_.clear();
  // Room is made only when the limit doubles: reserving at every batch
  // leaves the heap in pieces.
  const auto nodes = static_cast<std::size_t>(tree_.store_->mark() - tree_.root_ref_);
  const std::size_t grown = std::bit_floor(nodes / tuning_.build_batch_share);
  if (grown <= limit_ || mode_ != Mode::batches) return;
  limit_ = grown;
  const std::size_t more = std::min(total_, limit_ + static_cast<std::size_t>(tree_.num_items()));
  batch_.reserve(more, std::min(more, static_cast<std::size_t>(transactions_)));
}

void MainBuild::finish() {
  flush();
  batch_.release();
  tree_.cal_level_25();
}

void FI_tree::scan2_DB(Data* data, const ItemMap& items, const PassDigest& digest, Progress* progress,
                       StopFlag stop) {
  const int transactions = digest.lines;
  Transaction tran(50);
  PassDigest read;
  std::vector<unsigned char> seen(static_cast<std::size_t>(num_items_), 0);
  int* compact = scratch_->build.positions.data();
  // The frequent positions of all transactions number the supports' sum; a
  // batch ends at the first transaction that reaches the limit.
  std::size_t total = 0;
  for (int p = 0; p < num_items_; ++p) total += static_cast<std::size_t>(supports_[p]);
  MainBuild build(*this, total, transactions);
  for (int n = 0; n < transactions; ++n) {
    if (data->getNextTransaction(&tran) == nullptr) break;
    read.add(tran.items, tran.length);
    if ((n & kProgressLines) == 0) {
      stop.check();
      if (progress != nullptr) progress->update(Progress::Phase::building, n, transactions, [] { return 0LL; });
    }
    // The distinct frequent positions of the transaction, ascending.
    int k = 0;
    for (int j = 0; j < tran.length; ++j) {
      const int p = items.position_of(tran.items[j]);
      if (p >= 0 && !seen[p]) {
        seen[p] = 1;
        compact[k++] = p;
      }
    }
    if (k == 0) continue;
    std::sort(compact, compact + k);
    for (int j = 0; j < k; ++j) seen[compact[j]] = 0;
    build.add(compact, k);
  }
  // Lines appended since the first pass are not read; any other change would
  // make itemsets of neither version of the file.
  if (!(read == digest)) throw RunError(kExitFile, data->name() + " changed while it was read!");
  // The reader's block (or a pipe's recording) is not needed for the last
  // batch, usually the only one.
  data->close();
  build.finish();
}

}  // namespace zub
