// zub and the run sequence against the brute-force miner on many random
// databases: the written itemsets, their supports and the reported counts.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/driver.h"
#include "io/fsout.h"
#include "support/brute_force.h"
#include "support/prepared.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

// Runs zub in-process inside `dir`; returns its status, captures standard output.
int run_zub(const TempDir& dir, std::vector<std::string> args, std::string* stdout_text) {
  std::vector<char*> argv;
  std::string program = "zub";
  argv.push_back(program.data());
  for (auto& a : args) argv.push_back(a.data());
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::FILE* capture = std::tmpfile();
  const int status = zub_main(static_cast<int>(argv.size()), argv.data(), capture);
  std::filesystem::current_path(previous);
  std::rewind(capture);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, capture)) > 0;) text.append(buf, n);
  std::fclose(capture);
  if (stdout_text != nullptr) *stdout_text = text;
  return status;
}

// The MFI figure of the last run report in the log, or -1 when there is none.
int last_reported_mfi(const std::string& log) {
  const auto at = log.rfind("\nMFI: ");
  return at == std::string::npos ? -1 : std::stoi(log.substr(at + 6));
}

void check_case(std::uint32_t seed, const RandomDb& db, int minsup) {
  SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup) + "\n--- database ---\n" +
               db.text.substr(0, 2000));
  const Mined expected = brute_force_maximal(db.transactions, minsup);
  TempDir dir;
  dir.write("db", db.text);
  std::string printed;
  ASSERT_EQ(run_zub(dir, {"db", std::to_string(minsup), "out"}, &printed), 0) << printed;
  const std::string log = dir.read("testfile.txt");
  if (expected.empty()) {
    EXPECT_TRUE(dir.exists("out")) << "no itemset: an empty output file";
    EXPECT_EQ(dir.read("out"), "");
    EXPECT_EQ(log, "");
    EXPECT_EQ(printed, "");
    return;
  }
  int lines = 0;
  const Mined written = parse_itemsets(dir.read("out"), &lines);
  EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
  if (printed.empty()) {
    EXPECT_EQ(last_reported_mfi(log), lines);
  } else {
    // The single-path shortcut: one itemset, the length report, no run report.
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(log, "");
    EXPECT_NE(printed.find("\nMFI: 1\n"), std::string::npos);
  }
  // Without an output file the run finds the same number of itemsets.
  if (seed % 4 == 0 && printed.empty()) {
    ASSERT_EQ(run_zub(dir, {"db", std::to_string(minsup)}, nullptr), 0);
    EXPECT_EQ(last_reported_mfi(dir.read("testfile.txt")), lines);
  }
}

TEST(MineMaxProperty, AgreesWithBruteForceOnRandomDatabases) {
  const std::uint32_t first_seed = 1;
  const std::uint32_t cases = 600;
  for (std::uint32_t seed = first_seed; seed < first_seed + cases; ++seed) {
    const RandomDb db = random_db(seed);
    const int n = static_cast<int>(db.transactions.size());
    std::vector<int> supports{1, 2, 3, std::max(1, n / 4), std::max(1, n / 2), n + 1};
    if (db.largest_id <= 40 && seed % 10 == 0) supports.push_back(seed % 20 == 0 ? 0 : -2);
    std::sort(supports.begin(), supports.end());
    supports.erase(std::unique(supports.begin(), supports.end()), supports.end());
    for (int minsup : supports) check_case(seed, db, minsup);
    if (HasFailure()) break;  // the first failing seed is the one to look at
  }
}

// The run sequence for every target and maximal method, also with the code
// paths that only large databases reach by default (the main tree's sparse
// pairs, the pair-pruned lookahead): the itemsets agree with the brute
// force, the report counts them by length, a discarding writer gets the same
// report, and the workspace's flags (and, but for Mine_Max, whose lookahead
// may leave a support behind, its supports) are clear again.
TEST(RunProperty, EveryTargetAgreesWithBruteForceAndReportsLengths) {
  const std::pair<MiningTarget, MaximalMethod> runs[] = {{MiningTarget::maximal, MaximalMethod::lookahead},
                                                         {MiningTarget::maximal, MaximalMethod::projected},
                                                         {MiningTarget::closed, MaximalMethod::lookahead},
                                                         {MiningTarget::all, MaximalMethod::lookahead}};
  for (std::uint32_t seed = 1000; seed < 1240; ++seed) {
    const bool wide = seed % 3 == 0;  // nodes with many children
    const RandomDb db = random_db(seed, wide);
    const int n = static_cast<int>(db.transactions.size());
    // Wide databases have too many frequent itemsets at 1 for the brute force.
    for (int minsup : wide ? std::vector<int>{2, 3} : std::vector<int>{1, 2, std::max(1, n / 3)}) {
      const Mined frequent = brute_force_frequent(db.transactions, minsup);
      TempDir dir;
      dir.write("db", db.text);
      for (const auto& [target, method] : runs) {
        if (wide && target == MiningTarget::all) continue;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup) + ", target " +
                     std::to_string(int(target)) + ", method " + std::to_string(int(method)));
        Tuning tuning;
        tuning.lookahead_pair_items = 0;
        if (seed % 2 == 0) tuning.dense_pair_cells = 0;
        RunRequest req = request(minsup, target, tuning);
        req.method = method;
        RunReport reports[2];
        for (int capture : {1, 0}) {
          zub::Run run(req);
          Data data(dir.file("db").c_str());
          run.read(data);
          Capture c(run);
          FSout discard;
          reports[capture] = run.mine(capture ? c.out : discard);
          const Workspace& ws = run.workspace();
          if (method == MaximalMethod::projected || target != MiningTarget::maximal) {
            EXPECT_EQ(std::count(ws.supp.begin(), ws.supp.end(), 0), run.frequent());
          }
          EXPECT_EQ(std::count(ws.flags.get(), ws.flags.get() + run.frequent(), true), 0);
          auto open = [](const auto& trees) { return std::count(trees.begin(), trees.end(), nullptr); };
          const bool root_tree = run.frequent() > 0 && !reports[capture].single_path;
          EXPECT_EQ(ws.maximal.trees.size() - open(ws.maximal.trees), root_tree && target == MiningTarget::maximal);
          EXPECT_EQ(ws.closed.trees.size() - open(ws.closed.trees), root_tree && target == MiningTarget::closed);
          if (!capture) continue;
          int lines = 0;
          const Mined written = parse_itemsets(c.text(), &lines);
          const Mined expected = target == MiningTarget::maximal ? maximal_of(frequent)
                                 : target == MiningTarget::closed ? closed_of(frequent)
                                                                  : frequent;
          EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
          EXPECT_EQ(reports[1].itemsets, lines);
          std::vector<long long> lengths(reports[1].lengths.size(), 0);
          for (const auto& entry : written) ++lengths[entry.first.size() - 1];
          EXPECT_EQ(reports[1].lengths, lengths);
        }
        EXPECT_EQ(reports[0].itemsets, reports[1].itemsets);
        EXPECT_EQ(reports[0].lengths, reports[1].lengths);
        EXPECT_EQ(reports[0].counters.subset_checks, reports[1].counters.subset_checks);
        EXPECT_EQ(reports[0].counters.projections, reports[1].counters.projections);
      }
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
