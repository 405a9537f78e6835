#include "parallel/unit_workers.h"

#include <algorithm>

#include "parallel/run_units.h"

namespace zub {

UnitWorkers::UnitWorkers(Workspace& ws, int units, int threads)
    : ws_(ws), units_(units), ordered_(*ws.out, units), workers_(static_cast<std::size_t>(std::max(1, threads))) {
  for (Worker& w : workers_) {
    w.ws = std::make_unique<Workspace>(ws.settings, ws.frequent);
    w.ws->size_lookahead(ws.max_width);
    w.ws->itemset.len = ws.itemset.len;
    std::copy(ws.itemset.items, ws.itemset.items + ws.itemset.len, w.ws->itemset.items);
    if (ws.out->discards())
      w.out = std::make_unique<FSout>();
    else
      w.out = std::make_unique<FSout>([this, &w](const char* bytes, std::size_t n) { ordered_.write(w.slot, bytes, n); },
                                      *ws.out);
    w.ws->out = w.out.get();
  }
}

void UnitWorkers::run(const std::function<void(int worker, int slot)>& mine) {
  run_units(units_, size(), [&](int worker, int slot) {
    Worker& w = workers_[static_cast<std::size_t>(worker)];
    w.slot = slot;
    w.ws->itemset.len = ws_.itemset.len;  // each unit starts from the run's itemset
    mine(worker, slot);
    w.out->flush();
    ordered_.finish(slot);
  });
  for (const Worker& w : workers_) {
    for (std::size_t n = 0; n < ws_.lengths.size(); ++n) ws_.lengths[n] += w.ws->lengths[n];
    ws_.counters.projections += w.ws->counters.projections;
    ws_.counters.subset_checks += w.ws->counters.subset_checks;
  }
}

}  // namespace zub
