#include "cluster/plan.h"

#include <algorithm>

namespace zub {

Volumes::Volumes(int items, bool whole)
    : items_(items), whole_(whole), side_(static_cast<std::size_t>(items) + 1) {
  if (items > kPlannedItems) return;
  gaps_.assign(side_ * side_, 0);
  below_.assign(side_, 0);
}

void Volumes::add(const int* t, int k) {
  if (gaps_.empty()) return;
  for (int j = 0; j <= k; ++j) gap(j > 0 ? t[j - 1] : -1, j < k ? t[j] : items_) += whole_ ? k : j;
  if (whole_) {
    below_[0] += k;
  } else {
    for (int j = 0; j < k; ++j) ++below_[static_cast<std::size_t>(t[j]) + 1];
  }
}

void Volumes::sum_over(Comm& comm) {
  if (gaps_.empty()) return;
  MPI_Allreduce(MPI_IN_PLACE, gaps_.data(), static_cast<int>(gaps_.size()), MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  MPI_Allreduce(MPI_IN_PLACE, below_.data(), static_cast<int>(below_.size()), MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  comm.count(Round::order, static_cast<long long>((gaps_.size() + below_.size()) * 8));
  for (std::size_t x = 0; x < side_; ++x) {
    long long* row = &gaps_[x * side_];
    for (std::size_t y = side_ - 1; y-- > 0;) row[y] += row[y + 1];
    if (x > 0)
      for (std::size_t y = 0; y < side_; ++y) row[y] += gaps_[(x - 1) * side_ + y];
  }
  if (!whole_)
    for (std::size_t b = 1; b < side_; ++b) below_[b] += below_[b - 1];
}

long long Volumes::received(int a, int b) const {
  // Every transaction's cut (or all of it), less those with no item in
  // [a, b): a gap from below a to b or above.
  const long long all = whole_ ? below_[0] : below_[static_cast<std::size_t>(b)];
  return all - gaps_[static_cast<std::size_t>(a) * side_ + static_cast<std::size_t>(b)];
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
  for (std::size_t u = 0; u < units; ++u) {
    plan.owner_of_position[static_cast<std::size_t>(plan.position[u])] = plan.owner[u];
    if (plan.owner[u] == comm.rank) plan.mine.push_back(static_cast<int>(u));
  }
  return plan;
}

}  // namespace zub
