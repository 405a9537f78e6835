#include "run/unit_forms.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <shared_mutex>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "miners/absorbed_positions.h"
#include "miners/closure_miner.h"
#include "miners/level_loop.h"
#include "miners/miners.h"
#include "miners/workspace.h"
#include "run/units.h"
#include "trees/mfi_tem.h"
#include "trees/mfi_tree.h"

namespace zub {

namespace {

// The units of a pass that this process mines: unit k is only[k], or k
// when `only` is empty (all of them).
int chosen(std::span<const int> only, int k) { return only.empty() ? k : only[static_cast<std::size_t>(k)]; }

class AllUnits final : public UnitWork {
 public:
  AllUnits(FI_tree& tree, std::span<const int> only) : tree_(tree), only_(only) {}
  int units() const override { return only_.empty() ? tree_.num_items() : static_cast<int>(only_.size()); }
  bool streams() const override { return true; }
  // Each worker sees the main tree through its own scratch.
  void add_worker(Workspace& ws) override {
    views_.emplace_back(tree_, ws.trees);
    workers_.push_back(&ws);
  }
  void mine(int worker, int unit) override {
    const auto w = static_cast<std::size_t>(worker);
    FP_growth_position(*workers_[w], views_[w], tree_.num_items() - 1 - chosen(only_, unit));
  }

 private:
  FI_tree& tree_;
  const std::span<const int> only_;
  std::vector<FI_tree> views_;
  std::vector<Workspace*> workers_;
};

class ClosureUnits final : public UnitWork {
 public:
  ClosureUnits(const ClosureRoot& root, std::vector<int> order, int threshold, int max_len, const Tuning& tuning)
      : root_(root), order_(std::move(order)), threshold_(threshold), max_len_(max_len), tuning_(tuning) {}
  int units() const override { return static_cast<int>(order_.size()); }
  bool streams() const override { return true; }
  void add_worker(Workspace& ws) override {
    miners_.push_back(std::make_unique<ClosureWorker>(ws, root_, threshold_, max_len_, tuning_));
  }
  void mine(int worker, int unit) override {
    miners_[static_cast<std::size_t>(worker)]->mine_unit(order_[static_cast<std::size_t>(unit)]);
  }

