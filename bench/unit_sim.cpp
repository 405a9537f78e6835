// Plans parallel runs beyond the cores at hand: mines a file in units on one
// worker, timing each unit, then computes what the run's scheduler would
// take with W workers. The model: reading takes what it took; units are
// taken in order, each by the first worker that is free (as the workers
// take them); a maximal unit's commit starts once the unit is mined and the
// unit before it is committed, one at a time. What the model leaves out:
// with more workers a maximal unit's copy holds less (so it mines a little
// more), and the workers share memory bandwidth and caches.
//
//   zub_unit_sim <maximal|closed|all> <file> <minsup> [-j N] [<workers>...]
//
// -j N mines on N threads while timing: the sum of the units' times against
// one thread's shows what the units cost more when they run side by side.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <queue>
#include <string>
#include <vector>

#include "io/data.h"
#include "io/fsout.h"
#include "run/run.h"

namespace {

struct Plan {
  double total = 0;       // seconds from the start of the reading to the last commit
  double mining_end = 0;  // when the last unit is mined
  double commit_end = 0;  // when the last unit is committed
};

Plan plan(const zub::UnitTimes& t, double reading, int workers) {
  std::priority_queue<double, std::vector<double>, std::greater<>> free_at;
  for (int w = 0; w < workers; ++w) free_at.push(reading);
  Plan p;
  double committed = reading;
  for (std::size_t u = 0; u < t.mine.size(); ++u) {
    const double start = free_at.top();
    free_at.pop();
    const double end = start + t.mine[u];
    free_at.push(end);
    p.mining_end = std::max(p.mining_end, end);
    committed = std::max(committed, end) + t.commit[u];
  }
  p.commit_end = committed;
  p.total = std::max(p.mining_end, p.commit_end);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: zub_unit_sim <maximal|closed|all> <file> <minsup> [<workers>...]\n");
    return 2;
  }
  const std::string target = argv[1];
  zub::RunRequest request;
  request.target = target == "closed" ? zub::MiningTarget::closed
                   : target == "all"  ? zub::MiningTarget::all
                                      : zub::MiningTarget::maximal;
  request.min_support.count = std::atoi(argv[3]);
  zub::UnitTimes times;
  request.unit_times = &times;
  std::vector<int> workers;
  for (int a = 4; a < argc; ++a) {
    if (std::string(argv[a]) == "-j" && a + 1 < argc)
      request.threads = std::atoi(argv[++a]);
    else
      workers.push_back(std::atoi(argv[a]));
  }
  if (workers.empty()) workers = {1, 2, 4, 8, 16, 64};

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  zub::Run run(request);
  zub::Data data(argv[2]);
  if (!data.isOpen()) {
    std::fprintf(stderr, "%s could not be opened!\n", argv[2]);
    return 1;
  }
  run.read(data);
  const double reading = std::chrono::duration<double>(Clock::now() - start).count();
  zub::FSout out("/dev/null");  // formatted as a real run formats, then dropped
  out.set_order(run.items().file_id.data());
  const zub::RunReport report = run.mine(out);
  out.close();
  const double whole = std::chrono::duration<double>(Clock::now() - start).count();

  double mined = 0, committed = 0, largest = 0;
  for (double s : times.mine) mined += s, largest = std::max(largest, s);
  for (double s : times.commit) committed += s;
  std::printf("%s %s %s on %d threads: %lld itemsets, %zu units; reading %.3f s, units %.3f s (largest %.3f s), commits %.3f s, "
              "run %.3f s\n",
              target.c_str(), argv[2], argv[3], request.threads, report.itemsets, times.mine.size(), reading, mined, largest, committed,
              whole);
  const double one = plan(times, reading, 1).total;
  std::printf("workers  seconds  speed-up  limit\n");
  for (int w : workers) {
    const Plan p = plan(times, reading, w);
    const char* limit = p.commit_end > p.mining_end + 1e-9     ? "commits"
                        : largest >= (p.total - reading) * 0.9 ? "largest unit"
                        : reading >= (p.total - reading)       ? "reading"
                                                               : "units";
    std::printf("%7d  %7.3f  %8.2f  %s\n", w, p.total, one / p.total, limit);
  }
  return 0;
}
