#include "run/maximal_units.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "trees/mfi_tem.h"
#include "trees/mfi_tree.h"
#include "miners/miners.h"
#include "miners/record.h"
#include "io/fsout.h"
#include "run/run_units.h"
#include "run/unit_workers.h"

namespace zub {

namespace {

// What a worker owns: its workspace (which keeps what it finds as the
// records of the unit being mined), its view of the main tree, its list of
// recorded itemsets and the pool of its units' trees.
struct MaximalWorker {
  explicit MaximalWorker(const FI_tree& tree) : ws(worker_workspace(*tree.ws)), view(tree) {
    view.ws = ws.get();
    ws->out = &discard;
    ws->maximal.list = &list;
    list.init(ws.get(), &list_pool, ws->frequent);
    local = list_pool.take<MFI_tree>(1);
    local->init(&list_pool, &view, nullptr, kNoMnode, tree.ws->itemset.len - 1);
  }
  std::unique_ptr<Workspace> ws;
  FSout discard;
  FI_tree view;
  memory list_pool{kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2};
  mfi_tem list;
  memory unit_pool{kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2};  // rolled back after each unit
  MFI_tree* local = nullptr;  // the tree of the unit being mined; its arrays are kept between units
};

struct Unit {
  int item = 0;             // the unit's own item
  std::vector<int> found;   // records (length, items..., support)
  MnodeRef copied = 0;  // the run's tree's nodes below this number are known to the unit
  bool done = false;    // mined; guarded by the commit lock
};

// The paths of a tree through one item's nodes numbered `from` or higher
// (node numbers grow as nodes are made, and a chain runs newest first), each
// with a mask of its positions modulo 64 that rejects most itemsets without
// a climb.
class NewPaths {
 public:
  NewPaths(const MFI_tree& tree, int item, MnodeRef from) : tree_(tree) {
    for (MnodeRef r = tree.heads[tree.item_pos[item]]; r != kNoMnode && r >= from; r = tree.node(r)->link) {
      std::uint64_t mask = 0;
      tree.for_each_item_up(tree.node(r), [&](int it) { mask |= bit(it); });
      masks_.push_back(mask);
      nodes_.push_back(tree.node(r));
    }
  }
  // Does one of them hold the item and `tail` (item ids by descending position)?
  bool hold(const std::vector<int>& tail) const {
    std::uint64_t want = 0;
    for (int it : tail) want |= bit(it);
    // Blocks of masks without an early exit, which the compiler vectorizes.
    constexpr std::size_t kBlock = 16;
    const std::size_t n = masks_.size();
    for (std::size_t p = 0; p < n; p += kBlock) {
      const std::size_t end = std::min(n, p + kBlock);
      bool maybe = false;
      for (std::size_t q = p; q < end; ++q) maybe |= (want & ~masks_[q]) == 0;
      if (!maybe) continue;
      for (std::size_t q = p; q < end; ++q)
        if ((want & ~masks_[q]) == 0 && climb_holds(nodes_[q], tail)) return true;
    }
    return false;
  }

