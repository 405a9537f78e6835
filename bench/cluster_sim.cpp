// Plans distributed runs beyond the machines at hand: from one rank's run
// of zub-mine-mpi (its --stats, its unit times, and the plans of the same
// units for 1 to 1024 ranks that ZUB_MPI_UNIT_TIMES and ZUB_MPI_PLANS
// write), predicts the time of N ranks on a database `scale` times larger
// of the same kind (at the same share as minimum support), over links of
// 10 Gbit/s with 50 us latency.
//
// The model of a rank: it reads its share (the measured reading, over N);
// the counting, the order and the plan's tables go through collectives;
// it receives its positions (the plan's count for N ranks, times the
// scale) at the measured build time per position, and over the link; it
// mines its run of units (their measured times, times the scale: a unit's
// projected database grows with the transactions while its itemsets stay,
// so linear is the upper end); rank 0 writes the results as measured (the
// itemsets do not grow with the transactions) after receiving them. The
// run takes its slowest rank plus rank 0's writing, which the model does
// not overlap with the mining (an upper bound).
//
//   zub_cluster_sim <stats> <unit times> <plans> <transactions measured> [<scale>...]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kBandwidth = 10e9 / 8;  // bytes a second
constexpr double kLatency = 50e-6;

struct Measured {
  double reading = 0, building = 0, writing = 0, received = 0;
  double result_bytes = 0;  // the records rank 0 gets
  double order_bytes = 0;   // the broadcasts and tables of the order round
  std::vector<double> unit_seconds;  // by unit, in the walk's order
};

double number_after(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key);
  return at == std::string::npos ? -1 : std::atof(line.c_str() + at + key.size());
}

Measured read_measured(const char* stats, const char* units) {
  Measured m;
  std::ifstream in(stats);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("wall time reading: ", 0) == 0) m.reading = number_after(line, ": ");
    if (line.rfind("rank 0 writing: ", 0) == 0) m.writing = number_after(line, ": ");
    if (line.rfind("rank 0: ", 0) == 0) {
      m.building = number_after(line, "exchange and tree ");
      m.received = number_after(line, "positions received ");
      m.order_bytes = number_after(line, "order ");
    }
    // "  of length L: N" counts the itemsets: each a record of L + 2 ints.
    if (line.rfind("  of length ", 0) == 0) m.result_bytes += 4 * (number_after(line, "length ") + 2) * number_after(line, ": ");
  }
  std::ifstream u(units);
  std::string header;
  std::getline(u, header);
  std::map<int, double> by_unit;
  for (int unit, position, rank; u >> unit >> position >> rank;) {
    long long estimate;
    double seconds;
    u >> estimate >> seconds;
    by_unit[unit] = seconds;
  }
  for (const auto& [unit, seconds] : by_unit) m.unit_seconds.push_back(seconds);
  return m;
}

struct RankPlan {
  long long units = 0;
  double received = 0;
};

std::map<int, std::vector<RankPlan>> read_plans(const char* path) {
  std::map<int, std::vector<RankPlan>> plans;
  std::ifstream in(path);
  std::string header;
  std::getline(in, header);
  for (int ranks, rank; in >> ranks >> rank;) {
    RankPlan p;
    long long estimate;
    in >> p.units >> estimate >> p.received;
    plans[ranks].push_back(p);
  }
  return plans;
}

struct Prediction {
  double seconds = 0;
  const char* limit = "";
};

Prediction predict(const Measured& m, const std::vector<RankPlan>& plan, double scale) {
  const int n = static_cast<int>(plan.size());
  const double per_position = m.received > 0 ? m.building / m.received : 0;
  const double steps = std::ceil(std::log2(std::max(n, 1)));
  // Counting, order and plan: gathers and broadcasts of small tables.
  const double collectives = 8 * steps * kLatency + 2 * m.order_bytes / kBandwidth;
  double slowest = 0;
  const char* limit = "reading";
  std::size_t unit = 0;
  double total_received = 0;
  for (const RankPlan& p : plan) total_received += p.received * scale;
  for (const RankPlan& p : plan) {
    double mining = 0, largest = 0;
    for (long long k = 0; k < p.units && unit < m.unit_seconds.size(); ++k, ++unit) {
      mining += m.unit_seconds[unit] * scale;
      largest = std::max(largest, m.unit_seconds[unit] * scale);
    }
    const double reading = m.reading * scale / n;
    const double building = p.received * scale * per_position;
    // Ints of the positions and a length each (a transaction has about 8),
    // in and out of the rank; rounds of 16 MB of its share, each an
    // exchange with every rank.
    const double bytes = 4.5 * std::max(p.received * scale, total_received / n);
    const double rounds = std::ceil(m.received * scale / n * 4.5 / (16 << 20));
    const double network = (n > 1 ? bytes / kBandwidth : 0) + rounds * (n - 1) * kLatency;
    const double t = reading + collectives + building + network + mining;
    if (t > slowest) {
      slowest = t;
      const double most = std::max({reading, building, network, mining});
      limit = most == reading    ? "reading"
              : most == building ? "the tree of the rank of rare items"
              : most == network  ? "the network"
              : largest >= 0.5 * mining ? "the largest unit"
                                        : "mining";
    }
  }
  const double gathering = m.result_bytes / kBandwidth + m.writing;
  if (gathering > 0.25 * slowest) limit = "rank 0's gathering and writing";
  return {slowest + gathering, limit};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: zub_cluster_sim <stats> <unit times> <plans> <transactions measured> [<scale>...]\n");
    return 2;
  }
  const Measured m = read_measured(argv[1], argv[2]);
  const auto plans = read_plans(argv[3]);
  const double measured = std::atof(argv[4]);
  std::vector<double> targets;
  for (int a = 5; a < argc; ++a) targets.push_back(std::atof(argv[a]));
  if (targets.empty()) targets = {1e8, 1e9};
  if (plans.count(1) == 0 || m.unit_seconds.empty()) {
    std::fprintf(stderr, "cluster_sim: no one-rank plan or no unit times\n");
    return 1;
  }
  std::printf("measured: reading %.2f s, exchange and tree %.2f s (%.0f positions), units %zu, writing %.2f s\n",
              m.reading, m.building, m.received, m.unit_seconds.size(), m.writing);
  for (double transactions : targets) {
    const double scale = transactions / measured;
    const double one = predict(m, plans.at(1), scale).seconds;
    std::printf("%.0f transactions: 1 rank %.1f s\n  ranks  seconds  efficiency  limit\n", transactions, one);
    for (int n : {4, 16, 64, 256}) {
      if (plans.count(n) == 0) continue;
      const Prediction p = predict(m, plans.at(n), scale);
      std::printf("  %5d  %7.1f  %9.0f%%  %s\n", n, p.seconds, 100 * one / (n * p.seconds), p.limit);
    }
  }
  return 0;
}
