#pragma once
// The one run sequence of zub, zub-mine and the embedding API: read the
// database (two passes) into the main FP-tree, then mine it for a target,
// recording every itemset through an output that the caller opens between
// the two. The callers differ in what they make of the report.
#include <memory>
#include <optional>
#include <vector>

#include "trees/item_map.h"
#include "common/settings.h"
#include "common/fraction.h"
#include "memory/zeroed_array.h"
#include "miners/workspace.h"
#include "run/unit_times.h"
#include "trees/mnode.h"
#include "trees/read_times.h"

namespace zub {

class Data;
class Progress;
class ItemsetSink;
class RecordStage;
class FI_tree;
class MFI_tree;
class CFI_tree;
class mfi_tem;
struct MainTree;

enum class MiningTarget { maximal, closed, all };
enum class MaximalMethod { lookahead /* Mine_Max, as zub runs it */, projected /* Mine_Max_Projected */ };
enum class ClosedMethod { closure /* src/closed/, closure extension */, cfi_tree /* Mine_Closed */ };

// A minimum support as given: a count, or a share of the transactions that
// becomes a count once they are counted.
struct MinSupport {
  int count = 0;
  std::optional<Fraction> share;
  int resolve(int transactions) const { return share ? share->share_of(transactions) : count; }
};

struct RunRequest {
  MinSupport min_support;
  MiningTarget target = MiningTarget::maximal;
  MaximalMethod method = MaximalMethod::lookahead;
  ClosedMethod closed_method = ClosedMethod::closure;
  Tuning tuning;
  LengthLimits lengths;  // of the itemsets written
  int threads = 1;       // workers of the miners that mine in units
  UnitTimes* unit_times = nullptr;  // when set, they mine in units on any number and time each
  ReadTimes* read_times = nullptr;  // when set, the reading's ranges and tasks are timed
  Progress* progress = nullptr;  // told where the run is, when given
  StopFlag stop;                 // ends the run early when set
};

// What the mining found beside the itemsets.
struct RunReport {
  long long itemsets = 0;
  std::vector<long long> lengths;  // itemsets by length - 1
  bool single_path = false;        // the main tree was one path, written as one itemset
  int items_mined = 0;             // frequent items left after the single prefix
  Counters counters;
};

class Run {
 public:
  explicit Run(const RunRequest& request);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Reads `data` (open at its start) twice, building the main tree, and
  // closes it. Throws RunError.
  void read(Data& data);
  const ItemMap& items() const { return items_; }
  const Settings& settings() const { return settings_; }
  int frequent() const { return items_.frequent(); }
  int threads() const { return request_.threads; }
  // Mines the main tree for the request's target and hands every itemset to
  // `out`, as records of main-tree positions (a writer maps them to ids
  // through items()). Nothing when no item is frequent. Throws RunError.
  RunReport mine(ItemsetSink& out);
  // One of several passes over the main tree: mines it for `target` and
  // `lengths` (not the request's); a pass that keeps the tree leaves it
  // for the next (the closure miner otherwise gives it back).
  // With a stage (all itemsets only: the units stream their records), each
  // mining thread's itemsets go through the stage's sink for that thread,
  // and only what it makes reaches `out`, in the units' order.
  struct Pass {
    MiningTarget target;
    LengthLimits lengths;
    bool keeps_tree = false;
    RecordStage* stage = nullptr;
  };
  RunReport mine(ItemsetSink& out, const Pass& pass);

  // For tests of single operations: the built state, and after prepare()
  // (which mine() calls) the root result tree. The closure miner gives the
  // main tree back: after its mine() there is none.
  FI_tree& main_tree() const;
  Workspace& workspace() const { return *ws_; }
  // The maximal target takes the single prefix onto the stack, unless told not to.
  void prepare(bool take_prefix = true);
  MFI_tree* root_mfi() const { return root_mfi_; }
  CFI_tree* root_cfi() const { return root_cfi_; }
  int single_prefix() const { return single_prefix_; }

 private:
  void prepare_for(MiningTarget target, bool take_prefix);
  void prepare_maximal(bool take_prefix);
  void prepare_closed();
  void finish_main_tree();
  void mine_closed_by_closure(bool keep_tree);
  void mine_target(MiningTarget target);
  void mine_maximal_walk(FI_tree& tree);

  RunRequest request_;
  Settings settings_;
  ItemMap items_;
  std::unique_ptr<MainTree> main_;
  std::unique_ptr<Workspace> ws_;
  int single_prefix_ = 0;
  // The root result tree, its pool and the temporary list.
  std::unique_ptr<memory> result_pool_;
  std::unique_ptr<mfi_tem> list_;
  MFI_tree* root_mfi_ = nullptr;
  ZeroedArray<MnodeRef> root_heads_, root_children_;  // root_mfi_'s by position
  CFI_tree* root_cfi_ = nullptr;
};

}  // namespace zub
