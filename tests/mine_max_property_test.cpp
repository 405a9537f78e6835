// zub against the brute-force miner on many random databases: the written
// itemsets, their supports and the run log's count must all agree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

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

// The same check with the code paths that only large databases reach by
// default: the main tree's sparse pairs and the pair-pruned lookahead.
TEST(MineMaxProperty, SparsePairsAndPrunedLookaheadAgreeWithBruteForce) {
  for (std::uint32_t seed = 1000; seed < 1300; ++seed) {
    // Every third database is wide: nodes with many children.
    const bool wide = seed % 3 == 0;
    const RandomDb db = random_db(seed, wide);
    const int n = static_cast<int>(db.transactions.size());
    // Wide databases have too many frequent itemsets at 1 for the brute force.
    const std::vector<int> supports = wide ? std::vector<int>{2, 3} : std::vector<int>{1, 2, std::max(1, n / 3)};
    for (int minsup : supports) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup));
      const Mined expected = brute_force_maximal(db.transactions, minsup);
      TempDir dir;
      dir.write("db", db.text);
      Context ctx;
      ctx.THRESHOLD = minsup;
      ctx.dense_pair_cells = 0;
      ctx.first_mfi_2_items = 0;
      Data data(dir.file("db").c_str());
      MainTree main = build_main_tree(ctx, data);
      if (main.frequent == 0 || main.single_prefix == main.frequent) continue;  // no mining
      MiningRun run(ctx, main.tree, main.single_prefix);
      {
        FSout out(dir.file("out").c_str());
        out.set_order(ctx.order_item.data());
        main.tree->Mine_Max(&out);
        out.close();
      }
      int lines = 0;
      const Mined written = parse_itemsets(dir.read("out"), &lines);
      EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
      EXPECT_EQ(run.root_mfi()->mfi_count, lines);
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
