// The main FP-tree's first pass over the transaction file as one stream
// (count_items; range_passes.cpp reads it in ranges), and its first scan.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "trees/fi_tree.h"
#include "common/run_error.h"
#include "common/tuning.h"
#include "trees/sort.h"
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
  std::vector<int> file_ids(static_cast<std::size_t>(size));  // by position, once sorted
  item_pos_ = pool_->take<int>(size);
  supports_ = pool_->take<int>(size);
  for (int i = 0; i < size; ++i) {
    item_pos_[i] = -1;
    supports_[i] = by_id ? static_cast<int>(i < counted.dense_ids ? dense[i] : counted.large.find(i, 0))
                        : frequent[i].first;
    file_ids[static_cast<std::size_t>(i)] = by_id ? i : frequent[i].second;
  }
  if (by_id) sort(supports_, file_ids.data(), 0, ids - 1);
  num_items_ = 0;
  while (num_items_ < size && supports_[num_items_] >= threshold()) ++num_items_;
  // From here on an item id is a main-tree position: both ways the map is
  // the same array, the positions themselves.
  for (int p = 0; p < num_items_; ++p) item_pos_[p] = p;
  pos_item_ = item_pos_;
  make_main_header(pairs);

  items.file_id.assign(file_ids.begin(), file_ids.begin() + num_items_);
  items.position.assign(ids, -1);
  for (int p = 0; p < num_items_; ++p) {
    const int id = file_ids[static_cast<std::size_t>(p)];
    if (by_id)
      items.position[static_cast<std::size_t>(id)] = p;
    else
      items.sparse.at(id) = static_cast<std::uint32_t>(p);
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
  for (int p = 0; p < num_items_; ++p) supports_[p] = heads_[p].count = supports_by_position[static_cast<std::size_t>(p)];
}

void FI_tree::make_main_header(MainPairs& pairs) {
  heads_ = pool_->take<Fnode>(num_items_);
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
    heads_[p].init(kNoNode, p, supports_[p]);
  }
  pair_rows_ = num_items_ - 1;
}

}  // namespace zub
