// A run under the caller's control: the stop flag ends every entry point
// soon after it is set from another thread (itemsets of every target and
// method, rules with either consequent size, handed out or written as
// lines, on one thread and several), progress reports come from every
// thread count, and a thread that cannot be created leaves its units to
// the others instead of ending the process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "io/data.h"
#include "io/fsout.h"
#include "rules/mine_rules.h"
#include "run/units.h"
#include "support/test_support.h"
#include "zub/zub.h"

namespace zub {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Dense transactions whose itemsets (and rules) take seconds to list: 60
// items, each in about 70% of 3000 transactions.
struct Dense {
  std::vector<int> ids;
  std::vector<std::uint32_t> lengths;
  Dense() {
    std::uint32_t x = 12345;
    for (int t = 0; t < 3000; ++t) {
      std::uint32_t n = 0;
      for (int item = 0; item < 60; ++item) {
        x = x * 1103515245u + 12345u;
        if ((x >> 16) % 10 < 7) ids.push_back(item), ++n;
      }
      lengths.push_back(n);
    }
  }
  Transactions transactions() const { return {ids, lengths}; }
  std::string text() const {
    std::string t;
    std::size_t at = 0;
    for (std::uint32_t n : lengths) {
      for (std::uint32_t k = 0; k < n; ++k) t += std::to_string(ids[at++]) + " ";
      t += "\n";
    }
    return t;
  }
};

// Under the sanitizers everything takes several times longer.
#ifdef ZUB_SANITIZED
constexpr double kLatencyBound = 5.0;
#else
constexpr double kLatencyBound = 1.0;
#endif

struct Case {
  const char* name;
  Target target;
  bool rules;
  bool any_consequent;
  bool lines = false;  // rules to a text writer, their lines made on the mining threads
};

// Rules written as zub-mine writes them: a text writer's lines.
void write_rule_lines(const std::string& path, const Case& c, const RunOptions& options) {
  RunRequest request;
  request.min_support.count = 600;
  request.target = MiningTarget::all;
  request.threads = options.threads;
  request.stop = StopFlag(options.stop);
  Run run(request);
  Data data(path.c_str());
  run.read(data);
  RuleSettings settings;
  settings.min_confidence = {0, 1};
  settings.single_consequent = !c.any_consequent;
  settings.transactions = run.settings().transactions;
  FSout out("/dev/null");
  out.set_order(run.items().file_id.data());
  out.set_style(LineStyle{LineStyle::Format::csv, false, settings.transactions, true, true});
  mine_rules(run, settings, LengthLimits{}, out);
  out.close();
}

// Runs `c` on `threads`, sets the flag from another thread 0.3 s in, and
// returns the seconds from the flag to the cancellation (negative when the
// run ended another way).
double stop_latency(const Dense& db, const Case& c, int threads) {
  test::TempDir dir;
  if (c.lines) dir.write("db", db.text());
  std::atomic<bool> stop{false};
  std::atomic<long long> flagged{0};  // ns since start when set
  const Clock::time_point start = Clock::now();
  std::jthread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    flagged = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    stop = true;
  });
  const RunOptions options{threads, &stop};
  try {
    if (c.lines)
      write_rule_lines(dir.file("db"), c, options);
    else if (c.rules)
      mine_rules(db.transactions(), Support::count(600), RuleOptions{0.0, 0.0, c.any_consequent}, Limits{}, options,
                 [](const Rule&) {});
    else
      mine_transactions(db.transactions(), c.target, Support::count(600), Limits{}, options, [](auto, int) {});
  } catch (const Error& e) {
    if (e.kind() != Error::Kind::cancelled || flagged == 0) return -1;
    return seconds_since(start) - static_cast<double>(flagged.load()) * 1e-9;
  } catch (const RunError& e) {  // the run's own error, where no API call wraps it
    if (e.status() != kExitCancelled || flagged == 0) return -1;
    return seconds_since(start) - static_cast<double>(flagged.load()) * 1e-9;
  }
  return -1;  // the run ended before the flag, or in spite of it
}

TEST(RunControl, StopFlagEndsEveryEntryPointSoon) {
  const Dense db;
  const Case cases[] = {{"maximal", Target::maximal, false, false},
                        {"closed", Target::closed, false, false},
                        {"all", Target::all, false, false},
                        {"rules", Target::all, true, false},
                        {"rules, any consequent", Target::all, true, true},
                        {"rule lines", Target::all, true, false, true},
                        {"rule lines, any consequent", Target::all, true, true, true}};
  for (const Case& c : cases)
    for (int threads : {1, 2, 4}) {
      const double latency = stop_latency(db, c, threads);
      EXPECT_GE(latency, 0.0) << c.name << " on " << threads << " threads: not cancelled";
      EXPECT_LT(latency, kLatencyBound) << c.name << " on " << threads << " threads";
    }
}

