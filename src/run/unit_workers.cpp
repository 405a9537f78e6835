#include "run/unit_workers.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "run/run_units.h"

namespace zub {

namespace {

constexpr std::size_t kRecordsSent = std::size_t(1) << 14;  // ints a worker gathers before it sends them

}  // namespace

std::unique_ptr<Workspace> worker_workspace(const Workspace& ws) {
  auto w = std::make_unique<Workspace>(ws.settings, ws.frequent);
  w->size_lookahead(ws.max_width);
  w->itemset.len = ws.itemset.len;
  std::copy(ws.itemset.items, ws.itemset.items + ws.itemset.len, w->itemset.items);
  return w;
}

UnitWorkers::UnitWorkers(Workspace& ws, int units, int threads)
    : ws_(ws),
      units_(units),
      ordered_(
          [this](const char* bytes, std::size_t n) {
            if (ws_.out->has_sink())
              replay(bytes, n);
            else
              ws_.out->write_bytes(bytes, n);
          },
          units, std::max(1, threads)),
      workers_(static_cast<std::size_t>(std::max(1, threads))) {
  for (std::size_t k = 0; k < workers_.size(); ++k) {
    Worker& w = workers_[k];
    w.index = static_cast<int>(k);
    w.ws = worker_workspace(ws);
    if (ws.out->discards()) {
      w.out = std::make_unique<FSout>();
    } else if (ws.out->has_sink()) {
      w.out = std::make_unique<FSout>([this, &w](std::span<const int> ids, int support) {
        w.records.push_back(static_cast<int>(ids.size()));
        w.records.insert(w.records.end(), ids.begin(), ids.end());
        w.records.push_back(support);
        if (w.records.size() >= kRecordsSent) send_records(w);
      });
      w.out->copy_tables(*ws.out);
    } else {
      w.out = std::make_unique<FSout>(
          [this, &w](const char* bytes, std::size_t n) { ordered_.write(w.slot, w.index, bytes, n); }, *ws.out);
    }
    w.ws->out = w.out.get();
  }
}

void UnitWorkers::send_records(Worker& w) {
  if (w.records.empty()) return;
  ordered_.write(w.slot, w.index, reinterpret_cast<const char*>(w.records.data()), w.records.size() * sizeof(int));
  w.records.clear();
}

void UnitWorkers::replay(const char* bytes, std::size_t n) {
  carry_.insert(carry_.end(), bytes, bytes + n);
  std::size_t at = 0;
  std::vector<int> record;
  auto int_at = [&](std::size_t k) {
    int v;
    std::memcpy(&v, carry_.data() + at + k * sizeof(int), sizeof(int));
    return v;
  };
  while (carry_.size() - at >= sizeof(int)) {
    const auto length = static_cast<std::size_t>(int_at(0));
    if (carry_.size() - at < (length + 2) * sizeof(int)) break;
    record.resize(length);
    for (std::size_t k = 0; k < length; ++k) record[k] = int_at(1 + k);
    ws_.out->sink()(record, int_at(1 + length));
    at += (length + 2) * sizeof(int);
  }
  carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(at));
}

void UnitWorkers::run(const std::function<void(int worker, int slot)>& mine) {
  run_units(units_, size(), [&](int worker, int slot) {
    Worker& w = workers_[static_cast<std::size_t>(worker)];
    w.slot = slot;
    w.ws->itemset.len = ws_.itemset.len;  // each unit starts from the run's itemset
    mine(worker, slot);
    w.out->flush();
    send_records(w);
    ordered_.finish(slot);
  }, ws_.settings.unit_times != nullptr ? &ws_.settings.unit_times->mine : nullptr);
  if (ws_.settings.unit_times != nullptr) ws_.settings.unit_times->commit.assign(static_cast<std::size_t>(units_), 0.0);
  for (const Worker& w : workers_) {
    for (std::size_t n = 0; n < ws_.lengths.size(); ++n) ws_.lengths[n] += w.ws->lengths[n];
    ws_.counters.projections += w.ws->counters.projections;
    ws_.counters.subset_checks += w.ws->counters.subset_checks;
  }
}

}  // namespace zub
