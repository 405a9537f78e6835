#pragma once
// The units of each target, for the scheduler (units.h): how a pass
// splits, in which order its units are taken and committed, and how a
// worker mines one. Why each union is exact is told in ARCHITECTURE.md.
// - All itemsets: a unit is a position of the main tree (the itemsets whose
//   least frequent item is its), in the one-thread walk's order: the bytes
//   are the one-thread run's.
// - Closed itemsets (the closure miner): a unit is a child of the root
//   closure, the largest child databases first.
// - Maximal itemsets (both methods): a unit is a position of the main tree,
//   in the walk's order; its candidates are kept, and committed in order
//   against the run's MFI-tree.
#include <span>
#include <vector>

#include "miners/closed_db.h"
#include "run/unit_times.h"
#include "trees/mnode.h"

namespace zub {

class FI_tree;
class MFI_tree;
class Recorder;
class Workspace;
struct ClosureRoot;

enum class MaximalLevel { lookahead, projected };

// The all-itemsets miner over the main tree's positions (mined by `ws`).
// With `only`, just those units (their numbers in the walk's order,
// ascending): a process of a distributed run mines its own.
void FP_growth_in_units(Workspace& ws, FI_tree& tree, int threads, UnitTimes* times,
                        std::span<const int> only = {});
// A maximal miner over the main tree's positions, against the root MFI-tree.
void mine_maximal_in_units(Workspace& ws, FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads,
                           UnitTimes* times, std::span<const int> only = {});
// Commits a maximal unit mined elsewhere (its item `item`, its records
// sorted as a unit's are, the first `prefix` items of each the run's
// prefix) against `root`, of which it knew nothing: the itemsets no path
// of `root` through the item holds are entered and passed to `out`.
void commit_maximal_unit(MFI_tree& root, int prefix, int item, std::vector<int>& found, Recorder& out);
// Drops from `found` the itemsets that a path of `root` through `item`
// made at node `copied` or later holds; `copied` becomes the next node.
void drop_held_by(const MFI_tree& root, int prefix, int item, MnodeRef& copied, std::vector<int>& found);
// The closed itemsets of `input` by the closure miner, into ws's recorder:
// the root's children as units on several threads (or with `times`), one
// after another on the calling thread otherwise.
void mine_closed_by_closure(ClosedInput input, Workspace& ws, int threshold, int threads, UnitTimes* times);
// The root's children `units` (candidate numbers, mined and written in that
// order) into ws's recorder, on `threads` workers.
void mine_closure_units(const ClosureRoot& root, Workspace& ws, int threshold, int threads, UnitTimes* times,
                        std::span<const int> units);

}  // namespace zub