 private:
  std::uint64_t bit(int item) const { return std::uint64_t{1} << (tree_.item_pos[item] & 63); }
  bool climb_holds(const Mnode* node, const std::vector<int>& tail) const {
    const int k = static_cast<int>(tail.size());
    if (k == 0) return true;
    if (node->depth <= k) return false;  // too shallow to hold them all
    const Mnode* a = tree_.up(node);
    for (int j = 0;; ++j) {
      const int target = tree_.item_pos[tail[static_cast<std::size_t>(j)]];
      while (!MFI_tree::is_root(a) && tree_.item_pos[a->item] > target && a->depth >= k - j) a = tree_.up(a);
      if (a->item != tail[static_cast<std::size_t>(j)]) return false;
      if (j == k - 1) return true;
    }
  }
  const MFI_tree& tree_;
  std::vector<std::uint64_t> masks_;
  std::vector<const Mnode*> nodes_;
};

// Puts each record's items from `from` on in descending position (least
// frequent first, as the unit's item heads them), then the records in
// ascending order of their items: how a unit's itemsets are written,
// whatever its copy held (the copy steers the order in which the miner
// finds them and pushes their items). The four items after the unit's
// (16 bits each, when every item fits) make a key that settles most
// comparisons.
void sort_records(std::vector<int>& found, int from, const int* item_pos, int items) {
  for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2) {
    int* first = &found[at + 1];
    std::sort(first + from, first + found[at], [item_pos](int a, int b) { return item_pos[a] > item_pos[b]; });
  }
  struct Entry {
    std::uint64_t key;
    const int* record;
  };
  std::vector<Entry> order;
  const bool packs = items < 0xffff;
  for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2) {
    const int* r = &found[at];
    std::uint64_t key = 0;
    for (int j = 0; j < 4; ++j) {
      const int k = from + 1 + j;  // after the unit's item
      key = key << 16 | (packs && k < r[0] ? static_cast<std::uint64_t>(r[1 + k]) + 1 : 0);
    }
    order.push_back({key, r});
  }
  std::sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
    if (a.key != b.key) return a.key < b.key;
    return std::lexicographical_compare(a.record + 1, a.record + 1 + a.record[0], b.record + 1,
                                        b.record + 1 + b.record[0]);
  });
  std::vector<int> sorted;
  sorted.reserve(found.size());
  for (const Entry& e : order) sorted.insert(sorted.end(), e.record, e.record + e.record[0] + 2);
  found.swap(sorted);
}

class MaximalUnits {
 public:
  MaximalUnits(FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads)
      : tree_(tree),
        root_(root),
        level_(level),
        prefix_(tree.ws->itemset.len),
        units_(static_cast<std::size_t>(tree.num_items - tree.covered_len)) {
    for (int w = 0; w < threads; ++w) workers_.push_back(std::make_unique<MaximalWorker>(tree));
    stop_ = static_cast<int>(units_.size());
  }

  void run() {
    UnitTimes* times = tree_.ws->settings.unit_times;
    if (times != nullptr) times->commit.assign(units_.size(), 0.0);
    if (times != nullptr) times->mine.assign(units_.size(), 0.0);
    run_units(static_cast<int>(units_.size()), static_cast<int>(workers_.size()),
              [this](int worker, int unit) { mine(*workers_[static_cast<std::size_t>(worker)], unit); });
    Counters& c = tree_.ws->counters;
    for (const auto& w : workers_) {
      c.projections += w->ws->counters.projections;
      c.subset_checks += w->ws->counters.subset_checks;
    }
  }

 private:
  void mine(MaximalWorker& w, int u);
  void commit_ready();
  void commit(Unit& unit);
  void drop_held(Unit& unit);

  FI_tree& tree_;
  MFI_tree& root_;
  const MaximalLevel level_;
  const int prefix_;  // the stack's items below every unit's
  std::vector<Unit> units_;
  std::vector<std::unique_ptr<MaximalWorker>> workers_;
  std::atomic<int> stop_;       // units after it are covered by it: not mined
  std::shared_mutex tree_lock_;  // root_: copied from by the workers, written by commits
  std::mutex commit_lock_;  // of the units' done flags, next_commit_ and committing_
  int next_commit_ = 0;
  bool committing_ = false;
};

void MaximalUnits::mine(MaximalWorker& w, int u) {
  Unit& unit = units_[static_cast<std::size_t>(u)];
  const int i = tree_.num_items - 1 - u;
  const auto start = std::chrono::steady_clock::now();
  if (u <= stop_) {
    memory& pool = w.unit_pool;
    const PoolMark mark = PoolMark::take(pool);
    MFI_tree* local = w.local;
    local->restart(&pool);
    unit.item = tree_.pos_item[i];
    unit.copied = MFI_tree::root;
    if (tree_.ws->settings.tuning.maximal_unit_copy) {
      const std::shared_lock lock(tree_lock_);
      local->add_paths_through(root_, unit.item);
      unit.copied = root_.nodes.size() + 1;
    }
    MFI_tree*& slot = w.ws->maximal.trees[static_cast<std::size_t>(prefix_)];
    slot = local;
    w.ws->itemset.len = prefix_;
    w.ws->kept = &unit.found;
    const bool covers = level_ == MaximalLevel::lookahead ? Mine_Max_Position(w.view, *local, i)
                                                          : Mine_Max_Projected_Position(w.view, *local, i);
    slot = nullptr;
    w.ws->kept = nullptr;
    local->clear_entries();
    mark.roll_back(pool);
    sort_records(unit.found, prefix_, tree_.item_pos, w.ws->frequent);
    const std::shared_lock lock(tree_lock_);
    drop_held(unit);  // what the units committed meanwhile hold, outside the commit
    if (covers) {
      int s = stop_.load();
      while (u < s && !stop_.compare_exchange_weak(s, u)) {
      }
    }
  }
  if (UnitTimes* times = tree_.ws->settings.unit_times)  // the commits are timed apart
    times->mine[static_cast<std::size_t>(u)] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  {
    const std::lock_guard lock(commit_lock_);
    unit.done = true;
  }
  commit_ready();
}

