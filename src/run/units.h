#pragma once
// The one scheduler of units of work, for every target. A pass split into
// units (independent pieces of the mining, each target forms its own in
// unit_forms.cpp) runs them on N workers: the calling thread and N - 1
// threads, each with its own workspace and recorder. Workers take the units
// in their order from a counter; each recorder hands its unit's itemsets
// to the worker's unit buffer, and the buffers reach the run's recorder in
// the units' order, so that the output does not depend on timing:
// - a streaming unit (all and closed itemsets) writes through while it is
//   the first unfinished unit; the others' records are kept in memory until
//   their turn, beyond Tuning::kept_records_bytes in a temporary file. One
//   thread at a time writes, without the lock: while it does, the others go
//   on mining and keep what they find, the head unit's too, and the writer
//   takes that in turn before it gives writing up (a slow destination then
//   costs one thread, not all of them);
// - a kept unit (maximal itemsets) is kept whole: its worker finishes it
//   (sorts and filters its candidates) and it is committed, one unit at a
//   time in order, by the work's commit().
// The run's recorder is told each unit's turn before the unit's records
// reach it (Recorder::begin_unit), for a sink that sends each unit's
// records elsewhere (a distributed run's, src/cluster/results.h).
// A thread that cannot be created leaves the units to the workers that
// could start (the calling thread at least). The first exception of any
// worker stops the taking of units and is rethrown once all have stopped.
#include <vector>

#include "miners/workspace.h"
#include "run/unit_times.h"

namespace zub {

class UnitWork {
 public:
  virtual ~UnitWork() = default;
  virtual int units() const = 0;
  virtual bool streams() const = 0;
  // Worker w's state, made before any worker starts, w counting from 0.
  virtual void add_worker(Workspace& ws) = 0;
  // Whether a unit is still to be mined when a worker takes it.
  virtual bool wanted(int unit) const {
    (void)unit;
    return true;
  }
  // Mines a unit into the worker's recorder.
  virtual void mine(int worker, int unit) = 0;
  // A kept unit's records, on its worker once it is mined.
  virtual void finish(int unit, std::vector<int>& records) {
    (void)unit;
    (void)records;
  }
  // Hands a kept unit's records on in its turn, one unit at a time; leaves
  // in `records` those it handed on.
  virtual void commit(int unit, std::vector<int>& records, Recorder& out) {
    (void)unit;
    out.pass_on(records);
  }
};

// Runs every unit of `work` on `threads` workers made like `ws` (its
// itemset their start); the itemsets reach ws.recorder, whose counts they
// join, and the workers' work counters join ws's. With `times`, each unit's
// mining and commit are timed.
void run_units(UnitWork& work, Workspace& ws, int threads, UnitTimes* times);

// A worker's workspace: sized like `ws`, its itemset starting as ws's.
std::unique_ptr<Workspace> worker_workspace(const Workspace& ws);

}  // namespace zub
