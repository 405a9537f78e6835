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
#include "miners/closed_db.h"
#include "run/unit_times.h"

namespace zub {

class FI_tree;
class MFI_tree;
class Workspace;

enum class MaximalLevel { lookahead, projected };

// The all-itemsets miner over the main tree's positions (mined by `ws`).
void FP_growth_in_units(Workspace& ws, FI_tree& tree, int threads, UnitTimes* times);
// A maximal miner over the main tree's positions, against the root MFI-tree.
void mine_maximal_in_units(Workspace& ws, FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads,
                           UnitTimes* times);
// The closed itemsets of `input` by the closure miner, into ws's recorder:
// the root's children as units on several threads (or with `times`), one
// after another on the calling thread otherwise.
void mine_closed_by_closure(ClosedInput input, Workspace& ws, int threshold, int threads, UnitTimes* times);

}  // namespace zub
