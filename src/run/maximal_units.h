#pragma once
// The maximal miners on N workers. A unit is one position of the main tree:
// the itemsets whose least frequent item is that position's. A worker mines
// a unit against a copy of the run's MFI-tree paths through the unit's item
// (what the units committed so far have found), so each itemset it finds is
// maximal within the unit but perhaps inside an itemset of a unit still being
// mined. Units are committed in the one-thread walk's order: a unit's
// itemsets inside an itemset committed before are dropped, the others are
// written (in ascending order of their items' positions: the order does not
// depend on what the unit's copy held) and entered into the run's tree.
// Only earlier units can hold a superset (a later unit's itemsets lack this
// unit's item), so what is written is exactly the one-thread answer.
#include "trees/fi_tree.h"

namespace zub {

class MFI_tree;

enum class MaximalLevel { lookahead, projected };

void mine_maximal_parallel(FI_tree& tree, MFI_tree& root, MaximalLevel level, int threads);

}  // namespace zub
