// The walks of the main tree from one head position, on random databases
// against supports counted from the transactions: the pattern base (along the
// chain and from the pair rows), the first-MFI lookahead in its three forms,
// head extension against random recorded itemsets, and pair counting.
#include <gtest/gtest.h>

#include <random>

#include "miners/miners.h"
#include "support/prepared.h"
#include "support/random_db.h"

namespace zub {
namespace {

using namespace zub::test;

// A random database read and prepared (main-tree items are positions); at
// support 0 every id up to the largest is frequent, also one never seen.
struct Seeded {
  RandomDb db;
  int minsup;
  Prepared p;
  Seeded(std::uint32_t seed, const Tuning& tuning)
      : db(random_db(seed)), minsup(seed % 10 == 0 && db.largest_id < 30 ? 0 : 1 + static_cast<int>(seed % 3)),
        p(db.text, request(minsup, MiningTarget::maximal, tuning)) {}
  int support(const std::vector<int>& items) const { return support_of(db.transactions, p.ids(items)); }
};

// The tail of each position (also the lowest of it by the pair counts): the
// lower items frequent with it, ascending, their supports in supp; with set_top_support the highest one's support
// goes to the stack's top. The lookahead's variants find the same greedy
// itemset, frequent with the support reported, to which no lower item can be
// added; first_mfi_3 orders the tail by support and accepts items greedily.
TEST(HeadWalks, PatternBaseAndLookaheadAgreeWithTheData) {
  int rows = 0, accepted = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    Tuning tuning;
    if (seed % 2 == 0) tuning.dense_pair_cells = 0;
    Seeded s(seed, tuning);
    FI_tree& t = s.p.tree();
    Workspace& ws = s.p.ws();
    stack& list = s.p.list();
    for (int pos = 0; pos < t.num_items(); ++pos) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " position " + std::to_string(pos));
      std::vector<int> tail, supp(ws.trees.supp.size(), 0);
      for (int q = 0; q < pos; ++q) {
        supp[q] = s.support({q, pos});
        if (supp[q] >= s.minsup) tail.push_back(q);
        if (supp[q] < s.minsup) supp[q] = 0;
      }
      for (int from_pairs = 0; from_pairs < 1 + t.has_pair_row(pos); ++from_pairs) {
        rows += from_pairs;
        const bool top = (pos + from_pairs) % 2 == 0;
        list.items[0] = pos;
        list.len = 1;
        list.item_supports[0] = -1;
        std::fill(ws.trees.supp.begin(), ws.trees.supp.end(), 0);
        const int k = from_pairs ? t.pattern_base_from_pairs(pos, top) : t.walk_pattern_base(t.head(pos), top);
        ASSERT_EQ(std::vector<int>(ws.trees.tail.begin(), ws.trees.tail.begin() + k), tail)
            << "from pairs " << from_pairs;
        ASSERT_EQ(std::vector<int>(ws.trees.supp.begin(), ws.trees.supp.end()), supp);
        EXPECT_EQ(list.item_supports[0], top && k > 0 ? supp[tail.back()] : -1);
      }
      EXPECT_TRUE(!t.has_pair_row(pos) || t.next_frequent_pair(pos, 0) == (tail.empty() ? pos : tail.front()));
      std::vector<int> found[2];
      int support[2];
      for (int variant : {0, 1}) {
        list.len = 0;
        const int n = variant == 0 ? first_mfi(ws, t, t.head(pos), support[0])
                                   : first_mfi_2(ws, t, t.head(pos), support[1]);
        found[variant].assign(list.items, list.items + list.len);
        ASSERT_EQ(n, list.len);
      }
      EXPECT_EQ(found[0], found[1]);
      EXPECT_EQ(support[0], support[1]);
      ASSERT_EQ(found[0].back(), pos) << "the head item is pushed last";
      EXPECT_TRUE(std::is_sorted(found[0].begin(), found[0].end()));
      EXPECT_EQ(support[0], s.support(found[0]));
      for (int q : tail) {
        std::vector<int> bigger = found[0];
        bigger.push_back(q);
        EXPECT_TRUE(std::count(found[0].begin(), found[0].end(), q) || s.support(bigger) < s.minsup)
            << q << " could join";
      }
      accepted += static_cast<int>(found[0].size()) - 1;
      // first_mfi_3 over the tail, with its supports in supp.
      const int k = static_cast<int>(tail.size());
      std::vector<int> items = tail, rank(ws.frequent), keys(k + 1), result(k + 1), lengths(k + 1);
      std::vector<std::vector<int>> store(k + 1, std::vector<int>(ws.trees.max_width));
      std::vector<int*> lists;
      for (auto& l : store) lists.push_back(l.data());
      int support3 = -1;
      const int m = first_mfi_3(ws, t, t.head(pos), support3, items.data(), k, rank.data(), keys.data(), result.data(),
                                lists.data(), lengths.data());
      std::vector<int> greedy{pos}, item_supports;
      for (int x : items) {
        item_supports.push_back(supp[x]);
        std::vector<int> more = greedy;
        more.push_back(x);
        if (greedy.size() == 1 || s.support(more) >= s.minsup) greedy = more;
      }
      EXPECT_TRUE(std::is_sorted(item_supports.rbegin(), item_supports.rend())) << "by descending support";
      EXPECT_TRUE(std::is_permutation(items.begin(), items.end(), tail.begin(), tail.end()));
      EXPECT_EQ(std::vector<int>(result.begin(), result.begin() + m),
                std::vector<int>(greedy.begin() + 1, greedy.end()));
      EXPECT_EQ(support3, k == 0 ? 0 : s.support(greedy));
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(rows, 300);
  EXPECT_GT(accepted, 500);
}

// Head extension with random recorded itemsets (one misses exactly one tail
// item): every pushed item is in each frequent extension of the head that no
// recorded itemset holds, and each outcome says what the data says.
TEST(HeadWalks, HeadIncreaseAgreesWithTheData) {
  std::mt19937 rng(5);
  int outcomes[3] = {};
  for (std::uint32_t seed = 1; seed <= 400; ++seed) {
    Seeded s(seed, Tuning{});
    FI_tree& t = s.p.tree();
    Workspace& ws = s.p.ws();
    // Ascending heads: what was recorded for a lower head does not hold this one.
    for (int h = 1; h < t.num_items(); ++h) {
      std::fill(ws.trees.supp.begin(), ws.trees.supp.end(), 0);
      const int tlen0 = t.walk_pattern_base(t.head(h), false);
      if (tlen0 < 2 || tlen0 > 12) continue;
      const std::vector<int> tail0(ws.trees.tail.begin(), ws.trees.tail.begin() + tlen0);
      std::vector<std::vector<int>> recorded;
      for (int r = 0; r < 2 + static_cast<int>(rng() % 4); ++r) {
        std::vector<int> items{h};
        const int missed = static_cast<int>(rng() % tlen0);
        for (int k = 0; k < tlen0; ++k)
          if (k != missed && (r < 2 || rng() % 2 == 0)) items.push_back(tail0[k]);
        if (r == 1 && rng() % 2 == 0) continue;
        s.p.root_mfi().enter(items.data(), static_cast<int>(items.size()), 0);
        std::sort(items.begin(), items.end());
        recorded.push_back(items);
      }
      ASSERT_FALSE(s.p.root_mfi().is_subset(h, ws.trees.tail.data(), tlen0));
      std::vector<Fnode*> nodes;
      for (const NodeRef r : t.chain(h)) nodes.push_back(t.node(r));
      int node_count = static_cast<int>(nodes.size());
      stack& list = s.p.list();
      list.items[0] = h;
      list.len = 1;
      const HeadExtension x = head_increase(ws, t, ws.trees.tail.data(), tlen0, nodes.data(), node_count);

      SCOPED_TRACE("seed " + std::to_string(seed) + ", head " + std::to_string(h));
      std::vector<int> pushed(list.items + 1, list.items + list.len), with_pushed = pushed;
      ASSERT_EQ(x.pushed, static_cast<int>(pushed.size()));
      ASSERT_GE(x.pushed, 1);
      with_pushed.push_back(h);
      auto held = [&](std::vector<int> items) {
        std::sort(items.begin(), items.end());
        return std::any_of(recorded.begin(), recorded.end(), [&](const std::vector<int>& r) {
          return std::includes(r.begin(), r.end(), items.begin(), items.end());
        });
      };
      // The tail items of each transaction that holds the head, as bits.
      std::vector<int> masks;
      auto holds = [&](const Itemset& tr, int item) {
        return std::binary_search(tr.begin(), tr.end(), s.p.ids({item})[0]);
      };
      for (const auto& tr : s.db.transactions) {
        int m = 0;
        for (int k = 0; k < tlen0; ++k) m |= holds(tr, tail0[k]) << k;
        if (holds(tr, h)) masks.push_back(m);
      }
      for (int mask = 0; mask < 1 << tlen0; ++mask) {
        std::vector<int> set{h};
        for (int k = 0; k < tlen0; ++k)
          if (mask >> k & 1) set.push_back(tail0[k]);
        if (std::count_if(masks.begin(), masks.end(), [mask](int m) { return (m & mask) == mask; }) < s.minsup ||
            held(set))
          continue;
        for (int item : pushed) ASSERT_TRUE(std::count(set.begin(), set.end(), item)) << "an extension without " << item;
      }
      const int with_support = s.support(with_pushed);
      ++outcomes[static_cast<int>(x.outcome)];
      EXPECT_EQ(x.outcome == HeadExtension::Outcome::infrequent, with_support < s.minsup);
      if (x.outcome == HeadExtension::Outcome::infrequent) continue;
      std::vector<int> rest, everything = with_pushed;
      for (int q : tail0) {
        std::vector<int> more = with_pushed;
        more.push_back(q);
        if (!std::count(pushed.begin(), pushed.end(), q) && s.support(more) >= s.minsup) rest.push_back(q);
      }
      everything.insert(everything.end(), rest.begin(), rest.end());
      EXPECT_EQ(x.outcome == HeadExtension::Outcome::covered, held(everything));
      if (x.outcome == HeadExtension::Outcome::covered) continue;
      EXPECT_EQ(std::vector<int>(ws.trees.tail.begin(), ws.trees.tail.begin() + x.tail_length), rest);
      for (int q : rest) {
        std::vector<int> more = with_pushed;
        more.push_back(q);
        EXPECT_EQ(ws.trees.supp[static_cast<std::size_t>(q)], s.support(more)) << q;
      }
      int counted = 0;
      for (int k = 0; k < node_count; ++k) counted += nodes[static_cast<std::size_t>(k)]->count;
      EXPECT_EQ(counted, with_support) << "the nodes kept are those holding the pushed items";
    }
    if (HasFailure()) break;
  }
  for (int n : outcomes) EXPECT_GT(n, 10);
}

// fill_count takes the positions marked in `origin`, restores the marks, and
// adds the count to each of their pairs that has a row.
TEST(HeadWalks, FillCountAddsToThePairsOfTheMarkedPositions) {
  std::mt19937 rng(9);
  Prepared p(nested_db(9), request(1));  // nine items: pair rows, positions equal ids
  FI_tree& t = p.tree();
  ASSERT_TRUE(t.has_pair_counts());
  for (int round = 0; round < 200; ++round) {
    std::vector<int> origin(9, -1), marked;
    for (int q = 0; q < 9; ++q)
      if (rng() % 3 == 0) marked.push_back(origin[static_cast<std::size_t>(q)] = q);
    std::vector<std::vector<int>> before(9, std::vector<int>(9));
    for (int a = 1; a < 9; ++a)
      for (int b = 0; b < a; ++b) before[a][b] = t.pair_count(b, a);
    const int count = 1 + static_cast<int>(rng() % 5);
    t.fill_count(origin.data(), count);
    EXPECT_EQ(origin, std::vector<int>(9, -1));
    EXPECT_EQ(std::vector<int>(p.ws().trees.build.positions.begin(), p.ws().trees.build.positions.begin() + marked.size()), marked);
    for (int a = 1; a < 9; ++a)
      for (int b = 0; b < a; ++b) {
        const bool both = std::count(marked.begin(), marked.end(), a) && std::count(marked.begin(), marked.end(), b);
        ASSERT_EQ(t.pair_count(b, a), before[a][b] + (both && t.has_pair_row(a) ? count : 0)) << b << "," << a;
      }
  }
}

}  // namespace
}  // namespace zub