// Commits every unit whose turn has come, in order. One thread commits at a
// time; a thread that finds another committing leaves its unit to it and
// goes back to mining.
void MaximalUnits::commit_ready() {
  std::unique_lock lock(commit_lock_);
  if (committing_) return;
  committing_ = true;
  while (next_commit_ < static_cast<int>(units_.size()) && units_[static_cast<std::size_t>(next_commit_)].done) {
    const int u = next_commit_;
    lock.unlock();
    Unit& unit = units_[static_cast<std::size_t>(u)];
    const auto start = std::chrono::steady_clock::now();
    if (u <= stop_) commit(unit);
    if (UnitTimes* times = tree_.ws->settings.unit_times)
      times->commit[static_cast<std::size_t>(u)] =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<int>().swap(unit.found);
    lock.lock();
    ++next_commit_;
  }
  committing_ = false;
}

// The run's tree takes the unit's itemsets that no earlier unit holds (the
// items after the unit's, as the one-thread walk enters them); the writing
// needs no lock of the tree, so that the workers go on copying from it.
void MaximalUnits::commit(Unit& unit) {
  {
    const std::unique_lock lock(tree_lock_);
    drop_held(unit);
    const std::vector<int>& found = unit.found;
    for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2) {
      const int k = found[at] - prefix_ - 1;
      if (k > 0) root_.enter(&found[at + 2 + prefix_], k, found[at + 1 + found[at]]);
    }
  }
  Workspace& ws = *tree_.ws;
  const std::vector<int>& found = unit.found;
  for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2)
    write_found(ws, &found[at + 1], found[at], found[at + 1 + found[at]]);
}

// Drops the unit's itemsets that a path through its item, new in the run's
// tree since the unit last looked, holds. The caller holds tree_lock_.
void MaximalUnits::drop_held(Unit& unit) {
  const MnodeRef next = root_.nodes.size() + 1;
  if (next == unit.copied || unit.found.empty()) {
    unit.copied = next;
    return;
  }
  const NewPaths recent(root_, unit.item, unit.copied);
  unit.copied = next;
  std::vector<int>& found = unit.found;
  std::vector<int> tail;
  std::size_t kept = 0;
  for (std::size_t at = 0; at < found.size();) {
    const std::size_t size = static_cast<std::size_t>(found[at]) + 2;
    // The unit's item heads each record above the prefix.
    tail.assign(found.begin() + static_cast<std::ptrdiff_t>(at) + 2 + prefix_,
                found.begin() + static_cast<std::ptrdiff_t>(at + size) - 1);
    std::sort(tail.begin(), tail.end(), [this](int a, int b) { return root_.item_pos[a] > root_.item_pos[b]; });
    if (!recent.hold(tail)) {
      std::copy(found.begin() + static_cast<std::ptrdiff_t>(at), found.begin() + static_cast<std::ptrdiff_t>(at + size),
                found.begin() + static_cast<std::ptrdiff_t>(kept));
      kept += size;
    }
    at += size;
  }
  found.resize(kept);
}

}  // namespace

void mine_maximal_parallel(FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads) {
  if (tree.frequent_pairs != nullptr) tree.frequent_pairs->compute_all(threads);  // the workers share the rows
  MaximalUnits units(tree, root, level, threads);
  units.run();
}

}  // namespace zub
