// zub-mine's miners against the brute-force miner on many random databases,
// run in-process through the command line: closed and all frequent itemsets,
// and maximal itemsets by the projected miner, as sets with their supports.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

// The supports tried on a database of n transactions; 0 only where every
// set of ids 0 to the largest can be listed.
std::vector<int> supports_for(const RandomDb& db, std::uint32_t seed) {
  const int n = static_cast<int>(db.transactions.size());
  std::vector<int> s{1, 2, std::max(1, n / 5), std::max(1, n / 2), n + 1};
  if (db.largest_id <= 9 && seed % 3 == 0) s.push_back(0);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

Mined mine(const std::vector<std::string>& args, std::string* raw = nullptr) {
  std::string out, err;
  const int status = run_mine_in_process(args, &out, &err);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(err, "");
  if (raw != nullptr) *raw = out;
  int lines = 0;
  const Mined m = parse_itemsets(out, &lines);  // fails on a repeated itemset
  EXPECT_EQ(lines, static_cast<int>(m.size()));
  return m;
}

TEST(MinersProperty, ClosedAllAndProjectedAgreeWithBruteForce) {
  const std::uint32_t cases = 600;
  for (std::uint32_t seed = 1; seed <= cases; ++seed) {
    const RandomDb db = random_db(seed);
    TempDir dir;
    dir.write("db", db.text);
    const std::string path = dir.file("db");
    for (int minsup : supports_for(db, seed)) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", minsup " + std::to_string(minsup) + "\n--- database ---\n" +
                   db.text.substr(0, 1500));
      const std::string m = std::to_string(minsup);
      const Mined frequent = brute_force_frequent(db.transactions, minsup);
      const Mined all = mine({"--target", "all", path, m});
      EXPECT_EQ(all, frequent) << "written:\n" << describe(all) << "expected:\n" << describe(frequent);
      const Mined closed = mine({"--target", "closed", path, m});
      const Mined expected_closed = closed_of(frequent);
      EXPECT_EQ(closed, expected_closed) << "written:\n" << describe(closed) << "expected:\n"
                                         << describe(expected_closed);
      std::string lookahead_text;
      const Mined projected = mine({"--method", "projected", path, m});
      const Mined lookahead = mine({path, m}, &lookahead_text);
      EXPECT_EQ(projected, maximal_of(frequent)) << "written:\n" << describe(projected);
      EXPECT_EQ(projected, lookahead);
      // The default maximal run writes what zub writes, byte for byte.
      if (seed % 5 == 0) {
        std::filesystem::remove(dir.file("zub.out"));  // zub leaves no file when nothing is frequent
        ASSERT_EQ(run_zub_in(dir, {path, m, dir.file("zub.out")}), 0);
        EXPECT_EQ(dir.exists("zub.out") ? dir.read("zub.out") : "", lookahead_text);
      }
    }
    if (HasFailure()) break;  // the first failing seed is the one to look at
  }
}

}  // namespace
}  // namespace zub
