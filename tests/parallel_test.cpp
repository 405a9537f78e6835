// zub-mine --threads N against the one-thread run on random databases: the
// all-itemset miner writes the same bytes on any number of workers (its
// units are written in the one-thread order); the closure miner the same
// itemsets, in an order of its own that two runs repeat byte for byte. Small
// databases make many small units, so that units finish out of order.
#include <gtest/gtest.h>

#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

std::string mine(const std::vector<std::string>& args) {
  std::string out, err;
  EXPECT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
  return out;
}

TEST(Parallel, EveryNumberOfWorkersWritesTheOneThreadItemsets) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    const RandomDb db = random_db(seed, seed % 5 == 0);
    TempDir dir;
    dir.write("db", db.text);
    const std::string minsup = std::to_string(1 + seed % 3);
    for (const char* target : {"all", "closed"}) {
      std::vector<std::string> args{"--target", target, dir.file("db"), minsup};
      if (seed % 4 == 1) args.insert(args.begin(), {"--max-len", "2"});
      const std::string one = mine(args);
      for (const char* threads : {"2", "3", "8"}) {
        SCOPED_TRACE(std::string(target) + ", seed " + std::to_string(seed) + ", threads " + threads);
        std::vector<std::string> many = args;
        many.insert(many.begin(), {"--threads", threads});
        const std::string first = mine(many);
        if (std::string(target) == "all")
          EXPECT_EQ(first, one);
        else
          EXPECT_EQ(parse_itemsets(first), parse_itemsets(one));
        EXPECT_EQ(mine(many), first) << "the bytes moved between two runs";
      }
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zub