// Reports arrive during a long run on one thread and several, in order of
// the work done, the mining by positions or by units; an exception of the
// callback ends the run and comes back unchanged.
TEST(RunControl, ProgressOnEveryNumberOfThreads) {
  const Dense db;
  for (int threads : {1, 2}) {
    std::vector<RunProgress> reports;
    std::atomic<bool> stop{false};
    RunOptions options{threads, &stop};
    options.progress = [&](const RunProgress& p) {
      reports.push_back(p);
      // Until itemsets have been counted (on several threads, once a unit
      // has been committed: a slow machine may take several reports), or
      // long enough to fail below.
      if (p.phase == RunProgress::Phase::mining && reports.size() >= 3 && (p.itemsets > 0 || reports.size() >= 300))
        stop = true;
    };
    EXPECT_THROW(mine_transactions(db.transactions(), Target::all, Support::count(600), Limits{}, options,
                                   [](auto, int) {}),
                 Error);
    ASSERT_GE(reports.size(), 3u) << threads << " threads";
    const RunProgress& last = reports.back();
    EXPECT_EQ(last.phase, RunProgress::Phase::mining);
    EXPECT_EQ(last.units, threads > 1);
    EXPECT_GT(last.itemsets, 0) << threads << " threads";
    EXPECT_GT(last.total, 0);
    for (std::size_t k = 1; k < reports.size(); ++k) {
      EXPECT_GE(reports[k].seconds, reports[k - 1].seconds + 0.15) << "a few reports a second at most";
      if (reports[k].phase == reports[k - 1].phase) {
        EXPECT_GE(reports[k].done, reports[k - 1].done);
      }
    }
    stop = false;
    options.progress = [](const RunProgress&) { throw std::logic_error("enough"); };
    EXPECT_THROW(mine_transactions(db.transactions(), Target::all, Support::count(600), Limits{}, options,
                                   [](auto, int) {}),
                 std::logic_error);
  }
}

// zub-mine --progress reports on several threads too, on standard error
// only (a line per report where that is not a terminal); without the
// option nothing is reported.
TEST(RunControl, ZubMineProgressOnSeveralThreads) {
  const Dense db;
  test::TempDir dir;
  dir.write("db", db.text());
  for (const char* threads : {"1", "2"}) {
    const test::ProcessResult quiet =
        test::run_program(ZUB_MINE_BINARY, {"--target", "all", "--max-len", "3", "--threads", threads, "db", "600", "out"},
                          dir.path());
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    const test::ProcessResult shown = test::run_program(
        ZUB_MINE_BINARY, {"--progress", "--max-len", "4", "--target", "all", "--threads", threads, "db", "600", "out"},
        dir.path());
    EXPECT_EQ(shown.status, 0);
    const std::string unit = std::string(threads) == "1" ? " positions, " : " units, ";
    EXPECT_NE(shown.err.find("mining: "), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find(unit), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.back(), '\n');
  }
}

// Units on several workers where no thread can be created: the calling
// thread mines them all. The address space is cut below what a thread's
// stack needs, in a child process (the sanitizers reserve far more).
TEST(RunControl, ThreadsThatCannotStartLeaveTheirUnitsToTheOthers) {
#ifdef ZUB_SANITIZED
  GTEST_SKIP() << "the sanitizers' address space cannot be limited";
#else
  const Dense db;
  std::vector<Itemset> expected = mine_transactions(db.transactions(), Target::maximal, Support::count(1500),
                                                    Limits{}, RunOptions{1});
  auto by_items = [](const Itemset& a, const Itemset& b) { return a.items < b.items; };
  std::sort(expected.begin(), expected.end(), by_items);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // What the process maps now and 4 MB more: not the 8 MB of a thread's stack.
    long mapped = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &mapped) != 1) mapped = 0;
      std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(mapped) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const struct rlimit cut{limit, limit};
    if (mapped == 0 || setrlimit(RLIMIT_AS, &cut) != 0) _exit(3);
    try {
      std::vector<Itemset> found = mine_transactions(db.transactions(), Target::maximal, Support::count(1500),
                                                     Limits{}, RunOptions{8});
      std::sort(found.begin(), found.end(), by_items);
      _exit(found == expected ? 0 : 1);
    } catch (...) {
      _exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by a signal: " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: other itemsets, 2: an exception, 3: no limit set";
#endif
}

}  // namespace
}  // namespace zub
