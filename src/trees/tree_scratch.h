#pragma once
// What the trees of one mining thread work in: the pool and node store of
// its conditional trees, the scratch of their builds and walks, the tail
// of the position being mined with its supports, the work counters, and
// what the miner hands them: the itemset under construction (which the
// subset checks read and the pattern-base walks give their supports) and
// the temporary MFI list that the MFI-trees' subset checks rebuild. A
// worker's Workspace (miners/workspace.h) is one, with what the miners add.
#include <memory>
#include <vector>

#include "common/settings.h"
#include "memory/memory.h"
#include "memory/zeroed_array.h"
#include "trees/node_store.h"
#include "trees/stack.h"

namespace zub {

struct Fnode;
class mfi_tem;

// A node being built on, and its number.
struct BuildStep {
  Fnode* node;
  NodeRef ref;
};

// The run's work counters, reported by zub's run log and zub-mine --stats.
struct Counters {
  int subset_checks = 0;
  int projections = 0;  // conditional trees built
};

struct BuildScratch {             // of building a tree
  // The nodes of the itemset inserted last, by number only: 4 bytes an item
  // of a path that may be a million items long.
  ZeroedArray<NodeRef> trail;
  ZeroedArray<int> paths;         // prefix paths climbed in lock-step (a tree's items per lane)
  std::vector<Fnode*> chain;      // a parent's chain, loaded for a build
  ZeroedArray<int> positions;     // one transaction's or path's positions
  ZeroedArray<int> depth_nodes;   // nodes made per depth, for the level statistics
};

class TreeScratch {
 public:
  // For the trees of a main tree of `frequent_items` items, whose miner
  // builds its itemsets in `itemset`.
  TreeScratch(const Settings& settings, int frequent_items, stack& itemset);
  TreeScratch(const TreeScratch&) = delete;
  TreeScratch& operator=(const TreeScratch&) = delete;

  const Settings& settings;
  const int frequent;  // items of the main tree: the largest item id + 1
  memory pool;         // the conditional trees' records and arrays ...
  NodeStore nodes;     // ... and nodes, both marked and rolled back per tree
  stack& itemset;      // the miner's itemset under construction
  Counters counters;
  // By position or by length, an entry per item of the main tree: zeroed
  // pages that take memory only where a thread's trees reach.
  ZeroedArray<int> supp;  // the tail's supports by position, all zero between positions
  ZeroedArray<int> tail;  // the tail's item ids, ascending position
  ZeroedArray<bool> flags;  // by item id or position, all false between uses
  BuildScratch build;
  ZeroedArray<int> entry_positions;  // one itemset's positions being entered into an MFI-tree
  mfi_tem* mfi_list = nullptr;       // rebuilt by the MFI-trees' subset checks (the maximal miners')
  int max_width = 0;  // the longest chain of the main tree: no conditional tree's is longer
};

// What a conditional tree takes from the scratch's pool and node store goes
// back when the scope that marked them ends.
class TreeMark {
 public:
  explicit TreeMark(TreeScratch& s) : pool_(s.pool), pool_mark_(PoolMark::take(s.pool)), nodes_(s.nodes) {}
  ~TreeMark() { pool_mark_.roll_back(pool_); }
  TreeMark(const TreeMark&) = delete;
  TreeMark& operator=(const TreeMark&) = delete;

 private:
  memory& pool_;
  PoolMark pool_mark_;
  NodeStore::Mark nodes_;
};

}  // namespace zub
