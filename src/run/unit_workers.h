#pragma once
// The workers of a parallel run over units: each has its own workspace
// (sized like the run's, its itemset starting as the run's) and its own
// output, whose text reaches the run's output in the order of the units
// (OrderedOutput). A run's sink gets the itemsets in that order too, one
// call at a time, from whichever worker's thread writes them out.
// run(mine) calls mine(worker, slot) for slots 0..units-1 on the workers;
// the caller maps a slot to its unit. Afterwards the workers' itemset and
// work counts are added to the run's workspace.
#include <functional>
#include <memory>
#include <vector>

#include "miners/workspace.h"
#include "io/fsout.h"
#include "run/ordered_output.h"

namespace zub {

// A worker's workspace: sized like `ws`, its itemset starting as ws's.
std::unique_ptr<Workspace> worker_workspace(const Workspace& ws);

class UnitWorkers {
 public:
  UnitWorkers(Workspace& ws, int units, int threads);
  int size() const { return static_cast<int>(workers_.size()); }
  Workspace& workspace(int worker) { return *workers_[static_cast<std::size_t>(worker)].ws; }
  void run(const std::function<void(int worker, int slot)>& mine);

 private:
  struct Worker {
    std::unique_ptr<Workspace> ws;
    std::unique_ptr<FSout> out;
    int index = 0;             // among the workers
    int slot = 0;              // the unit being mined, by its place in the order
    std::vector<int> records;  // for a sink: (length, ids..., support) each
  };
  void send_records(Worker& w);
  // Hands the records in `bytes` to the run's sink; a record may be split
  // between two calls.
  void replay(const char* bytes, std::size_t n);
  Workspace& ws_;
  const int units_;
  OrderedOutput ordered_;
  std::vector<Worker> workers_;
  std::vector<char> carry_;  // the start of a record split by replay's input
};

}  // namespace zub
