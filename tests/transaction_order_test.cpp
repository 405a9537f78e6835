// The main tree is built from the transactions in sorted order, so the file's
// order must not show anywhere: a database and any shuffle of its lines give
// byte-identical itemset files, run reports (apart from the time) and
// statistics, for every miner.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "driver/driver.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

std::string shuffled_lines(const std::string& text, std::uint32_t seed) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::mt19937 rng(seed);
  std::shuffle(lines.begin(), lines.end(), rng);
  std::string out;
  for (const auto& line : lines) out += line + "\n";
  return out;
}

std::string without_lines_starting(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string kept;
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) != 0) kept += line + "\n";
  return kept;
}

// zub in `dir` on its file "db": the itemset file and the run log without times.
std::pair<std::string, std::string> run_zub(const TempDir& dir, int minsup) {
  std::string program = "zub", db = "db", support = std::to_string(minsup), out = "out";
  char* argv[] = {program.data(), db.data(), support.data(), out.data()};
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::FILE* sink = std::tmpfile();
  const int status = zub_main(4, argv, sink);
  std::fclose(sink);
  std::filesystem::current_path(previous);
  EXPECT_EQ(status, 0);
  const std::string log = dir.exists("testfile.txt") ? dir.read("testfile.txt") : "";
  return {dir.read("out"), without_lines_starting(log, "Time: ")};
}

TEST(TransactionOrder, ShuffledDatabasesMineIdentically) {
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const bool wide = seed % 3 == 0;
    const RandomDb db = random_db(seed, wide);
    TempDir original, shuffled;
    original.write("db", db.text);
    shuffled.write("db", shuffled_lines(db.text, seed));
    const int n = static_cast<int>(db.transactions.size());
    for (int minsup : {2, std::max(1, n / 4)}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup));
      EXPECT_EQ(run_zub(original, minsup), run_zub(shuffled, minsup));
      std::vector<std::vector<std::string>> runs = {
          {"--target", "closed"}, {"--method", "projected"}};
      if (!wide) runs.push_back({"--target", "all"});
      for (auto args : runs) {
        args.insert(args.begin(), "--stats");
        args.push_back(std::to_string(minsup));
        std::string out[2], err[2];
        for (int k = 0; k < 2; ++k) {
          std::vector<std::string> with_file = args;
          with_file.insert(with_file.end() - 1, (k == 0 ? original : shuffled).file("db"));
          EXPECT_EQ(run_mine_in_process(with_file, &out[k], &err[k]), 0) << err[k];
          err[k] = without_lines_starting(err[k], "processor time: ");
        }
        EXPECT_EQ(out[0], out[1]) << args[1] << " " << args[2];
        EXPECT_EQ(err[0], err[1]) << args[1] << " " << args[2];
      }
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
