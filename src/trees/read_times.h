#pragma once
// How long each piece of the main tree's reading took, when asked for
// (RunRequest::read_times): the ranges of both passes and the tasks of the
// build from strings, as measured on however many threads the run had,
// and the steps that run on one thread. bench/read_sim.cpp simulates from
// them what more threads would take. Each is the processor time of the
// thread that did it: on a machine shared with other work, what a piece
// cost rather than how long it waited for a core.
#include <ctime>
#include <vector>

namespace zub {

// The calling thread's processor time, in seconds.
inline double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct ReadTimes {
  std::vector<double> count;    // each range of the first pass
  std::vector<double> collect;  // each range of the second pass
  std::vector<double> gather;   // the build's step 1, per root child
  std::vector<double> sort;     // step 2, per unit
  std::vector<double> build;    // step 4, per unit
  double merge = 0;             // adding up the threads' counts (one thread)
  double items = 0;             // choosing the frequent items (one thread)
  double layout = 0;            // the build's step 3 and adding up its pairs (one thread)
};

}  // namespace zub
