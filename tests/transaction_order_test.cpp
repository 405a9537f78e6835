// The main tree is built from the transactions in sorted order, so the file's
// order must not show anywhere: a database and any shuffle of its lines give
// byte-identical itemset files, run reports (apart from the time) and
// statistics, for every miner.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(TransactionOrder, ShuffledDatabasesMineIdentically) {
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    const bool wide = seed % 3 == 0;
    const RandomDb db = random_db(seed, wide);
    std::vector<std::string> lines = lines_of(db.text);
    std::mt19937 rng(seed);
    std::shuffle(lines.begin(), lines.end(), rng);
    std::string shuffled;
    for (const auto& line : lines) shuffled += line + "\n";
    TempDir dirs[2];
    dirs[0].write("db", db.text);
    dirs[1].write("db", shuffled);
    const int n = static_cast<int>(db.transactions.size());
    for (int minsup : {2, std::max(1, n / 4)}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup));
      std::string out[2], log[2];
      for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(run_zub_in(dirs[k], {"db", std::to_string(minsup), "out"}), 0);
        out[k] = dirs[k].read("out");
        log[k] = without_time(dirs[k].exists("testfile.txt") ? dirs[k].read("testfile.txt") : "");
      }
      EXPECT_EQ(out[0], out[1]);
      EXPECT_EQ(log[0], log[1]);
      std::vector<std::vector<std::string>> runs = {{"--target", "closed"}, {"--method", "projected"}};
      if (!wide) runs.push_back({"--target", "all"});
      for (const auto& run : runs) {
        std::string printed[2], err[2];
        for (int k = 0; k < 2; ++k) {
          EXPECT_EQ(run_mine_in_process({"--stats", "--threads", "1", run[0], run[1], dirs[k].file("db"), std::to_string(minsup)},
                                        &printed[k], &err[k]),
                    0)
              << err[k];
          err[k] = without_time(err[k]);
        }
        EXPECT_EQ(printed[0], printed[1]) << run[0] << " " << run[1];
        EXPECT_EQ(err[0], err[1]) << run[0] << " " << run[1];
      }
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
