#pragma once
// The mining of a distributed run once the item order is known: the units
// of the target, the plan, the exchange of transactions, each rank's tree
// and units, and rank 0's writing in the one-process unit order.
// - All itemsets: unit u is position f-1-u (the walk's order); the bytes
//   are zub-mine --threads 1's.
// - Maximal: the same positions, below the whole database's single prefix
//   (on every rank's stack, as one process takes it); each rank commits
//   its units against its own MFI-tree, rank 0 commits every unit again, in
//   order, against the run's (the ranks know nothing of each other's).
// - Closed: the closure miner's root children by candidate number (zub-mine
//   --threads 1's order); each rank's root has the whole database's supports
//   and the occurrences of what it received; rank 0 writes the root's set
//   first and the set of all items (threshold 0) last.
// - Rules: the closed pass as above, its itemsets broadcast so that every
//   rank holds all of them (as one process does); then each rank makes the
//   rules of its all-itemset units and sends the rules.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cluster/comm.h"
#include "cluster/order.h"
#include "cluster/shuffle.h"
#include "driver/mine_cli.h"
#include "miners/recorder.h"
#include "rules/mine_rules.h"
#include "run/unit_times.h"

namespace zub {

struct Job {
  Job(Comm& c, const MineOptions& o, const RunRequest& r) : comm(c), options(o), request(r) {}
  Comm& comm;
  const MineOptions& options;
  RunRequest request;
  ItemOrder order;
  Positions positions;  // the share, until sent
  UnitPlan plan;
  // Rank 0: where the lines go (the writer's recorder counts them).
  FSout* writer = nullptr;
  // Called on a failure in the middle of the mining: ends the job.
  std::function<void(const Failure&)> fail;
  // What the run found, for --stats (rank 0's after the sums).
  std::unique_ptr<Recorder> written;
  RuleReport rules;
  std::vector<long long> rule_lengths;  // rank 0: the rules written by the items of X u Y, - 1
  Counters counters;
  UnitTimes times;  // of this rank's units
  long long received = 0;  // positions this rank's tree was built from
  long long candidates = 0;  // rank 0, maximal: itemsets the ranks sent, before the run's filter
  double building = 0;       // seconds of the exchange and the tree's build
  double building_cpu = 0;   // the same in processor seconds
  double writing = 0;        // rank 0: seconds its writer spent on the results, waits left out
  bool timed = false;
};

// Everything after the second pass. Collective.
void mine_job(Job& job);

}  // namespace zub
