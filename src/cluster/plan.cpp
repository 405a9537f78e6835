#include "cluster/plan.h"

#include <algorithm>

namespace zub {

Volumes::Volumes(int items, bool whole)
    : items_(items), whole_(whole), side_(static_cast<std::size_t>(items) + 1) {
  if (items > kPlannedItems) return;
  gaps_.assign(side_ * side_, 0);
}

void Volumes::add(const int* t, int k, const std::vector<char>& frequent_pair, long long weight) {
  if (gaps_.empty()) return;
  all_ += k * weight;
  for (int i = 0; i < k; ++i) {
    const char* paired =
        frequent_pair.empty() ? nullptr : &frequent_pair[static_cast<std::size_t>(t[i]) * static_cast<std::size_t>(items_)];
    int before = -1;
    for (int j = whole_ ? 0 : i; j < k; ++j) {
      if (j != i && paired != nullptr && paired[t[j]] == 0) continue;
      gap(before, t[j]) += weight;
      before = t[j];
    }
    gap(before, items_) += weight;
  }
}

void Volumes::sum_over(Comm& comm) {
  if (gaps_.empty()) return;
  MPI_Allreduce(MPI_IN_PLACE, gaps_.data(), static_cast<int>(gaps_.size()), MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  MPI_Allreduce(MPI_IN_PLACE, &all_, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  comm.count(Round::order, static_cast<long long>((gaps_.size() + 1) * 8));
  for (std::size_t x = 0; x < side_; ++x) {
    long long* row = &gaps_[x * side_];
    for (std::size_t y = side_ - 1; y-- > 0;) row[y] += row[y + 1];
    if (x > 0)
      for (std::size_t y = 0; y < side_; ++y) row[y] += gaps_[(x - 1) * side_ + y];
  }
}

long long Volumes::received(int a, int b) const {
  // Every position, less those with no link in [a, b): a gap from below a
  // to b or above.
  return all_ - gaps_[static_cast<std::size_t>(a) * side_ + static_cast<std::size_t>(b)];
}

UnitPlan plan_units(const Comm& comm, std::vector<int> unit_positions, const std::vector<long long>& work,
                    const Volumes& volumes, int items) {
  UnitPlan plan;
  plan.position = std::move(unit_positions);
  const std::size_t units = plan.position.size();
  plan.owner.assign(units, 0);
  plan.estimate.resize(units);
  for (std::size_t u = 0; u < units; ++u) plan.estimate[u] = work[static_cast<std::size_t>(plan.position[u])];
  // The cost of the run of units first .. last (positions descending).
  auto cost = [&](std::size_t first, std::size_t last, long long estimates) {
    const long long received = volumes.known() ? volumes.received(plan.position[last], plan.position[first] + 1) : 0;
    return received + estimates / kEstimatesPerPosition;
  };
  // The runs when none may cost more than `most`; false when more runs than ranks are needed.
  auto cut = [&](long long most, bool assign) {
    int runs = 0;
    for (std::size_t u = 0; u < units; ++runs) {
      long long estimates = plan.estimate[u];
      std::size_t v = u;
      while (v + 1 < units && cost(u, v + 1, estimates + plan.estimate[v + 1]) <= most) estimates += plan.estimate[++v];
      if (assign)
        for (std::size_t w = u; w <= v; ++w) plan.owner[w] = std::min(runs, comm.size - 1);
      u = v + 1;
    }
    return runs <= comm.size;
  };
  if (units > 0) {
    long long low = 0, high = 0, all = 0;
    for (std::size_t u = 0; u < units; ++u) {
      low = std::max(low, cost(u, u, plan.estimate[u]));
      all += plan.estimate[u];
    }
    high = std::max(low, cost(0, units - 1, all));
    while (low < high) {
      const long long mid = low + (high - low) / 2;
      if (cut(mid, false))
        high = mid;
      else
        low = mid + 1;
    }
    cut(low, true);
  }
  plan.owner_of_position.assign(static_cast<std::size_t>(items), -1);
  plan.received.assign(static_cast<std::size_t>(comm.size), 0);
  for (std::size_t u = 0, first = 0; u < units; ++u) {
    plan.owner_of_position[static_cast<std::size_t>(plan.position[u])] = plan.owner[u];
    if (plan.owner[u] == comm.rank) plan.mine.push_back(static_cast<int>(u));
    if (u + 1 < units && plan.owner[u + 1] == plan.owner[u]) continue;
    if (volumes.known())  // the run first .. u ends here
      plan.received[static_cast<std::size_t>(plan.owner[u])] = volumes.received(plan.position[u], plan.position[first] + 1);
    first = u + 1;
  }
  return plan;
}

}  // namespace zub
