// Databases large enough that the main tree spans many node slabs and sorted
// batches, checked against an independent count: with at most 20 items, the
// support of every itemset follows from the transactions' bit masks by a
// sum over supersets, and the maximal frequent itemsets from those supports.
#include <gtest/gtest.h>

#include <random>

#include "driver/main_tree.h"
#include "driver/mining_run.h"
#include "fp_tree/fi_tree.h"
#include "io/data.h"
#include "io/fsout.h"
#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

struct MaskDb {
  int items = 0;
  std::vector<std::uint32_t> masks;
  std::string text;
};

MaskDb random_mask_db(std::uint32_t seed, int items, int transactions) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  MaskDb db;
  db.items = items;
  // Item k appears with falling probability; a few planted patterns make
  // long frequent itemsets.
  std::vector<std::uint32_t> patterns;
  for (int p = 0; p < 4; ++p) patterns.push_back(static_cast<std::uint32_t>(rng()) & ((1u << items) - 1));
  for (int t = 0; t < transactions; ++t) {
    std::uint32_t mask = u(rng) < 0.3 ? patterns[rng() % patterns.size()] : 0;
    for (int k = 0; k < items; ++k)
      if (u(rng) < 0.5 / (1 + 0.04 * k)) mask |= 1u << k;
    db.masks.push_back(mask);
    for (int k = 0; k < items; ++k)
      if (mask >> k & 1) db.text += std::to_string(k) + " ";
    db.text += "\n";
  }
  return db;
}

// Support of every itemset: transactions per mask, summed over supersets.
Mined maximal_by_subset_sums(const MaskDb& db, int minsup) {
  const std::uint32_t all = 1u << db.items;
  std::vector<int> support(all, 0);
  for (std::uint32_t m : db.masks) ++support[m];
  for (int k = 0; k < db.items; ++k)
    for (std::uint32_t s = 0; s < all; ++s)
      if (!(s >> k & 1)) support[s] += support[s | (1u << k)];
  Mined maximal;
  for (std::uint32_t s = 1; s < all; ++s) {
    if (support[s] < minsup) continue;
    bool is_maximal = true;
    for (int k = 0; k < db.items && is_maximal; ++k)
      if (!(s >> k & 1) && support[s | (1u << k)] >= minsup) is_maximal = false;
    if (!is_maximal) continue;
    Itemset items;
    for (int k = 0; k < db.items; ++k)
      if (s >> k & 1) items.push_back(k);
    maximal[items] = support[s];
  }
  return maximal;
}

TEST(LargeTree, ManySlabsAndBatchesAgreeWithSubsetSums) {
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    const MaskDb db = random_mask_db(seed, 18 + static_cast<int>(seed), 40000);
    TempDir dir;
    dir.write("db", db.text);
    for (int minsup : {60, 300}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup));
      Context ctx;
      ctx.THRESHOLD = minsup;
      ctx.build_batch_positions = seed == 2 ? 5000 : ctx.build_batch_positions;
      Data data(dir.file("db").c_str());
      MainTree main = build_main_tree(ctx, data);
      ASSERT_GE(ctx.nodes.slabs(), 3u) << "the tree should span several slabs";
      MiningRun run(ctx, main.tree, main.single_prefix);
      {
        FSout out(dir.file("out").c_str());
        out.set_order(ctx.order_item.data());
        main.tree->Mine_Max(&out);
        out.close();
      }
      const Mined expected = maximal_by_subset_sums(db, minsup);
      const Mined written = parse_itemsets(dir.read("out"));
      EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
    }
  }
}

}  // namespace
}  // namespace zub
