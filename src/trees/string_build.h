#pragma once
// The main tree built from the transactions' strings (trees/transaction_strings.h)
// on several threads, numbered depth first with each node's children by
// ascending position, the numbering a build from all transactions sorted
// at once makes, whatever the threads and however the strings were shared
// out among the readers.
//
// Units of work, each on whichever thread takes it, largest first:
// 1. per root child (first position): its strings from every reader are
//    gathered into one array, and where they are more than
//    Tuning::build_unit_bytes, spread by their next position into parts,
//    the units of the next steps;
// 2. per unit: its strings sorted, their order written back, and its nodes
//    counted (the positions of each string behind the prefix it shares with
//    the one before);
// 3. (one thread) the numbers: each root child, then its units in order,
//    each a run of numbers as long as its nodes;
// 4. per unit: its nodes written into its run, a node's count, pairs and
//    depth taken when the walk leaves it, so that every node is written once.
// Sorting a part of a root child's strings rather than the whole database
// keeps each sort in the cache, and makes nothing searched.
#include <cstddef>
#include <vector>

#include "common/stop_flag.h"
#include "common/tuning.h"
#include "memory/zeroed_array.h"

namespace zub {

class FI_tree;
class Progress;
class TransactionStrings;
struct ReadTimes;

// Builds `tree` (its root made, the rest of its store empty) from the strings
// of every share, which are given back as they are read, on `threads`
// threads. Fills depth_nodes (nodes made per depth) and adds to the tree's
// dense pair counts when it has them. The tree gets no child links. With
// `times`, each task and step is timed. Each task looks at the stop flag
// and reports the building phase (all `transactions` read) to `progress`.
void build_from_strings(FI_tree& tree, std::vector<TransactionStrings>& shares, int threads,
                        const Tuning& tuning, ZeroedArray<int>& depth_nodes, StopFlag stop, ReadTimes* times,
                        Progress* progress = nullptr, long long transactions = 0);

// The nodes below root child `first` that its strings in `strings` make.
std::size_t subtree_nodes(const TransactionStrings& strings, int first);

}  // namespace zub
