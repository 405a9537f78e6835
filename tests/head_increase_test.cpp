// Head extension on random databases with random recorded itemsets, against
// the supports counted from the transactions: every item it pushes is in
// each frequent extension of the head that no recorded itemset holds, and
// each outcome says what the data says.
#include <gtest/gtest.h>

#include <random>

#include "fp_tree/miners.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;
using Outcome = HeadExtension::Outcome;

TEST(HeadIncrease, PushedItemsAndOutcomesAgreeWithTheData) {
  std::mt19937 rng(5);
  int outcomes[3] = {};
  for (std::uint32_t seed = 1; seed <= 400; ++seed) {
    const RandomDb db = random_db(seed);
    const int minsup = 1 + static_cast<int>(seed % 3);
    Prepared p(db.text, request(minsup));  // main-tree items are positions
    FI_tree& t = p.tree();
    Workspace& ws = p.ws();
    // Ascending heads: what was recorded for a lower head does not hold this one.
    for (int h = 1; h < t.num_items; ++h) {
      std::fill(ws.supp.begin(), ws.supp.end(), 0);
      const int tlen0 = t.walk_pattern_base(t.heads[h], false);
      if (tlen0 < 2 || tlen0 > 12) continue;
      const std::vector<int> tail0(ws.tail.begin(), ws.tail.begin() + tlen0);
      // Recorded: the head with all tail items but one (so that it is forced),
      // maybe another such, and a few with the head and fewer tail items.
      std::vector<std::vector<int>> recorded;
      for (int r = 0; r < 2 + static_cast<int>(rng() % 4); ++r) {
        std::vector<int> items{h};
        const int missed = static_cast<int>(rng() % tlen0);
        for (int k = 0; k < tlen0; ++k)
          if (k != missed && (r < 2 || rng() % 2 == 0)) items.push_back(tail0[k]);
        if (r == 1 && rng() % 2 == 0) continue;
        p.root_mfi().enter(items.data(), static_cast<int>(items.size()), 0);
        std::sort(items.begin(), items.end());
        recorded.push_back(items);
      }
      ASSERT_FALSE(p.root_mfi().is_subset(h, ws.tail.data(), tlen0));
      std::vector<Fnode*> nodes;
      for (const NodeRef r : t.chain(h)) nodes.push_back(t.node(r));
      int node_count = static_cast<int>(nodes.size());
      p.list().items[0] = h;
      p.list().len = 1;
      const HeadExtension x = head_increase(t, ws.tail.data(), tlen0, nodes.data(), node_count);

      SCOPED_TRACE("seed " + std::to_string(seed) + ", head " + std::to_string(h));
      std::vector<int> pushed(p.list().items + 1, p.list().items + p.list().len), with_pushed = pushed;
      ASSERT_EQ(x.pushed, static_cast<int>(pushed.size()));
      ASSERT_GE(x.pushed, 1);
      with_pushed.push_back(h);
      auto support = [&](std::vector<int> items) { return support_of(db.transactions, p.ids(items)); };
      auto held = [&](std::vector<int> items) {
        std::sort(items.begin(), items.end());
        return std::any_of(recorded.begin(), recorded.end(), [&](const std::vector<int>& r) {
          return std::includes(r.begin(), r.end(), items.begin(), items.end());
        });
      };
      // The tail items of each transaction that holds the head, as bits.
      std::vector<int> masks;
      auto id = [&](int item) { return p.run->items().file_id[static_cast<std::size_t>(item)]; };
      for (const auto& tr : db.transactions) {
        if (!std::binary_search(tr.begin(), tr.end(), id(h))) continue;
        int m = 0;
        for (int k = 0; k < tlen0; ++k) m |= std::binary_search(tr.begin(), tr.end(), id(tail0[k])) << k;
        masks.push_back(m);
      }
      for (int mask = 0; mask < 1 << tlen0; ++mask) {
        std::vector<int> s{h};
        for (int k = 0; k < tlen0; ++k)
          if (mask >> k & 1) s.push_back(tail0[k]);
        if (std::count_if(masks.begin(), masks.end(), [mask](int m) { return (m & mask) == mask; }) < minsup || held(s))
          continue;
        for (int item : pushed)
          ASSERT_NE(std::find(s.begin(), s.end(), item), s.end()) << "a frequent extension without " << item;
      }
      const int with_support = support(with_pushed);
      ++outcomes[static_cast<int>(x.outcome)];
      if (x.outcome == Outcome::infrequent) {
        EXPECT_LT(with_support, minsup);
        continue;
      }
      ASSERT_GE(with_support, minsup);
      std::vector<int> rest;
      for (int q : tail0) {
        std::vector<int> more = with_pushed;
        more.push_back(q);
        if (std::find(pushed.begin(), pushed.end(), q) == pushed.end() && support(more) >= minsup) rest.push_back(q);
      }
      std::vector<int> everything = with_pushed;
      everything.insert(everything.end(), rest.begin(), rest.end());
      EXPECT_EQ(x.outcome == Outcome::covered, held(everything));
      if (x.outcome == Outcome::covered) continue;
      EXPECT_EQ(std::vector<int>(ws.tail.begin(), ws.tail.begin() + x.tail_length), rest);
      for (int q : rest) {
        std::vector<int> more = with_pushed;
        more.push_back(q);
        EXPECT_EQ(ws.supp[static_cast<std::size_t>(q)], support(more)) << q;
      }
      int counted = 0;
      for (int k = 0; k < node_count; ++k) counted += nodes[static_cast<std::size_t>(k)]->count;
      EXPECT_EQ(counted, with_support) << "the nodes kept are those holding the pushed items";
    }
    if (HasFailure()) break;
  }
  for (int n : outcomes) EXPECT_GT(n, 10);
}

}  // namespace
}  // namespace zub
