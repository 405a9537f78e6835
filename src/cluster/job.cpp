#include "cluster/job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "cluster/results.h"
#include "io/fsout.h"
#include "io/records.h"
#include "miners/closure_miner.h"
#include "run/unit_forms.h"
#include "trees/mfi_tem.h"
#include "common/threads.h"
#include "trees/mfi_tree.h"

namespace zub {

namespace {

// A pass's records kept whole in memory (the closed itemsets of rules).
class Collect final : public ItemsetSink {
 public:
  void take(std::span<const int> records) override { records_.insert(records_.end(), records.begin(), records.end()); }
  std::vector<int>& records() { return records_; }

 private:
  std::vector<int> records_;
};

// Rank 0's writer: each unit's chunks as gather_units hands them, timed.
void gather_timed(Job& job, Channel& channel, const std::function<void(int, std::span<const int>, bool)>& take) {
  gather_units(job.comm, job.plan.owner, channel, [&](int u, std::span<const int> chunk, bool ends) {
    const auto start = std::chrono::steady_clock::now();
    take(u, chunk, ends);
    job.writing += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
}

// The rank mines its units through a sender; rank 0 writes meanwhile, on a
// thread of its own. A failure of either ends the job.
void mine_and_write(Job& job, const std::vector<int>& units, const std::function<void(ResultSender&)>& mine,
                    const std::function<void(Channel&)>& write) {
  Channel channel;
  ResultSender sender(job.comm, units, job.comm.is_root() ? &channel : nullptr);
  std::thread writer;
  if (job.comm.is_root()) {
    writer = std::thread([&] {
      claim_thread_locals();
      const Failure f = attempt([&] { write(channel); });
      if (f.failed()) job.fail(f);
    });
  }
  const Failure f = attempt([&] {
    if (!units.empty()) mine(sender);
    sender.finish();
  });
  if (f.failed()) job.fail(f);
  if (writer.joinable()) writer.join();
}

int threads(const Job& job) { return job.request.threads; }
UnitTimes* times(Job& job) { return job.timed ? &job.times : nullptr; }

// The plan of the same units for other numbers of ranks, each rank's
// units, estimates and positions received, to the file ZUB_MPI_PLANS names
// (rank 0; for bench/cluster_sim's runs of more ranks than there are).
void write_plans(const Job& job, const std::vector<int>& positions) {
  const char* path = std::getenv("ZUB_MPI_PLANS");
  if (path == nullptr || !job.comm.is_root()) return;
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return;
  std::fprintf(f, "ranks rank units estimate received\n");
  for (int ranks = 1; ranks <= 1024; ranks *= 2) {
    Comm other;
    other.size = ranks;
    const UnitPlan plan = plan_units(other, positions, job.positions.work, *job.positions.volumes, job.order.frequent());
    for (int r = 0; r < ranks; ++r) {
      long long units = 0, estimate = 0;
      for (std::size_t u = 0; u < plan.owner.size(); ++u)
        if (plan.owner[u] == r) ++units, estimate += plan.estimate[u];
      const long long received = plan.received[static_cast<std::size_t>(r)];
      std::fprintf(f, "%d %d %lld %lld %lld\n", ranks, r, units, estimate, received);
    }
  }
  std::fclose(f);
}

UnitPlan plan_for(Job& job, std::vector<int> positions) {
  write_plans(job, positions);
  return plan_units(job.comm, std::move(positions), job.positions.work, *job.positions.volumes, job.order.frequent());
}

// The units of a positional pass: unit u is position f-1-u, down to `lowest`.
std::vector<int> walk_positions(int f, int lowest) {
  std::vector<int> positions;
  for (int p = f - 1; p >= lowest; --p) positions.push_back(p);
  return positions;
}

void exchange_and_build(Job& job, bool whole, std::unique_ptr<LocalTree>& tree) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  const Failure f = attempt([&] { tree = std::make_unique<LocalTree>(job.order, job.request.tuning); });
  if (f.failed()) job.fail(f);
  tree->ws->progress = job.request.progress;  // rank 0's, with --progress
  exchange(job.comm, job.positions, job.plan, whole, *tree, threads(job));
  job.received = tree->received;
  job.building = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  job.building_cpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
}

void mine_all(Job& job) {
  job.plan = plan_for(job, walk_positions(job.order.frequent(), 0));
  std::unique_ptr<LocalTree> local;
  exchange_and_build(job, false, local);
  mine_and_write(job, job.plan.mine, [&](ResultSender& sender) {
    local->finish();
    Workspace& ws = *local->ws;
    ws.recorder.start(&sender, job.request.lengths);
    FP_growth_in_units(ws, *local->tree, threads(job), times(job), job.plan.mine);
    ws.recorder.flush();
    job.counters = ws.trees.counters;
  }, [&](Channel& channel) {
    gather_timed(job, channel,
                 [&](int, std::span<const int> records, bool) { job.written->pass_on(records); });
  });
}

void mine_maximal(Job& job) {
  const int f = job.order.frequent();
  const LengthLimits& lengths = job.request.lengths;
  // As one process: the whole database's single prefix goes onto every
  // stack, unless a length limit is below the items.
  const int prefix = f <= lengths.max ? job.positions.prefix.length() : 0;
  if (prefix == f) {  // one path: its items are the one maximal itemset
    if (job.comm.is_root()) {
      std::vector<int> all = walk_positions(f, 0);
      std::reverse(all.begin(), all.end());
      job.written->found(all.data(), f, job.order.supports[static_cast<std::size_t>(f - 1)]);
      job.written->flush();
    }
    return;
  }
  job.plan = plan_for(job, walk_positions(f, prefix));
  std::unique_ptr<LocalTree> local;
  exchange_and_build(job, false, local);
  FI_tree& tree = *local->tree;
  Workspace& ws = *local->ws;
  stack& list = ws.recorder.itemset;
  for (int k = 0; k < prefix; ++k) list.items[list.len++] = k;
  // A tree that received nothing was built as one batch: removing a prefix
  // it lacks only renumbers its positions.
  tree.remove_single_prefix(prefix);
  memory pool(kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2), written_pool(kResultPoolBlocks,
                                                                                     kResultPoolFirst, kResultPoolUnit, 2);
  MFI_tree* root = pool.take<MFI_tree>(1);
  root->init(&pool, &tree, nullptr, kNoMnode, prefix - 1);
  mfi_tem tem;
  ws.trees.mfi_list = &tem;
  tem.init(&ws.trees, &pool, f);
  ws.recorder.open_mfi_trees();
  ws.recorder.mfi_trees[static_cast<std::size_t>(prefix)] = root;
  // Rank 0's writer commits against the run's tree from a thread of its
  // own: the tree works in scratch of its own, not in the miners'.
  Workspace writer_ws(local->settings, f);
  FI_tree writer_view(tree, writer_ws.trees);
  MFI_tree* committed = written_pool.take<MFI_tree>(1);
  committed->init(&written_pool, &writer_view, nullptr, kNoMnode, prefix - 1);
  const MaximalLevel level = job.request.method == MaximalMethod::projected ? MaximalLevel::projected
                                                                              : MaximalLevel::lookahead;
  mine_and_write(job, job.plan.mine, [&](ResultSender& sender) {
    local->finish();
    ws.recorder.start(&sender, lengths);
    mine_maximal_in_units(ws, tree, *root, level, threads(job), times(job), job.plan.mine);
    ws.recorder.flush();
    job.counters = ws.trees.counters;
  }, [&](Channel& channel) {
    std::vector<int> found;
    gather_timed(job, channel, [&](int u, std::span<const int> records, bool ends) {
      found.insert(found.end(), records.begin(), records.end());
      for_each_record(records, [&](const int*, int, int) { ++job.candidates; });
      if (!ends) return;
      commit_maximal_unit(*committed, prefix, f - 1 - u, found, *job.written);
      found.clear();
    });
  });
}

// The closure miner's candidates: the frequent ranks (rare first) outside
// the root's closure, as ClosureRoot makes them; their positions.
std::vector<int> candidate_positions(const ItemOrder& order) {
  const int f = order.frequent();
  std::vector<int> positions;
  for (int r = 0; r < f; ++r) {
    const int s = order.supports[static_cast<std::size_t>(f - 1 - r)];
    const bool in_closure = order.transactions > 0 && s == order.transactions;
    if (!in_closure && s >= std::max(order.threshold, 1)) positions.push_back(f - 1 - r);
  }
  return positions;
}

// The closed itemsets outside the units: the root's closure and, at
// threshold 0, the set of every item.
void closed_ends(const Job& job, Recorder& out, bool first) {
  const int f = job.order.frequent();
  std::vector<int> items;
  for (int r = 0; r < f; ++r) {
    const int p = f - 1 - r;
    const bool in_closure = job.order.transactions > 0 && job.order.supports[static_cast<std::size_t>(p)] == job.order.transactions;
    if (first ? in_closure : true) items.push_back(p);
  }
  if (first) {
    if (!items.empty() && static_cast<int>(items.size()) <= out.lengths().max)
      out.found(items.data(), static_cast<int>(items.size()), job.order.transactions);
  } else if (job.order.threshold <= 0 && job.positions.full == 0 && f <= out.lengths().max) {
    out.found(items.data(), f, 0);
  }
}

std::unique_ptr<ClosureRoot> closure_root(Job& job, LocalTree& local) {
  const int f = job.order.frequent();
  ClosedInput input = read_main_tree(*local.tree, job.order.transactions, true);
  input.full_support = static_cast<int>(job.positions.full);
  std::vector<int> by_rank(static_cast<std::size_t>(f));
  for (int r = 0; r < f; ++r) by_rank[static_cast<std::size_t>(r)] = job.order.supports[static_cast<std::size_t>(f - 1 - r)];
  return std::make_unique<ClosureRoot>(std::move(input), std::max(job.order.threshold, 1),
                                       local.settings.tuning, by_rank);
}

void mine_closed(Job& job) {
  const std::vector<int> positions = candidate_positions(job.order);
  job.plan = plan_for(job, positions);
  std::unique_ptr<LocalTree> local;
  exchange_and_build(job, true, local);
  std::unique_ptr<ClosureRoot> root;
  const Failure f = attempt([&] { root = closure_root(job, *local); });
  if (f.failed()) job.fail(f);
  Workspace& ws = *local->ws;
  mine_and_write(job, job.plan.mine, [&](ResultSender& sender) {
    ws.recorder.start(&sender, job.request.lengths);
    mine_closure_units(*root, ws, std::max(job.order.threshold, 1), threads(job), times(job), job.plan.mine);
    ws.recorder.flush();
    job.counters = ws.trees.counters;
  }, [&](Channel& channel) {
    closed_ends(job, *job.written, true);
    job.written->flush();
    gather_timed(job, channel,
                 [&](int, std::span<const int> records, bool) { job.written->pass_on(records); });
    closed_ends(job, *job.written, false);
    job.written->flush();
  });
}

void mine_rules(Job& job) {
  const int f = job.order.frequent();
  // One plan for both passes, by position: a rank gets whole transactions
  // and mines the closure units and the all-itemset units of its positions.
  job.plan = plan_for(job, walk_positions(f, 0));
  std::unique_ptr<LocalTree> local;
  exchange_and_build(job, true, local);
  Workspace& ws = *local->ws;
  ClosedSupports closed(f);
  long long closed_count = 0;
  const Failure failed = attempt([&] {
    std::unique_ptr<ClosureRoot> root = closure_root(job, *local);
    restore_main_tree(*local->tree);
    std::vector<int> units;  // this rank's candidates
    const std::vector<int> positions = candidate_positions(job.order);
    for (std::size_t k = 0; k < positions.size(); ++k)
      if (job.plan.owner_of_position[static_cast<std::size_t>(positions[k])] == job.comm.rank)
        units.push_back(static_cast<int>(k));
    Collect found;
    ws.recorder.start(&found, LengthLimits{});
    if (job.comm.is_root()) closed_ends(job, ws.recorder, true);
    if (!units.empty()) mine_closure_units(*root, ws, std::max(job.order.threshold, 1), threads(job), nullptr, units);
    if (job.comm.is_root()) closed_ends(job, ws.recorder, false);
    ws.recorder.flush();
    root.reset();
    // Every rank holds every closed itemset, as one process does.
    for (int r = 0; r < job.comm.size; ++r) {
      std::vector<int> theirs;
      if (r == job.comm.rank) theirs.swap(found.records());
      broadcast(job.comm, theirs, r, Round::closed);
      closed.take(theirs);
    }
    closed_count = static_cast<long long>(closed.size());
    closed.index();
  });
  if (failed.failed()) job.fail(failed);
  RuleSettings settings = job.options.rule;
  settings.transactions = job.order.transactions;
  mine_and_write(job, job.plan.mine, [&](ResultSender& sender) {
    local->finish();
    RuleMaking making(closed, settings, StopFlag{}, job.rules, sender);
    ws.recorder.start(&making, LengthLimits{std::max(2, job.request.lengths.min), job.request.lengths.max});
    FP_growth_in_units(ws, *local->tree, threads(job), times(job), job.plan.mine);
    ws.recorder.flush();
    job.counters = ws.trees.counters;
  }, [&](Channel& channel) {
    gather_timed(job, channel, [&](int, std::span<const int> ints, bool) {
      for_each_packed_rule(ints, [&](const FoundRule& rule) {
        const std::size_t length = rule.antecedent.size() + rule.consequent.size();
        if (job.rule_lengths.size() < length) job.rule_lengths.resize(length);
        ++job.rule_lengths[length - 1];
        job.writer->take(rule);
      });
    });
  });
  job.rules.closed = job.comm.is_root() ? closed_count : 0;
}

}  // namespace

void mine_job(Job& job) {
  if (job.order.frequent() == 0) return;
  if (job.options.rules)
    mine_rules(job);
  else if (job.request.target == MiningTarget::all)
    mine_all(job);
  else if (job.request.target == MiningTarget::maximal)
    mine_maximal(job);
  else
    mine_closed(job);
}

}  // namespace zub
