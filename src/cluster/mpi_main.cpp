// zub-mine-mpi: zub-mine's command line over MPI, started by mpirun. Every
// rank reads the arguments; rank 0 reports what is wrong with them, once.
// Then the rounds (cluster/*.h): the input planned, each rank's share
// counted, the item order decided and broadcast, the second pass and the
// plan of units, the transactions exchanged, the units mined and written by
// rank 0. A failure that every rank reaches together is agreed on and
// printed by rank 0; one in the middle of the mining ends the job from the
// failing rank. Only rank 0 writes the output, as a temporary that takes
// the output's place once every rank has finished.
#include <mpi.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "cluster/comm.h"
#include "cluster/job.h"
#include "cluster/order.h"
#include "cluster/share.h"
#include "cluster/shuffle.h"
#include "common/run_error.h"
#include "driver/driver.h"
#include "driver/mine_cli.h"
#include "driver/program_heap.h"
#include "io/fsout.h"
#include "io/output_file.h"

namespace zub {

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The command line's checks; rank 0 prints. -1: go on.
int check_arguments(const Comm& comm, int argc, char** argv, MineOptions& o, MinSupport& minsup) {
  std::string why;
  const char* usage = kMineUsage + std::strlen("usage: zub-mine");
  // The layouts of zub-mine's --separator, --header and --input single are
  // not cut into byte ranges: a quoted field may hold a line feed, a header
  // is one rank's, a transaction of the single layout spans lines.
  const auto layouts = [&] {
    if (o.separator == 0 && !o.header && !o.single) return false;
    why = "--separator, --header and --input single are read by zub-mine only; zub-mine-mpi reads a transaction a "
          "line (ids, or words with --names)";
    return true;
  };
  if (!parse_mine_options(argc, argv, o, why) ||
      (!o.help && !o.version && (layouts() || !parse_mine_minsup(o.positional[1].c_str(), minsup, why)))) {
    if (comm.is_root()) std::fprintf(stderr, "zub-mine-mpi: %s\nusage: mpirun [-np N] zub-mine-mpi%s\n", why.c_str(), usage);
    return kExitUsage;
  }
  if (o.help || o.version) {
    if (comm.is_root()) {
      if (o.help) {
        std::printf("Run as: mpirun [-np N] [--hostfile FILE] zub-mine-mpi ...; each rank reads and mines a share.\n");
        print_mine_help(stdout);
      } else {
        std::printf("zub-mine-mpi %s\n", ZUB_VERSION);
      }
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFile;
  }
  return -1;
}

// Rank 0 refuses an output that is the input file or one of its parts.
Failure check_output(const MineOptions& o, const InputPlan& plan) {
  if (is_input_overwritten(o)) return {kExitFile, o.positional[2] + " is the input file; it would be overwritten!"};
  if (o.positional.size() == 3 && o.positional[2] != "-")
    for (const InputFile& f : plan.files)
      if (is_same_file(f.path.c_str(), o.positional[2].c_str()))
        return {kExitFile, o.positional[2] + " is an input file; it would be overwritten!"};
  return {};
}

// What --stats tells of each rank: units, their estimated size, positions
// received (and as planned), mining seconds, processor seconds (in all, and
// in the reading, the exchange and tree, and the mining with rank 0's
// writing), peak resident memory and bytes sent by round.
void print_ranks(const Comm& comm, const Job& job, double mining, double reading, std::FILE* err) {
  struct rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::vector<long long> mine{static_cast<long long>(job.plan.mine.size()), 0, static_cast<long long>(mining * 1e3),
                              usage.ru_maxrss, job.received,
                              (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
                                  (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000,
                              static_cast<long long>(job.building * 1e3), static_cast<long long>(job.writing * 1e3),
                              job.plan.received.empty() ? 0 : job.plan.received[static_cast<std::size_t>(comm.rank)],
                              static_cast<long long>(reading * 1e3), static_cast<long long>(job.building_cpu * 1e3)};
  for (int u : job.plan.mine) mine[1] += job.plan.estimate[static_cast<std::size_t>(u)];
  mine.insert(mine.end(), comm.sent.begin(), comm.sent.end());
  std::vector<long long> all(mine.size() * static_cast<std::size_t>(comm.size));
  MPI_Gather(mine.data(), static_cast<int>(mine.size()), MPI_LONG_LONG, all.data(), static_cast<int>(mine.size()),
             MPI_LONG_LONG, 0, MPI_COMM_WORLD);
  if (!comm.is_root()) return;
  for (int r = 0; r < comm.size; ++r) {
    const long long* v = all.data() + static_cast<std::size_t>(r) * mine.size();
    const long long* sent = v + 11;
    std::fprintf(err,
                 "rank %d: units %lld (estimated size %lld), positions received %lld (planned %lld), exchange and "
                 "tree %.3f s, mining %.3f s, processor time %.3f s (reading %.3f, exchange and tree %.3f, mining %.3f), peak "
                 "memory %.1f MB, bytes sent: counting %lld, order %lld, transactions %lld, results %lld, closed "
                 "itemsets %lld\n",
                 r, v[0], v[1], v[4], v[8], static_cast<double>(v[6]) / 1e3, static_cast<double>(v[2] - v[6]) / 1e3,
                 static_cast<double>(v[5]) / 1e3, static_cast<double>(v[9]) / 1e3, static_cast<double>(v[10]) / 1e3,
                 static_cast<double>(v[5] - v[9] - v[10]) / 1e3, static_cast<double>(v[3]) / 1024, sent[0], sent[1],
                 sent[2], sent[3], sent[4]);
    if (r == 0) std::fprintf(err, "rank 0 writing: %.3f s\n", static_cast<double>(v[7]) / 1e3);
  }
}

// Each unit's rank, estimate and mining seconds, to the file named by
// ZUB_MPI_UNIT_TIMES (for bench/unit_sim's plans of larger runs).
void write_unit_times(const Comm& comm, const Job& job, const char* path) {
  std::vector<double> mine;
  for (std::size_t k = 0; k < job.plan.mine.size() && k < job.times.mine.size(); ++k) {
    mine.push_back(job.plan.mine[k]);
    mine.push_back(job.times.mine[k]);
  }
  int n = static_cast<int>(mine.size());
  std::vector<int> sizes(static_cast<std::size_t>(comm.size)), offsets(static_cast<std::size_t>(comm.size));
  MPI_Gather(&n, 1, MPI_INT, sizes.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
  int total = 0;
  for (int r = 0; r < comm.size; ++r) offsets[static_cast<std::size_t>(r)] = total, total += sizes[static_cast<std::size_t>(r)];
  std::vector<double> all(static_cast<std::size_t>(comm.is_root() ? total : 0));
  MPI_Gatherv(mine.data(), n, MPI_DOUBLE, all.data(), sizes.data(), offsets.data(), MPI_DOUBLE, 0, MPI_COMM_WORLD);
  if (!comm.is_root()) return;
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return;
  std::fprintf(f, "unit position rank estimate seconds\n");
  for (std::size_t k = 0; k + 1 < all.size(); k += 2) {
    const auto u = static_cast<std::size_t>(all[k]);
    std::fprintf(f, "%zu %d %d %lld %.6f\n", u, job.plan.position[u], job.plan.owner[u], job.plan.estimate[u], all[k + 1]);
  }
  std::fclose(f);
}

int run(Comm& comm, const MineOptions& o, const MinSupport& minsup) {
  const std::clock_t cpu_start = std::clock();
  const Clock::time_point started = Clock::now();
  PhaseTimes wall;
  auto report = [&](const Failure& f) {
    if (comm.is_root()) std::fprintf(stderr, "%s\n", f.message.c_str());
    return f.status;
  };
  InputPlan plan;
  Failure f = plan_input(comm, o.positional[0], plan);
  if (f.failed()) return report(f);
  if (comm.is_root()) f = check_output(o, plan);
  if ((f = agree(comm, f)).failed()) return report(f);
  // --progress: rank 0's reading of its share and mining of its units.
  const std::unique_ptr<Progress> progress = o.progress && comm.is_root() ? progress_line(stderr) : nullptr;
  Share share(comm, plan, o.names);
  if ((f = share.open()).failed()) return report(f);
  Job job(comm, o, mine_request(o, minsup));
  job.request.progress = progress.get();
  ItemCounts counts;
  f = attempt([&] {
    if (RangeShare* ranges = share.ranges()) {
      counts = ranges->count(job.request.tuning, job.request.threads, progress.get());
      share.note_first_pass(*ranges);
      return;
    }
    std::unique_ptr<Data> data = share.pass();
    if (!data->isOpen()) throw RunError(kExitFile, share.name() + " could not be opened!");
    counts = count_items(*data, progress.get());
    share.note_first_pass(*data);
  });
  if ((f = agree(comm, share.name_failure(f))).failed()) return report(f);
  if ((f = decide_order(comm, counts, share, o.names, minsup, job.request.tuning, job.order)).failed()) return report(f);
  int text[2] = {share.has_ids() ? 1 : 0, share.words_without_ids() ? 1 : 0};
  MPI_Allreduce(MPI_IN_PLACE, text, 2, MPI_INT, MPI_LOR, MPI_COMM_WORLD);
  if (comm.is_root() && text[0] == 0 && text[1] != 0)
    std::fprintf(stderr, "no item ids found; for items given as words use --names\n");
  const PassDigest first = counts.digest;
  counts = ItemCounts();
  const bool whole = o.rules || o.target == MiningTarget::closed;  // the closure miner's units need all items
  if ((f = read_positions(comm, share, job.order, first, whole, job.positions)).failed()) return report(f);
  wall.reading = since(started);

  // Rank 0's output, opened once the input is read.
  std::unique_ptr<OutputFile> file;
  std::unique_ptr<FSout> writer;
  if (comm.is_root()) {
    const bool to_stdout = o.positional.size() < 3 || o.positional[2] == "-";
    f = attempt([&] {
      writer = to_stdout ? std::make_unique<FSout>(stdout, "standard output") : open_output(o.positional[2].c_str(), file);
      if (writer == nullptr || !writer->isOpen()) throw RunError(kExitFile, o.positional[2] + " could not be opened!");
      writer->set_order(job.order.file_id.data());
      if (o.names) writer->set_names(&job.order.names);
      writer->set_style(mine_line_style(o, job.order.transactions));
      job.written = std::make_unique<Recorder>(std::max(job.order.frequent(), 1));
      job.written->start(writer.get(), o.rules ? LengthLimits{} : job.request.lengths);
    });
  }
  if ((f = agree(comm, f)).failed()) return report(f);
  job.writer = writer.get();
  job.fail = [&](const Failure& failure) {
    file.reset();  // rank 0's temporary goes before the job ends
    abort_job(comm, failure.message, failure.status);
  };
  // Rank 0's environment decides, so that every rank joins the gathering.
  const char* times_path = std::getenv("ZUB_MPI_UNIT_TIMES");
  int timed = times_path != nullptr;
  MPI_Bcast(&timed, 1, MPI_INT, 0, MPI_COMM_WORLD);
  job.timed = timed != 0;
  const Clock::time_point mining = Clock::now();
  const double reading_cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  mine_job(job);
  const double mined = since(mining);

  // Every rank is done: the sums for --stats, then rank 0 commits.
  double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  long long sums[4] = {job.counters.subset_checks, job.counters.projections, job.rules.itemsets, job.rules.rules};
  MPI_Allreduce(MPI_IN_PLACE, &cpu, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  MPI_Allreduce(MPI_IN_PLACE, sums, 4, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  if (job.timed) write_unit_times(comm, job, times_path);
  if (o.stats) print_ranks(comm, job, mined, reading_cpu, stderr);
  if (!comm.is_root()) return kExitOk;
  f = attempt([&] {
    writer->close();
    if (file != nullptr) file->commit();
  });
  if (f.failed()) return report(f);
  wall.mining = since(mining);
  if (!o.stats) return kExitOk;
  Counters counters;
  counters.subset_checks = static_cast<int>(sums[0]);
  counters.projections = static_cast<int>(sums[1]);
  const StatsHead head{job.order.transactions, job.order.threshold, job.order.frequent(), job.request.threads,
                       comm.size};
  const std::vector<long long>& lengths = job.written->tally();
  if (o.rules) {
    print_mine_stats(head, [&] {
      std::fprintf(stderr, "closed itemsets: %lld\nfrequent itemsets split: %lld\nrules: %lld\n", job.rules.closed,
                   sums[2], sums[3]);
    }, job.rule_lengths, counters, cpu, wall, stderr);
  } else {
    print_mine_stats(head, [&] {
      std::fprintf(stderr, "itemsets: %lld\n", job.written->recorded());
      if (job.request.target == MiningTarget::maximal) std::fprintf(stderr, "candidates sent: %lld\n", job.candidates);
    }, lengths, counters, cpu, wall, stderr);
  }
  return kExitOk;
}

}  // namespace

}  // namespace zub

int main(int argc, char** argv) {
  zub::set_program_heap();
  std::signal(SIGPIPE, SIG_DFL);
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_MULTIPLE, &provided);
  zub::Comm comm;
  MPI_Comm_rank(MPI_COMM_WORLD, &comm.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &comm.size);
  int status = zub::kExitOk;
  if (!zub::has_memory_to_run()) {
    std::fprintf(stderr, "rank %d: Not enough memory!\n", comm.rank);
    status = zub::kExitMemory;
  } else if (provided < MPI_THREAD_SERIALIZED) {
    if (comm.is_root()) std::fprintf(stderr, "zub-mine-mpi: the MPI library does not let threads call it\n");
    status = zub::kExitFile;
  } else {
    zub::MineOptions options;
    zub::MinSupport minsup;
    status = zub::check_arguments(comm, argc, argv, options, minsup);
    if (status < 0) {
      const zub::Failure f = zub::attempt([&] { status = zub::run(comm, options, minsup); });
      if (f.failed()) zub::abort_job(comm, f.message, f.status);
    }
  }
  MPI_Finalize();
  return status;
}
