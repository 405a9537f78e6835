// zub and the run sequence against the brute-force miner on many random
// databases: the written itemsets, their supports and the reported counts;
// and zub's single prefix and run report end to end.
#include <gtest/gtest.h>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

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
  ASSERT_EQ(run_zub_in(dir, {"db", std::to_string(minsup), "out"}, &printed), 0) << printed;
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
    ASSERT_EQ(run_zub_in(dir, {"db", std::to_string(minsup)}), 0);
    EXPECT_EQ(last_reported_mfi(dir.read("testfile.txt")), lines);
  }
}

TEST(MineMaxProperty, AgreesWithBruteForceOnRandomDatabases) {
  for (std::uint32_t seed = 1; seed <= 600; ++seed) {
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
// force, and the report counts them, by length.
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
        zub::Run run(req);
        Data data(dir.file("db").c_str());
        run.read(data);
        Capture c(run);
        const RunReport report = run.mine(c.out);
        int lines = 0;
        const Mined written = parse_itemsets(c.text(), &lines);
        const Mined expected = target == MiningTarget::maximal ? maximal_of(frequent)
                               : target == MiningTarget::closed ? closed_of(frequent)
                                                                : frequent;
        EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
        EXPECT_EQ(report.itemsets, lines);
        std::vector<long long> lengths(report.lengths.size(), 0);
        for (const auto& entry : written) ++lengths[entry.first.size() - 1];
        EXPECT_EQ(report.lengths, lengths);
      }
    }
    if (HasFailure()) break;
  }
}

// zub end to end: the single prefix is in every itemset; the run report.
const char* kTwoItemPrefix = "1 2 3 4\n1 2 3\n2 1 4 5\n1 2 5 3\n1 2\n2 1 6\n";

TEST(Zub, EveryItemsetBeginsWithTheSinglePrefix) {
  TempDir dir;
  dir.write("db", kTwoItemPrefix);
  auto r = run_program(zub_binary(), {"db", "1", "out"}, dir.path());
  ASSERT_EQ(r.status, 0);
  const std::string out = dir.read("out");
  int lines = 0;
  for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
    EXPECT_EQ(out.substr(at, 4), "1 2 ");
    ++lines;
  }
  EXPECT_EQ(lines, 4);
  EXPECT_NE(dir.read("testfile.txt").find("\nMFI: 4\n"), std::string::npos);
  EXPECT_NE(dir.read("testfile.txt").find("\nNo. of F1: 4\n"), std::string::npos) << "6 items less the prefix";
}

TEST(Zub, RunReportOfTheWorkedExample) {
  TempDir dir;
  dir.write("db", "1 2\n1 3\n2 3\n");
  auto r = run_program(zub_binary(), {"db", "1", "out"}, dir.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("out"), "3 2 (1)\n3 1 (1)\n2 1 (1)\n");
  const std::string log = dir.read("testfile.txt");
  const std::string head = "\n------------------------\n" + zub_binary() + " db 1 out \nMFI: 3\nTime: ";
  EXPECT_EQ(log.substr(0, head.size()), head);
  const std::size_t tail_at = log.find("\nNo. of F1:");
  ASSERT_NE(tail_at, std::string::npos);
  EXPECT_EQ(log.substr(tail_at), "\nNo. of F1: 3\nNo. of subset checking: 4\nNo. of projection: 0\n");
  // A second run appends a second report.
  run_program(zub_binary(), {"db", "1"}, dir.path());
  const std::string twice = dir.read("testfile.txt");
  EXPECT_EQ(twice.substr(0, log.size()), log);
  EXPECT_NE(twice.find(" db 1 \nMFI: 3\n", log.size()), std::string::npos);
}

}  // namespace
}  // namespace zub
