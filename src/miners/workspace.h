#pragma once
// What one mining thread owns: the pool and node store of its conditional
// trees, the itemset under construction, its counters, its output, and the
// scratch of each part that mines, grouped by part. What all threads could
// share (the settings, the item map, the main tree) lives elsewhere and is
// only read through here.
#include <memory>
#include <vector>

#include "trees/node_store.h"
#include "common/settings.h"
#include "miners/recorder.h"
#include "memory/memory.h"

namespace zub {

struct Fnode;
class MFI_tree;
class CFI_tree;
class mfi_tem;
class FI_tree;
class Progress;

// A node on the path of the transaction last inserted, and its number.
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
  std::vector<BuildStep> trail;   // the nodes of the itemset inserted last
  std::vector<int> paths;         // prefix paths climbed in lock-step
  std::vector<Fnode*> chain;      // a parent's chain, loaded for a build
  std::vector<int> positions;     // one transaction's or path's positions
  std::vector<int> depth_nodes;   // nodes made per depth, for the level statistics
};

struct LookaheadScratch {        // of the first-MFI lookahead, max_width entries each
  std::vector<Fnode*> chain;     // the head item's nodes, shared with head extension and the build
  std::vector<Fnode*> nodes;     // the node list, its counts and positions and its parents'
  std::vector<int> counts;
  std::vector<int> at;
  std::vector<int> up;
  std::vector<int> found;        // the itemset found so far
  std::vector<int> candidates;
};

struct MaximalState {
  mfi_tem* list = nullptr;       // the recorded itemsets that hold the head item
  std::vector<int> positions;    // one itemset's positions being entered
};

// Each miner's pool ladder starts one step larger once one of its pools came
// close to its block slots.
struct LadderSteps {
  int max = kLadderFirstStep;
  int projected = kLadderFirstStep;
  int closed = kLadderFirstStep;
};

class Workspace {
 public:
  Workspace(const Settings& settings, int frequent_items);

  const Settings& settings;
  const int frequent;  // items of the main tree: the largest item id + 1
  memory pool;         // the conditional trees' records and arrays ...
  NodeStore nodes;     // ... and nodes, both marked and rolled back per tree
  Recorder recorder;   // the itemset under construction, and where found ones go
  Counters counters;
  Progress* progress = nullptr;     // told of each position of progress_tree, when given
  const FI_tree* progress_tree = nullptr;

  std::vector<int> supp;  // the tail's supports by position, all zero between positions
  std::vector<int> tail;  // the tail's item ids, ascending position
  std::unique_ptr<bool[]> flags;  // by item id or position, all false between uses
  BuildScratch build;
  LookaheadScratch lookahead;
  MaximalState maximal;
  std::vector<int> subsets;  // the itemset being written by FP_growth's power sets
  LadderSteps ladder;
  int max_width = 0;  // the longest chain of the main tree: no conditional tree's is longer
  void size_lookahead(int width);
};

// What a conditional tree takes from the workspace's pool and node store
// goes back when the scope that marked them ends.
class TreeMark {
 public:
  explicit TreeMark(Workspace& ws) : pool_(ws.pool), pool_mark_(PoolMark::take(ws.pool)), nodes_(ws.nodes) {}
  ~TreeMark() { pool_mark_.roll_back(pool_); }
  TreeMark(const TreeMark&) = delete;
  TreeMark& operator=(const TreeMark&) = delete;

 private:
  memory& pool_;
  PoolMark pool_mark_;
  NodeStore::Mark nodes_;
};

}  // namespace zub
