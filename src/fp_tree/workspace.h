#pragma once
// What one mining thread owns: the pool and node store of its conditional
// trees, the itemset under construction, its counters, the output it
// records to, and the scratch of each part that mines, grouped by that part.
// What all threads could share (the settings, the item map, the main tree)
// lives elsewhere and is only read through here.
#include <memory>
#include <vector>

#include "fp_tree/node_store.h"
#include "fp_tree/settings.h"
#include "fp_tree/stack.h"
#include "memory/memory.h"

namespace zub {

struct Fnode;
class MFI_tree;
class CFI_tree;
class mfi_tem;
class FSout;
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

// Scratch of building a tree (the main tree's batches and the conditional
// trees' prefix paths).
struct BuildScratch {
  std::vector<BuildStep> trail;   // the nodes of the itemset inserted last
  std::vector<int> paths;         // prefix paths climbed in lock-step
  std::vector<Fnode*> chain;      // a parent's chain, loaded for a build
  std::vector<int> positions;     // one transaction's or path's positions
  std::vector<int> depth_nodes;   // nodes made per depth, for the level statistics
};

// Scratch of the first-MFI lookahead (Max_Width entries each) and of the
// chain it shares with head extension and the conditional build.
struct LookaheadScratch {
  std::vector<Fnode*> chain;     // the head item's nodes
  std::vector<Fnode*> nodes;     // the node list
  std::vector<int> counts;
  std::vector<int> at;           // positions of the listed nodes
  std::vector<int> up;           // positions of their parents
  std::vector<int> found;        // the itemset found so far
  std::vector<int> candidates;
};

// The state of a maximal run: the MFI-trees open on the recursion path by
// registry slot (the stack index of their level's item), and the temporary
// list of recorded itemsets that hold the head item.
struct MaximalState {
  std::vector<MFI_tree*> trees;
  mfi_tem* list = nullptr;
  std::vector<int> positions;  // one itemset's positions being entered
};

struct ClosedState {
  std::vector<CFI_tree*> trees;  // the CFI-trees open on the recursion path, by slot
};

// The base step of each miner's pool ladder; a miner's later pools start
// larger once one of them came close to its block slots.
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
  // The conditional trees: their records and arrays come from the pool and
  // their nodes from the store; both are marked and rolled back per tree.
  memory pool;
  NodeStore nodes;
  stack itemset;      // the itemset under construction
  Counters counters;
  FSout* out = nullptr;  // where found itemsets go; never null while mining
  Progress* progress = nullptr;         // told of each position of `progress_tree`, when there is one
  const FI_tree* progress_tree = nullptr;
  std::vector<long long> lengths;  // itemsets found, by length - 1

  // Per position of the tree being mined: the tail and its supports.
  std::vector<int> supp;  // by position, all zero between positions
  std::vector<int> tail;  // item ids, ascending position
  // Flags by item id or position (each user says which), all false between uses.
  std::unique_ptr<bool[]> flags;
  BuildScratch build;
  LookaheadScratch lookahead;
  MaximalState maximal;
  ClosedState closed;
  std::vector<int> subsets;  // the subset being written by FP_growth's power sets
  LadderSteps ladder;
  int max_width = 0;  // the longest chain of the main tree: no chain of a conditional tree is longer
  // Sizes the lookahead's arrays for chains of up to `width` nodes.
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
