#pragma once
// What one mining thread owns: the scratch its trees work in (TreeScratch:
// the pool and node store of its conditional trees, the tail, the builds'
// scratch, the counters), its recorder (the itemset under construction and
// where found itemsets go), and the scratch of each part of the miners,
// grouped by part. What all threads share (the settings, the item map, the
// main tree) lives elsewhere and is only read through here. Nothing in it
// is touched by another thread: the units of a parallel run hand their
// itemsets over through the recorder's sink.
#include <functional>
#include <memory>
#include <vector>

#include "common/settings.h"
#include "miners/recorder.h"
#include "trees/tree_scratch.h"

namespace zub {

struct Fnode;
class FI_tree;
class Progress;

struct LookaheadScratch {        // of the first-MFI lookahead, max_width entries each
  std::vector<Fnode*> chain;     // the head item's nodes, shared with head extension and the build
  std::vector<Fnode*> nodes;     // the node list, its counts and positions and its parents'
  std::vector<int> counts;
  std::vector<int> at;
  std::vector<int> up;
  ZeroedArray<int> found;        // the itemset found so far (an entry per item, as below)
  ZeroedArray<int> candidates;
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
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const Settings& settings;
  const int frequent;  // items of the main tree: the largest item id + 1
  Recorder recorder;   // the itemset under construction, and where found ones go
  TreeScratch trees;   // what its trees work in (it refers to the recorder's itemset)

  // Where the mining is, for a progress report: tell_progress() reports it,
  // called at every position of progress_tree (a one-thread run's main
  // tree, whose positions count as done) and at every 1024th step at any
  // depth (tick()), so that a long position or unit reports too.
  std::function<void()> tell_progress;
  Progress* progress = nullptr;  // the report itself, for the scheduler's workers
  const FI_tree* progress_tree = nullptr;
  long long progress_done = 0;
  long long progress_total = 0;
  void tick() {
    if (--ticks_ == 0) [[unlikely]] {
      ticks_ = 1024;
      if (tell_progress) tell_progress();
    }
  }
  LookaheadScratch lookahead;
  ZeroedArray<int> subsets;  // the itemset being written by FP_growth's power sets
  LadderSteps ladder;
  void size_lookahead(int width);

 private:
  unsigned ticks_ = 1024;
};

}  // namespace zub