 private:
  const ClosureRoot& root_;
  const std::vector<int> order_;
  const int threshold_;
  const int max_len_;
  const Tuning& tuning_;
  std::vector<std::unique_ptr<ClosureWorker>> miners_;
};

// What a maximal worker owns beside its workspace: its view of the main
// tree, its list of recorded itemsets and the pool of its units' trees.
struct MaximalWorker {
  MaximalWorker(const FI_tree& tree, Workspace& workspace) : ws(workspace), view(tree, workspace.trees) {
    ws.recorder.open_mfi_trees();
    ws.trees.mfi_list = &list;
    list.init(&ws.trees, &list_pool, ws.frequent);
    local = list_pool.take<MFI_tree>(1);
    local->init_over(&list_pool, &view, ws.recorder.itemset.len - 1, heads, root_children);
  }
  Workspace& ws;
  FI_tree view;
  memory list_pool{kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2};
  mfi_tem list;
  memory unit_pool{kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2};  // rolled back after each unit
  MFI_tree* local = nullptr;  // the tree of the unit being mined; its arrays are kept between units
  ZeroedArray<MnodeRef> heads, root_children;  // local's by position
};

struct MaximalUnit {  // all zero to start with
  int item = 0;         // the unit's own item
  MnodeRef copied = 0;  // the run's tree's nodes below this number are known to the unit
  bool covers = false;  // an itemset found holds every later unit's
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
    if (!tree_.reaches(*node, k + 1)) return false;  // too shallow to hold them all
    const Mnode* a = tree_.up(node);
    for (int j = 0;; ++j) {
      const int target = tree_.item_pos[tail[static_cast<std::size_t>(j)]];
      while (!MFI_tree::is_root(a) && tree_.item_pos[tree_.item_of(*a)] > target && tree_.reaches(*a, k - j))
        a = tree_.up(a);
      if (tree_.item_of(*a) != tail[static_cast<std::size_t>(j)]) return false;
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

// A worker mines a unit against a copy of the run's MFI-tree paths through
// the unit's item (what the units committed so far have found), so each
// itemset it finds is maximal within the unit but perhaps inside an itemset
// of a unit still being mined. Units are committed in the one-thread walk's
// order: a unit's itemsets inside an itemset committed before are dropped,
// the others are written (in ascending order of their items' positions: the
// order does not depend on what the unit's copy held) and entered into the
// run's tree. Only earlier units can hold a superset (a later unit's
// itemsets lack this unit's item), so what is written is exactly the
// one-thread answer.
class MaximalUnits final : public UnitWork {
 public:
  MaximalUnits(const Workspace& ws, FI_tree& tree, MFI_tree& root, MaximalLevel level, std::span<const int> only)
      : ws_(ws),
        tree_(tree),
        root_(root),
        level_(level),
        prefix_(ws.recorder.itemset.len),
        only_(only),
        units_(only.empty() ? static_cast<std::size_t>(tree.num_items() - tree.covered_len()) : only.size()),
        stop_(static_cast<int>(units_.size())) {
    if (!ws.recorder.lengths().limits_max())
      absorbed_ = std::make_unique<AbsorbedPositions>(tree.num_items());
  }
  int units() const override { return static_cast<int>(units_.size()); }
  bool streams() const override { return false; }
  void add_worker(Workspace& ws) override { workers_.push_back(std::make_unique<MaximalWorker>(tree_, ws)); }
  // Units after one that covers them are not mined, nor those of absorbed
  // positions (before their copy of the run's tree, which may be as long).
  bool wanted(int unit) const override {
    return unit <= stop_ && (absorbed_ == nullptr || !absorbed_->has(tree_.num_items() - 1 - chosen(only_, unit)));
  }
  void mine(int worker, int unit) override;
  void finish(int unit, std::vector<int>& records) override;
  void commit(int unit, std::vector<int>& records, Recorder& out) override;

 private:
  void drop_held(MaximalUnit& unit, std::vector<int>& found);

  const Workspace& ws_;  // the run's
  FI_tree& tree_;
  MFI_tree& root_;
  const MaximalLevel level_;
  const int prefix_;  // the stack's items below every unit's
  const std::span<const int> only_;
  ZeroedArray<MaximalUnit> units_;  // zero is each one's start; a unit of a million not mined costs no page
  std::vector<std::unique_ptr<MaximalWorker>> workers_;
  std::atomic<int> stop_;        // units after it are covered by it: not mined
  std::unique_ptr<AbsorbedPositions> absorbed_;  // positions with no maximal itemset of their own
  std::shared_mutex tree_lock_;  // root_: copied from by the workers, written by commits
};

void MaximalUnits::mine(int worker, int u) {
  MaximalWorker& w = *workers_[static_cast<std::size_t>(worker)];
  MaximalUnit& unit = units_[static_cast<std::size_t>(u)];
  const int i = tree_.num_items() - 1 - chosen(only_, u);
  memory& pool = w.unit_pool;
  const PoolMark mark = PoolMark::take(pool);
  MFI_tree* local = w.local;
  local->restart(&pool);
  unit.item = tree_.pos_item(i);
  unit.copied = MFI_tree::root;
  if (ws_.settings.tuning.maximal_unit_copy) {
    const std::shared_lock lock(tree_lock_);
    local->add_paths_through(root_, unit.item);
    unit.copied = root_.nodes.size() + 1;
  }
  MFI_tree*& slot = w.ws.recorder.mfi_trees[static_cast<std::size_t>(prefix_)];
  slot = local;
  unit.covers = level_ == MaximalLevel::lookahead ? Mine_Max_Position(w.ws, w.view, *local, i, absorbed_.get())
                                                  : Mine_Max_Projected_Position(w.ws, w.view, *local, i, absorbed_.get());
  slot = nullptr;
  local->clear_entries();
  mark.roll_back(pool);
}

void MaximalUnits::finish(int u, std::vector<int>& records) {
  MaximalUnit& unit = units_[static_cast<std::size_t>(u)];
  sort_records(records, prefix_, tree_.item_positions(), ws_.frequent);
  {
    const std::shared_lock lock(tree_lock_);
    drop_held(unit, records);  // what the units committed meanwhile hold, outside the commit
  }
  if (unit.covers) {
    int s = stop_.load();
    while (u < s && !stop_.compare_exchange_weak(s, u)) {
    }
  }
}

// The run's tree takes the unit's itemsets that no earlier unit holds (the
// items after the unit's, as the one-thread walk enters them); the writing
// needs no lock of the tree, so that the workers go on copying from it.
void MaximalUnits::commit(int u, std::vector<int>& found, Recorder& out) {
  {
    const std::unique_lock lock(tree_lock_);
    drop_held(units_[static_cast<std::size_t>(u)], found);
    for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2) {
      const int k = found[at] - prefix_ - 1;
      if (k > 0) root_.enter(&found[at + 2 + prefix_], k, found[at + 1 + found[at]]);
    }
  }
  out.pass_on(found);
}

// Drops the unit's itemsets that a path through its item, new in the run's
// tree since the unit last looked, holds. The caller holds tree_lock_.
void MaximalUnits::drop_held(MaximalUnit& unit, std::vector<int>& found) {
  drop_held_by(root_, prefix_, unit.item, unit.copied, found);
}

}  // namespace

void drop_held_by(const MFI_tree& root, int prefix, int item, MnodeRef& copied, std::vector<int>& found) {
  const MnodeRef next = root.nodes.size() + 1;
  if (next == copied || found.empty()) {
    copied = next;
    return;
  }
  const NewPaths recent(root, item, copied);
  copied = next;
  std::vector<int> tail;
  std::size_t kept = 0;
  for (std::size_t at = 0; at < found.size();) {
    const std::size_t size = static_cast<std::size_t>(found[at]) + 2;
    // The unit's item heads each record above the prefix.
    tail.assign(found.begin() + static_cast<std::ptrdiff_t>(at) + 2 + prefix,
                found.begin() + static_cast<std::ptrdiff_t>(at + size) - 1);
    std::sort(tail.begin(), tail.end(), [&root](int a, int b) { return root.item_pos[a] > root.item_pos[b]; });
    if (!recent.hold(tail)) {
      std::copy(found.begin() + static_cast<std::ptrdiff_t>(at), found.begin() + static_cast<std::ptrdiff_t>(at + size),
                found.begin() + static_cast<std::ptrdiff_t>(kept));
      kept += size;
    }
    at += size;
  }
  found.resize(kept);
}

void commit_maximal_unit(MFI_tree& root, int prefix, int item, std::vector<int>& found, Recorder& out) {
  MnodeRef copied = MFI_tree::root;
  drop_held_by(root, prefix, item, copied, found);
  for (std::size_t at = 0; at < found.size(); at += static_cast<std::size_t>(found[at]) + 2) {
    const int k = found[at] - prefix - 1;
    if (k > 0) root.enter(&found[at + 2 + prefix], k, found[at + 1 + found[at]]);
  }
  out.pass_on(found);
}

void FP_growth_in_units(Workspace& ws, FI_tree& tree, int threads, UnitTimes* times, std::span<const int> only) {
  // The workers read the main tree and nothing else of it changes; its lazy
  // pair rows are made first.
  tree.share_pair_rows(threads);
  AllUnits work(tree, only);
  run_units(work, ws, threads, times);
}

void mine_maximal_in_units(Workspace& ws, FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads,
                           UnitTimes* times, std::span<const int> only) {
  tree.share_pair_rows(threads);  // the workers share the rows
  MaximalUnits work(ws, tree, root, level, only);
  run_units(work, ws, threads, times);
}

void mine_closure_units(const ClosureRoot& root, Workspace& ws, int threshold, int threads, UnitTimes* times,
                        std::span<const int> units) {
  ClosureUnits work(root, std::vector<int>(units.begin(), units.end()), threshold, ws.recorder.lengths().max,
                    ws.settings.tuning);
  run_units(work, ws, threads, times);
}

void mine_closed_by_closure(ClosedInput input, Workspace& ws, int threshold, int threads, UnitTimes* times) {
#if defined(__GLIBC__)
  // The main tree's nodes went back to the heap in slabs that the allocator
  // may keep; the miner's arrays are better placed in the room they leave.
  malloc_trim(0);
#endif
  const int most = ws.recorder.lengths().max;
  const int f = static_cast<int>(input.position.size());
  // At threshold 0 every set of support 0 but the set of all items has a
  // superset of the same support; the others are mined at threshold 1.
  const bool full_set = threshold <= 0 && input.full_support == 0 && f <= most;
  const std::vector<int> all = full_set ? input.position : std::vector<int>();
  const int at_least = std::max(threshold, 1);
  ClosureRoot root(std::move(input), at_least, ws.settings.tuning);
  const int units = static_cast<int>(root.candidates.size());
  const bool in_units = (threads > 1 || times != nullptr) && units > 1;
  {
    // Gone before the units start: their workers have scratch of their own,
    // an entry per item each (wide data makes that the run's largest part).
    ClosureWorker worker(ws, root, at_least, most, ws.settings.tuning);
    worker.write_root();
    if (!in_units)
      for (int k = 0; k < units; ++k) {
        report_position(ws, k, units);
        worker.mine_unit(k);
      }
  }
  if (in_units) {
    ClosureUnits work(root, unit_order(root), at_least, most, ws.settings.tuning);
    run_units(work, ws, threads, times);
  }
  if (full_set) ws.recorder.found(all.data(), f, 0);
}

}  // namespace zub
