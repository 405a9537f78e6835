// Plans the main tree's reading beyond the cores at hand: reads a file as a
// run does (both passes in byte ranges, the build from strings), timing each
// range and build task by its thread's processor time, then computes what W
// threads would take. The model: each step's pieces are taken in order, each
// by the first thread that is free; the steps that run on one thread (adding
// up the counts, the build's layout) take what they took; a step starts when
// the one before has ended. What it leaves out: the threads share memory
// bandwidth and caches, so the pieces cost more side by side (run it with
// -j N to see how much, against one thread's sums).
//
//   zub_read_sim <file> <minsup> [-j N] [<threads>...]
//
// Prints the file's bytes, the main tree's nodes, each step's summed processor time, the counting
// pass's bytes per second per core, and per W the planned seconds, the
// speed-up and what limits it.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <queue>
#include <string>
#include <vector>

#include "io/data.h"
#include "run/run.h"
#include "trees/fi_tree.h"

namespace {

// The end of the last piece when `threads` threads take them in order.
double makespan(const std::vector<double>& pieces, int threads) {
  std::priority_queue<double, std::vector<double>, std::greater<>> free_at;
  for (int w = 0; w < threads; ++w) free_at.push(0.0);
  double end = 0;
  for (double p : pieces) {
    const double start = free_at.top();
    free_at.pop();
    free_at.push(start + p);
    end = std::max(end, start + p);
  }
  return end;
}

double sum(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zub_read_sim <file> <minsup> [-j N] [<threads>...]\n");
    return 2;
  }
  zub::RunRequest request;
  request.min_support.count = std::atoi(argv[2]);
  request.threads = 1;
  zub::ReadTimes t;
  request.read_times = &t;
  std::vector<int> plans;
  for (int a = 3; a < argc; ++a) {
    if (std::string(argv[a]) == "-j" && a + 1 < argc)
      request.threads = std::atoi(argv[++a]);
    else
      plans.push_back(std::atoi(argv[a]));
  }
  if (plans.empty()) plans = {1, 2, 4, 8, 16};
  struct stat st {};
  if (stat(argv[1], &st) != 0) {
    std::fprintf(stderr, "%s could not be opened!\n", argv[1]);
    return 1;
  }
  zub::Run run(request);
  zub::Data data(argv[1]);
  run.read(data);

  const double bytes = static_cast<double>(st.st_size);
  const double count = sum(t.count), collect = sum(t.collect), gather = sum(t.gather), sort = sum(t.sort),
               build = sum(t.build);
  std::printf("%s at %s on %d threads: %.0f MB, %zu ranges, %zu build units\n", argv[1], argv[2], request.threads,
              bytes / 1e6, t.count.size(), t.sort.size());
  const zub::FI_tree& tree = run.main_tree();
  const auto nodes = static_cast<double>(tree.store().mark() - tree.root_ref());
  std::printf("main tree: %.0f nodes of %zu bytes (%.1f MB), %.2f per transaction\n", nodes, sizeof(zub::Fnode),
              nodes * sizeof(zub::Fnode) / 1e6, nodes / run.settings().transactions);
  std::printf("processor s: count %.3f, merge %.3f, collect %.3f, gather %.3f, sort %.3f, layout %.3f, build %.3f\n",
              count, t.merge, collect, gather, sort, t.layout, build);
  std::printf("counting pass: %.2f GB/s per core; second pass's reading: %.2f GB/s per core\n", bytes / count / 1e9,
              bytes / collect / 1e9);
  auto plan = [&](int w) {
    return makespan(t.count, w) + t.merge + makespan(t.collect, w) + makespan(t.gather, w) + makespan(t.sort, w) +
           t.layout + makespan(t.build, w);
  };
  const double one = plan(1);
  std::printf("threads  seconds  speed-up  one-thread steps  largest piece  limit\n");
  for (int w : plans) {
    const double s = plan(w), serial = t.merge + t.layout;
    double largest = 0;
    for (const auto* v : {&t.count, &t.collect, &t.gather, &t.sort, &t.build})
      for (double x : *v) largest = std::max(largest, x);
    const char* limit = serial >= 0.25 * s ? "one-thread steps" : largest >= 0.25 * s ? "largest piece" : "pieces";
    std::printf("%7d  %7.3f  %8.2f  %16.3f  %13.3f  %s\n", w, s, one / s, serial, largest, limit);
  }
  return 0;
}
