#pragma once
// The seconds each unit of a run in units took, for planning by simulation
// (bench/unit_sim.cpp): the mining of each unit, by its place in the order
// the units are taken, and its commit (the maximal miners' filter and
// writing, done one unit at a time in that order; 0 for the other miners).
#include <vector>

namespace zub {

struct UnitTimes {
  std::vector<double> mine;
  std::vector<double> commit;
};

}  // namespace zub
