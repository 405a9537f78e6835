// Databases large enough that the main tree spans many node slabs and sorted
// batches, checked against an independent count: with at most 21 items, the
// support of every itemset follows from the transactions' bit masks by a
// sum over supersets, and the maximal and closed itemsets from those supports.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "support/prepared.h"

namespace zub {
namespace {

using namespace zub::test;

struct MaskDb {
  int items = 0;
  std::string text;
  std::vector<int> support;  // by itemset mask
};

// Item k appears with falling probability; a few planted patterns make long
// frequent itemsets.
MaskDb random_mask_db(std::uint32_t seed, int items, int transactions) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  MaskDb db{items, "", std::vector<int>(std::size_t{1} << items, 0)};
  std::vector<std::uint32_t> patterns;
  for (int p = 0; p < 4; ++p) patterns.push_back(static_cast<std::uint32_t>(rng()) & ((1u << items) - 1));
  for (int t = 0; t < transactions; ++t, db.text += "\n") {
    std::uint32_t mask = u(rng) < 0.3 ? patterns[rng() % patterns.size()] : 0;
    for (int k = 0; k < items; ++k)
      if (u(rng) < 0.5 / (1 + 0.04 * k)) mask |= 1u << k;
    ++db.support[mask];
    for (int k = 0; k < items; ++k)
      if (mask >> k & 1) db.text += std::to_string(k) + " ";
  }
  for (int k = 0; k < items; ++k)  // transactions per mask, summed over supersets
    for (std::uint32_t s = 0; s < db.support.size(); ++s)
      if (!(s >> k & 1)) db.support[s] += db.support[s | (1u << k)];
  return db;
}

// The frequent itemsets none of whose one-item extensions is frequent
// (maximal) or has the same support (closed).
Mined select(const MaskDb& db, int minsup, bool closed) {
  Mined chosen;
  for (std::uint32_t s = 1; s < db.support.size(); ++s) {
    bool keep = db.support[s] >= minsup;
    for (int k = 0; k < db.items && keep; ++k) {
      const int extended = db.support[s | (1u << k)];
      keep = (s >> k & 1) || (closed ? extended != db.support[s] : extended < minsup);
    }
    Itemset items;
    for (int k = 0; k < db.items && keep; ++k)
      if (s >> k & 1) items.push_back(k);
    if (keep) chosen[items] = db.support[s];
  }
  return chosen;
}

// The main tree has no child links: the miners must do without them, on
// trees that span several slabs, however it was built.
TEST(LargeTree, ManySlabsAndBatchesAgreeWithSubsetSums) {
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    const MaskDb db = random_mask_db(seed, 18 + static_cast<int>(seed), 40000);
    TempDir dir;
    dir.write("db", db.text);
    for (int minsup : {60, 300}) {
      for (MiningTarget target : {MiningTarget::maximal, MiningTarget::closed}) {
        const bool closed = target == MiningTarget::closed;
        if (closed && minsup == 60) continue;  // hundreds of thousands of closed itemsets
        SCOPED_TRACE("seed " + std::to_string(seed) + ", MINSUP " + std::to_string(minsup) +
                     (closed ? ", closed" : ", maximal"));
        // Seeds 1 and 2 are built in trees with child links (in batches of
        // 5000 positions on 3 threads for seed 2), seed 3 from strings.
        Tuning tuning;
        if (seed != 3) tuning.main_build = MainBuild::link_trees;
        if (seed == 2) tuning.build_batch_positions = 5000;
        RunRequest req = request(minsup, target, tuning);
        req.threads = seed == 2 ? 3 : 1;
        req.closed_method = ClosedMethod::cfi_tree;  // the closure miner gives the main tree back
        zub::Run run(req);
        Data data(dir.file("db").c_str());
        run.read(data);
        const NodeStore& store = run.main_tree().store();
        ASSERT_GE(store.slabs(), 3u) << "the tree should span several slabs";
        Capture out(run);
        run.mine(out.out);
        EXPECT_LT(store.link_slabs(), store.slabs()) << "the main tree gave its child links back";
        const Mined written = parse_itemsets(out.text()), expected = select(db, minsup, closed);
        EXPECT_EQ(written, expected) << "written:\n" << describe(written) << "expected:\n" << describe(expected);
        if (seed == 1 && !closed) {  // the developer dump walks every node without the links
          Capture dump(run);
          print(run.main_tree(), dump.file);
          const std::string text = dump.text();
          const std::string tree = text.substr(text.find("\n\n", text.find("Order table:")));
          const std::regex node(R"(-?\d+\( *\d+\) )");
          const auto listed = std::distance(std::sregex_iterator(tree.begin(), tree.end(), node), std::sregex_iterator());
          const FI_tree& t = run.main_tree();
          long kept = 1;  // the root, and the nodes of items not taken off as the single prefix
          for (NodeRef r = t.root_ref() + 1; r < store.mark(); ++r) kept += t.item_pos(t.node(r)->item) >= 0;
          EXPECT_EQ(listed, kept);
        }
      }
    }
  }
}

}  // namespace
}  // namespace zub
