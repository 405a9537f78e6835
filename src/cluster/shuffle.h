#pragma once
// From each rank's share to the transactions its units need.
// 1. The second pass reads the share as main-tree positions (each
//    transaction's frequent items, ascending) and counts the pairs; summed
//    over the ranks, they give each unit's size (the transactions of its
//    item cut to the items before it frequent with it; without the pairs,
//    to the items before it) and the volumes that runs of units receive.
// 2. The units go to the ranks in contiguous runs (plan.h).
// 3. Each rank sends each of its transactions once to every rank that mines
//    a unit of one of its items: cut after the last such item (the units of
//    all and maximal itemsets read nothing beyond their own item), or for
//    closed itemsets and rules with the rarer items that are frequent
//    together with one of the rank's items in it (the closure miner's
//    units need those as blockers), in rounds of a bounded size, each
//    transaction cut once a round into a buffer per receiving rank.
// 4. Each rank builds its main tree from what it received, with the whole
//    database's item order (LocalTree).
#include <cstdint>
#include <memory>
#include <vector>

#include "cluster/comm.h"
#include "cluster/order.h"
#include "cluster/plan.h"
#include "cluster/share.h"
#include "common/settings.h"
#include "memory/memory.h"
#include "miners/workspace.h"
#include "trees/fi_tree.h"
#include "trees/node_store.h"

namespace zub {

// The single prefix of a main tree (the nodes from the root down that are
// their parents' only child), from transactions seen one by one and from
// the summaries of other ranks.
class PrefixPath {
 public:
  void add(const int* positions, int k);
  void merge(const PrefixPath& other);
  int length() const { return static_cast<int>(path_.size()); }
  std::vector<int> encode() const;
  static PrefixPath decode(const std::vector<int>& ints);

 private:
  std::vector<int> path_;
  bool branches_ = false;  // the tree has two children below the path's end
};

struct Positions {
  // Each transaction: its length, then its positions ascending; in chunks
  // of a round's size, each given back once sent.
  std::vector<std::vector<int>> tx;
  std::vector<long long> work;   // by position: the size of its unit, here, then in all
  long long full = 0;            // transactions that hold every frequent item
  PrefixPath prefix;
  std::unique_ptr<Volumes> volumes;  // what runs of units would receive
  std::vector<char> frequent_pair;   // by position x position, up to 1024 items (else empty)
};

// The second pass over the share, for a target whose units get their
// transactions whole or cut; the failure of any rank (the file changed
// since the first pass) is agreed on. Collective.
Failure read_positions(Comm& comm, Share& share, const ItemOrder& order, const PassDigest& first, bool whole,
                       Positions& out);

// A rank's main tree: the transactions it receives, in the whole
// database's item order; its header supports are the received ones (the
// whole database's for the positions it mines).
struct LocalTree {
  LocalTree(const ItemOrder& order, const Tuning& tuning);
  // The links dropped and the chains made, as before any miner.
  void finish();
  Settings settings;
  memory pool{kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2};
  NodeStore nodes;
  MainPairs pairs;
  FI_tree* tree = nullptr;
  std::unique_ptr<Workspace> ws;
  long long received = 0;  // positions, in transactions
};

// Sends the share's transactions to the ranks whose units need them and
// builds `tree` from what this rank receives (on `threads` threads) once
// every round is in; empties the share. Collective; a failure ends the job.
void exchange(Comm& comm, Positions& share, const UnitPlan& plan, bool whole, LocalTree& tree, int threads);

}  // namespace zub
