// The subset enumeration of FP_growth on one-path trees, and the CFI-tree
// filled through each form of insertion, against independent computations.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "trees/cfi_tree.h"
#include "miners/miners.h"
#include "support/prepared.h"

namespace zub {
namespace {

using namespace zub::test;

Mined containing(const Mined& all, int id) {
  Mined out;
  for (const auto& [items, support] : all)
    if (std::binary_search(items.begin(), items.end(), id)) out[items] = support;
  return out;
}

// Random databases whose tree is one path (each transaction a prefix of one
// sequence of ids): generate_all writes every frequent itemset, above a
// stack item every one that extends it, and powerset under a maximum
// length only those that fit; each with its support, counted by length.
TEST(Powerset, OnePathGivesEveryFrequentItemset) {
  std::mt19937 rng(4);
  for (int round = 0; round < 100; ++round) {
    std::vector<int> sequence;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 10); k < n; ++k) sequence.push_back(static_cast<int>(rng() % 40));
    std::sort(sequence.begin(), sequence.end());
    sequence.erase(std::unique(sequence.begin(), sequence.end()), sequence.end());
    std::shuffle(sequence.begin(), sequence.end(), rng);
    Database db;
    for (std::size_t k = 0; k < sequence.size(); ++k)
      for (int c = static_cast<int>(rng() % 3) + (k == 0); c > 0; --c) db.emplace_back(sequence.begin(), sequence.begin() + k + 1);
    for (auto& t : db) std::sort(t.begin(), t.end());
    const Mined all = all_frequent(db, 1);
    Prepared p(text_of(db), request(1, MiningTarget::all));
    const int f = p.run->frequent();
    const int first_id = p.run->items().file_id[0];
    SCOPED_TRACE("round " + std::to_string(round));
    for (int call = 0; call < 3; ++call) {
      Capture c(*p.run);
      Workspace& ws = p.ws();
      ws.recorder.start(&c.out, LengthLimits{});
      stack& s = p.list();
      for (int q = 0; q < f; ++q) s.items[q] = q;  // the path's items, from the root down
      if (call == 0) {
        s.len = 0;
        generate_all(ws, p.tree(), f);
      } else if (call == 1) {
        s.len = 1;
        generate_all(ws, p.tree(), f - 1);
      } else {
        s.len = 0;
        int buffer[64] = {0};
        powerset(ws.recorder, p.tree(), buffer, 0, s.items, f, 2);
      }
      ws.recorder.flush();
      int lines = 0;
      const Mined written = parse_itemsets(c.text(), &lines);
      Mined expected = call == 1 ? containing(all, first_id) : all;
      if (call == 1) expected.erase(Itemset{first_id});
      if (call == 2) std::erase_if(expected, [](const auto& entry) { return entry.first.size() > 2; });
      EXPECT_EQ(written, expected) << call << ":\n" << describe(written) << "expected:\n" << describe(expected);
      std::vector<long long> lengths(ws.recorder.tally().size(), 0);
      for (const auto& entry : written) ++lengths[entry.first.size() - 1];
      EXPECT_EQ(ws.recorder.tally(), lengths);
      ws.recorder.start(&p.discard, LengthLimits{});
    }
  }
}

// Random itemsets with supports recorded through each form: every node is
// the end of a recorded itemset's prefix and holds the highest support
// recorded through it, and the subset check finds the level item with a tail
// in a recorded itemset of at least the support asked for.
// Every other round with depths of at most 3 in the node keys, so that
// deeper paths are not pruned.
TEST(CfiTree, InsertionFormsAndSubsetCheck) {
  constexpr int kItems = 12;
  Tuning saturating;
  saturating.node_item_bits = 29;
  Prepared by_data(nested_db(kItems), request(1, MiningTarget::closed));  // positions equal the ids
  Prepared narrow(nested_db(kItems), request(1, MiningTarget::closed, saturating));
  std::mt19937 rng(8);
  for (int round = 0; round < 150; ++round) {
    Prepared& p = round % 2 == 0 ? by_data : narrow;
    Workspace& ws = p.ws();
    memory pool(60, 4096, 8192, 2);
    CFI_tree& t = *pool.take<CFI_tree>(1);
    t.init(&pool, &p.tree(), nullptr, kNoCnode, -1);
    std::vector<std::pair<std::vector<int>, int>> recorded;
    std::map<std::vector<int>, int> prefixes;  // the highest support through each prefix
    for (int k = 0, n = 1 + static_cast<int>(rng() % 30); k < n; ++k) {
      std::vector<int> items;
      for (int q = 0; q < kItems; ++q)
        if (rng() % 3 == 0) items.push_back(q);
      if (items.empty()) continue;
      const int support = 1 + static_cast<int>(rng() % 9), size = static_cast<int>(items.size());
      if (k % 3 == 0) {
        std::vector<int> framed{-7};
        framed.insert(framed.end(), items.begin(), items.end());
        t.insert(framed.data(), 0, size + 1, support);
      } else if (k % 3 == 1) {
        for (int x : items) ws.trees.flags[x] = true;
        t.insert(ws.trees.flags.data(), support, size);
        ASSERT_EQ(std::count(ws.trees.flags.data(), ws.trees.flags.data() + kItems, true), 0);
      } else {
        std::vector<int> shuffled = items;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        t.enter(shuffled.data(), size, support);
      }
      recorded.emplace_back(items, support);
      for (int j = 1; j <= size; ++j) {
        int& best = prefixes[std::vector<int>(items.begin(), items.begin() + j)];
        best = std::max(best, support);
      }
    }
    std::map<std::vector<int>, int> nodes;
    for (int q = 0; q < kItems; ++q)
      for (const Cnode* n = t.get(t.heads[q]); n != nullptr; n = t.get(n->link)) {
        std::vector<int> path;
        for (const Cnode* a = n; !CFI_tree::is_root(a); a = t.up(a)) path.insert(path.begin(), t.item_of(*a));
        ASSERT_EQ(t.item_of(*n), q);
        ASSERT_EQ(t.depth_of(*n), std::min(static_cast<int>(path.size()), t.keys.cap()));
        ASSERT_TRUE(nodes.emplace(path, n->count).second) << "a prefix twice";
      }
    EXPECT_EQ(nodes, prefixes);
    for (int query = 0; query < 100; ++query) {
      const int h = static_cast<int>(rng() % kItems), support = 1 + static_cast<int>(rng() % 10);
      std::vector<int> items{h};
      for (int q = 0; q < h; ++q)
        if (rng() % 4 == 0) items.push_back(q);
      const bool expected = std::any_of(recorded.begin(), recorded.end(), [&](const auto& r) {
        std::vector<int> sorted = items;
        std::sort(sorted.begin(), sorted.end());
        return r.second >= support && std::includes(r.first.begin(), r.first.end(), sorted.begin(), sorted.end());
      });
      std::copy(items.begin(), items.end(), p.list().items);
      p.list().len = static_cast<int>(items.size());
      ASSERT_EQ(t.is_subset(support), expected) << "round " << round << " query " << query;
      std::shuffle(items.begin(), items.end(), rng);
      t.order_FS(items.data(), 0, static_cast<int>(items.size()) - 1);
      ASSERT_TRUE(std::is_sorted(items.begin(), items.end()));
    }
  }
}

}  // namespace
}  // namespace zub
