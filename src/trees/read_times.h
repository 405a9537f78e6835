#pragma once
// How long each piece of the main tree's reading took, when asked for
// (RunRequest::read_times): the ranges of both passes and the tasks of the
// build from strings, as measured on however many threads the run had,
// and the steps that run on one thread. bench/read_sim.cpp simulates from
// them what more threads would take.
#include <vector>

namespace zub {

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
