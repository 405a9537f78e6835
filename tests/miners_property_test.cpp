// zub, zub-mine and the run sequence against the brute-force miner on many
// random databases: the written itemsets, their supports, zub's run report
// and single-path shortcut, and the reported counts by length; and zub's
// single prefix end to end.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

// The supports tried on a database of n transactions; 0 and -2 only where
// the ids are few, and 0 for the frequent itemsets only where every set of
// ids 0 to the largest can be listed.
std::vector<int> supports_for(const RandomDb& db, std::uint32_t seed) {
  const int n = static_cast<int>(db.transactions.size());
  std::vector<int> s{1, 2, 3, std::max(1, n / 5), std::max(1, n / 4), std::max(1, n / 2), n + 1};
  if (db.largest_id <= 9 && seed % 3 == 0) s.push_back(0);
  if (db.largest_id <= 40 && seed % 10 == 0) s.push_back(seed % 20 == 0 ? 0 : -2);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

Mined mine(const std::vector<std::string>& args, std::string* raw = nullptr) {
  std::string out, err;
  EXPECT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  if (raw != nullptr) *raw = out;
  int lines = 0;
  const Mined m = parse_itemsets(out, &lines);  // fails on a repeated itemset
  EXPECT_EQ(lines, static_cast<int>(m.size()));
  return m;
}

// The MFI figure of the last run report in the log, or -1 when there is none.
int last_reported_mfi(const std::string& log) {
  const auto at = log.rfind("\nMFI: ");
  return at == std::string::npos ? -1 : std::stoi(log.substr(at + 6));
}

// zub in-process: its itemsets, what it prints and reports; its output file.
std::string check_zub(const TempDir& dir, std::uint32_t seed, int minsup, const Mined& expected) {
  std::string printed;
  std::filesystem::remove(dir.file("testfile.txt"));
  std::filesystem::remove(dir.file("out"));
  EXPECT_EQ(run_zub_in(dir, {"db", std::to_string(minsup), "out"}, &printed), 0) << printed;
  const std::string log = dir.read("testfile.txt"), out = dir.read("out");
  if (expected.empty()) {
    EXPECT_TRUE(dir.exists("out")) << "no itemset: an empty output file";
    EXPECT_EQ(out, "");
    EXPECT_EQ(log, "");
    EXPECT_EQ(printed, "");
    return out;
  }
  int lines = 0;
  const Mined written = parse_itemsets(out, &lines);
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
    EXPECT_EQ(run_zub_in(dir, {"db", std::to_string(minsup)}), 0);
    EXPECT_EQ(last_reported_mfi(dir.read("testfile.txt")), lines);
  }
  return out;
}

// zub's maximal itemsets; zub-mine's closed and all frequent ones, and its
// maximal ones by both methods, the default one byte for byte as zub's.
TEST(MinersProperty, ZubAndZubMineAgreeWithBruteForce) {
  for (std::uint32_t seed = 1; seed <= 600; ++seed) {
    const RandomDb db = random_db(seed);
    TempDir dir;
    dir.write("db", db.text);
    const std::string path = dir.file("db");
    for (int minsup : supports_for(db, seed)) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + "\n--- database ---\n" +
                   db.text.substr(0, 1500));
      const std::string zub_out = check_zub(dir, seed, minsup, brute_force_maximal(db.transactions, minsup));
      if (minsup < 0 || (minsup == 0 && db.largest_id > 9)) continue;  // beyond zub-mine or the brute force
      const std::string m = std::to_string(minsup);
      const Mined frequent = brute_force_frequent(db.transactions, minsup);
      const Mined all = mine({"--target", "all", path, m});
      EXPECT_EQ(all, frequent) << "written:\n" << describe(all) << "expected:\n" << describe(frequent);
      const Mined closed = mine({"--target", "closed", path, m}), expected_closed = closed_of(frequent);
      EXPECT_EQ(closed, expected_closed) << "written:\n" << describe(closed) << "expected:\n" << describe(expected_closed);
      std::string lookahead_text;
      const Mined projected = mine({"--method", "projected", path, m});
      EXPECT_EQ(projected, maximal_of(frequent)) << "written:\n" << describe(projected);
      EXPECT_EQ(mine({path, m}, &lookahead_text), projected);
      EXPECT_EQ(lookahead_text, zub_out) << "zub-mine's default maximal run writes what zub writes";
    }
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

}  // namespace
}  // namespace zub
