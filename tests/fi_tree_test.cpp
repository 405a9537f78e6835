#include "fp_tree/fi_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "run/main_tree.h"
#include "io/data.h"
#include "support/prepared.h"
#include "support/random_db.h"
#include "support/test_support.h"
#include "support/tree_checks.h"

namespace zub {
namespace {

// The main tree of a database given as text.
struct Built {
  std::unique_ptr<Context> ctx = std::make_unique<Context>();
  MainTree main;
  FI_tree* tree() const { return main.tree; }
};

// batch_positions 0 keeps the default batches, a database that fits one is
// built as one; otherwise the database is built in batches of that size with
// child links, unless single_batch_positions allows one batch.
Built build(const std::string& content, int threshold, bool sparse_pairs = false, std::size_t batch_positions = 0,
            std::size_t single_batch_positions = 0) {
  test::TempDir dir;
  dir.write("db", content);
  Built b;
  b.ctx->THRESHOLD = threshold;
  if (sparse_pairs) b.ctx->dense_pair_cells = 0;
  if (batch_positions != 0) {
    b.ctx->build_batch_positions = batch_positions;
    b.ctx->single_batch_positions = single_batch_positions;
  }
  Data data(dir.file("db").c_str());
  b.main = build_main_tree(*b.ctx, data);
  b.main.tree->make_chains();  // the sparse pairs are counted along them
  return b;
}

// The counts of position pos's chain, made afresh from the tree's nodes.
std::vector<int> chain_counts(FI_tree& t, int pos) {
  t.make_chains();
  std::vector<int> counts;
  for (const NodeRef r : t.chain(pos)) counts.push_back(t.node(r)->count);
  return counts;
}

std::vector<int> child_items(const FI_tree& t, NodeRef n) {
  std::vector<int> items;
  const auto children = test::children_of(t);
  if (const auto found = children.find(n); found != children.end())
    for (const NodeRef c : found->second) items.push_back(t.node(c)->item);
  return items;
}

TEST(FirstScan, WorkedExample) {
  Built b = build("1 2\n1 2 3\n2\n", 2);
  const Context& c = *b.ctx;
  EXPECT_EQ(b.tree()->num_items, 2);
  EXPECT_EQ(c.ITEM_NO, 2);
  EXPECT_EQ(c.TRANSACTION_NO, 3);
  EXPECT_EQ(c.order_item, (std::vector<int>{2, 1}));
  EXPECT_EQ(c.item_order, (std::vector<int>{-1, 1, 0, -1}));
  EXPECT_EQ(b.tree()->supports[0], 3);
  EXPECT_EQ(b.tree()->supports[1], 2);
  EXPECT_EQ(b.tree()->heads[1]->count, 2);
  EXPECT_EQ(b.tree()->pair_counts, nullptr);
}

TEST(FirstScan, EmptyFileAndThresholdZero) {
  Built none = build("", 1);
  EXPECT_EQ(none.ctx->TRANSACTION_NO, 0);
  EXPECT_EQ(none.tree()->num_items, 0);
  // At threshold 0 every id up to the largest is frequent, even unseen ones,
  // and they sort behind the ids that occur.
  Built all = build("", 0);
  EXPECT_EQ(all.tree()->num_items, 1);
  Built gaps = build("3\n3 1\n\n", 0);
  EXPECT_EQ(gaps.ctx->TRANSACTION_NO, 3);
  EXPECT_EQ(gaps.ctx->order_item, (std::vector<int>{3, 1, 0, 2}));
  EXPECT_EQ(gaps.tree()->supports[3], 0);
}

TEST(FirstScan, ShareOfTheTransactionsSetsTheThreshold) {
  // 7 transactions, half of them: at least 3.5, so 4. Item 1 is in 4, item 2 in 3.
  for (auto [numerator, denominator, threshold, frequent] :
       {std::tuple{1, 2, 4, 1}, std::tuple{3, 7, 3, 2}, std::tuple{0, 100, 0, 4}}) {
    test::TempDir dir;
    dir.write("db", "1 2\n1 2\n1 2\n1 3\n3\n\n\n");
    Built b;
    b.ctx->THRESHOLD = 99;
    b.ctx->threshold_share = SupportShare{std::uint64_t(numerator), std::uint64_t(denominator)};
    Data data(dir.file("db").c_str());
    b.main = build_main_tree(*b.ctx, data);
    EXPECT_EQ(b.ctx->THRESHOLD, threshold) << numerator << "/" << denominator;
    EXPECT_EQ(b.main.frequent, frequent) << "at 0, ids 0 to 3 are frequent";
  }
}

TEST(FirstScan, GrowingCountArrayKeepsEarlierCounts) {
  Built b = build("5 100\n150 5\n100 99\n", 2);
  // The two frequent ids tie; with 151 ids the quicksort phase orders them.
  std::vector<int> frequent = b.ctx->order_item;
  std::sort(frequent.begin(), frequent.end());
  EXPECT_EQ(frequent, (std::vector<int>{5, 100}));
  EXPECT_EQ(b.tree()->supports[0], 2);
  EXPECT_EQ(b.tree()->supports[1], 2);
  EXPECT_EQ(b.ctx->item_order.size(), 151u);
  EXPECT_EQ(b.ctx->item_order[150], -1);
}

TEST(FirstScan, RepeatedIdCountsOncePerTransaction) {
  Built b = build("5 5 5\n5\n6\n7 7\n", 2);
  EXPECT_EQ(b.tree()->num_items, 1);
  EXPECT_EQ(b.ctx->order_item, (std::vector<int>{5}));
  EXPECT_EQ(b.tree()->supports[0], 2);
  EXPECT_EQ(chain_counts(*b.tree(), 0), (std::vector<int>{2})) << "the tree agrees with the header";
}

TEST(FirstScan, EqualSupportsKeepAscendingIdOrder) {
  // Nine ids (0 to 8): the sort is an insertion sort, which keeps ties in id order.
  Built b = build("4 2\n2 4\n8\n", 1);
  EXPECT_EQ(b.ctx->order_item, (std::vector<int>{2, 4, 8}));
}

TEST(FirstScan, PairsOnlyAboveFiveItems) {
  Built five = build("0 1 2 3 4\n", 1);
  EXPECT_FALSE(five.tree()->has_pair_row(4));
  Built six = build("0 1 2 3 4 5\n", 1);
  EXPECT_TRUE(six.tree()->has_pair_row(5));
  ASSERT_NE(six.tree()->pair_counts, nullptr) << "a small triangle is dense";
  EXPECT_EQ(six.tree()->pair_rows, 5);
  for (int r = 0; r + 1 < 5; ++r)  // rows lie back to back: row r has 5 - r entries
    EXPECT_EQ(six.ctx->main_pair_rows[r + 1] - six.ctx->main_pair_rows[r], 5 - r);
  Built sparse = build("0 1 2 3 4 5\n", 1, true);
  EXPECT_EQ(sparse.tree()->pair_counts, nullptr);
  EXPECT_NE(sparse.tree()->frequent_pairs, nullptr);
}

// The main tree's pairs, dense and sparse, against pair supports counted
// from the data: a frequent pair has its true support, any other is reported
// below the threshold.
TEST(SecondScan, FrequentPairsMatchTheData) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    // At 0 every id is frequent and every pair too, also one that never occurs.
    const int threshold = seed % 5 == 0 && db.largest_id < 100 ? 0 : 1 + static_cast<int>(seed % 4);
    Built b = build(db.text, threshold, seed % 2 == 0);
    const FI_tree& t = *b.tree();
    if (t.num_items <= 5) continue;
    for (int a = 1; a < t.num_items; ++a) {
      int lowest_frequent = a;
      for (int q = 0; q < a; ++q) {
        const int x = b.ctx->order_item[q], y = b.ctx->order_item[a];
        int truth = 0;
        for (const auto& tr : db.transactions)
          truth += std::binary_search(tr.begin(), tr.end(), x) && std::binary_search(tr.begin(), tr.end(), y);
        const int got = t.pair_count(q, a);
        if (truth >= threshold) {
          ASSERT_EQ(got, truth) << "seed " << seed << " pair " << x << "," << y;
          lowest_frequent = std::min(lowest_frequent, q);
        } else {
          ASSERT_LT(got, threshold) << "seed " << seed << " pair " << x << "," << y;
        }
      }
      ASSERT_EQ(t.next_frequent_pair(a, 0), lowest_frequent) << "seed " << seed;
    }
  }
}

TEST(SecondScan, PairCountsOfOneTransaction) {
  // Single-item lines make ids 0..5 the positions 0..5.
  Built b = build("0\n0\n0\n0\n0\n0\n1\n1\n1\n1\n1\n2\n2\n2\n2\n3\n3\n3\n4\n4\n5\n0 2 5\n", 1);
  const FI_tree& t = *b.tree();
  ASSERT_EQ(b.ctx->order_item, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  ASSERT_TRUE(t.has_pair_row(5));
  for (int a = 1; a < t.num_items; ++a) {
    for (int b_pos = 0; b_pos < a; ++b_pos) {
      const bool in_transaction = (a == 5 && (b_pos == 2 || b_pos == 0)) || (a == 2 && b_pos == 0);
      EXPECT_EQ(t.pair_count(b_pos, a), in_transaction ? 1 : 0) << "pair " << b_pos << "," << a;
    }
  }
}

TEST(SecondScan, TreeShapeCountsAndChains) {
  Built b = build("1 2\n1 3\n1 2\n\n7\n2\n", 1);
  FI_tree& t = *b.tree();
  // Supports: 1 and 2 three times, 3 and 7 once; positions 1, 2, 3, 7.
  ASSERT_EQ(b.ctx->order_item, (std::vector<int>{1, 2, 3, 7}));
  EXPECT_EQ(child_items(t, t.root_ref), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(child_items(t, test::children_of(t)[t.root_ref].front()), (std::vector<int>{1, 2}));
  EXPECT_EQ(chain_counts(t, 1), (std::vector<int>{1, 2})) << "the root's child 2 is newest";
  EXPECT_EQ(b.ctx->width, (std::vector<int>{1, 2, 1, 1}));
  EXPECT_EQ(b.ctx->bran, (std::vector<int>{0, 0, 0, 0}));
  // 3 nodes at depth 1, 2 at depth 2: two levels, no quarter.
  EXPECT_EQ(t.level_25_percent, 0.0);
}

TEST(SecondScan, NoFrequentItemLeavesTheRootAlone) {
  Built b = build("1\n2\n\n", 0);
  // Threshold 0: ids 0, 1, 2 all frequent; the id-0 item has no node.
  EXPECT_EQ(b.tree()->num_items, 3);
  Built empty = build("\n\n", 0);
  EXPECT_EQ(child_items(*empty.tree(), empty.tree()->root_ref), std::vector<int>{});
  EXPECT_TRUE(std::isnan(empty.tree()->level_25_percent));
}

// The ascending positions of each transaction of a database.
std::vector<std::vector<int>> positions_of(const test::Database& transactions, const Built& b) {
  std::vector<std::vector<int>> all;
  for (const auto& tr : transactions) {
    std::vector<int> positions;
    for (int x : tr)
      if (x < static_cast<int>(b.ctx->item_order.size()) && b.ctx->item_order[x] >= 0)
        positions.push_back(b.ctx->item_order[x]);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    all.push_back(positions);
  }
  return all;
}

// Built from the whole database as one sorted batch (without child links)
// or from many small ones (with them), the tree is the trie of the
// transactions. Without links the nodes are numbered depth first: every
// node's first child is the next number. The fifth way chooses after a
// first batch of 40 positions.
TEST(SecondScan, WideTreesMatchATrie) {
  for (std::uint32_t seed = 1; seed <= 50; ++seed) {
    const test::RandomDb db = test::random_db(seed, /*wide=*/true);
    const std::size_t batch_positions[] = {0, 1, 7, 100, 40};
    Built b = build(db.text, 1, false, batch_positions[seed % 5], seed % 5 == 4 ? 100000 : 0);
    const FI_tree& t = *b.tree();
    SCOPED_TRACE("seed " + std::to_string(seed));
    if (seed % 5 != 4) {
      ASSERT_EQ(t.child_links, seed % 5 != 0);
    }
    test::Trie trie;
    for (const auto& positions : positions_of(db.transactions, b)) trie.add(positions, 1);
    test::expect_trie(t, trie);
    test::expect_chains_hold_every_node(t);
    if (!t.child_links) {
      for (const auto& [parent, below] : test::children_of(t)) ASSERT_EQ(below.front(), parent + 1);
    }
  }
}

// After a first batch, a small database goes on as one batch when its tree
// promises to be about as large as its transactions, and in batches with
// child links when the transactions repeat (dense data, a small tree).
TEST(SecondScan, OneBatchWhenTheFirstBatchShowsSparseData) {
  std::mt19937 rng(5);
  test::RandomDb sparse, dense;
  for (int t = 0; t < 400; ++t) {
    std::vector<int> basket;
    for (int k = 0; k < 10; ++k) basket.push_back(std::uniform_int_distribution<int>(0, 299)(rng));
    sparse.transactions.push_back(basket);
    dense.transactions.push_back(t % 3 == 0 ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{1, 2, 3});
  }
  for (test::RandomDb* db : {&sparse, &dense}) {
    for (const auto& tr : db->transactions) {
      for (int x : tr) db->text += std::to_string(x) + " ";
      db->text += "\n";
    }
  }
  for (const test::RandomDb* db : {&sparse, &dense}) {
    Built b = build(db->text, 1, false, 100, 100000);
    EXPECT_EQ(b.tree()->child_links, db == &dense) << (db == &dense ? "dense" : "sparse");
    test::Trie trie;
    for (const auto& positions : positions_of(db->transactions, b)) trie.add(positions, 1);
    test::expect_trie(*b.tree(), trie);
  }
  // Beyond the size limit, batches whatever the data.
  Built capped = build(sparse.text, 1, false, 100, 3000);
  EXPECT_TRUE(capped.tree()->child_links);
}

// The single prefix found and taken off a tree without child links agrees
// with the trie and with a tree built in batches: databases where some
// items are in every transaction, some lines holding only those.
TEST(SinglePrefix, OneBatchAndBatchedBuildsAgree) {
  int seen_prefix = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    test::RandomDb db = test::random_db(seed);
    const int common = static_cast<int>(seed % 4);
    for (auto& tr : db.transactions) {
      for (int k = 0; k < common; ++k) tr.push_back(50000 + k);
    }
    if (seed % 3 == 0 && common > 1) db.transactions.push_back({50000});
    db.text.clear();
    for (const auto& tr : db.transactions) {
      for (int x : tr) db.text += std::to_string(x) + " ";
      db.text += "\n";
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    Built one = build(db.text, 1);
    Built batched = build(db.text, 1, false, 1);
    if (one.tree()->num_items == 0) continue;  // an empty database
    ASSERT_FALSE(one.tree()->child_links);
    const std::vector<std::vector<int>> positions = positions_of(db.transactions, one);
    std::size_t total = 0;
    for (const auto& p : positions) total += p.size();
    ASSERT_EQ(batched.tree()->child_links, total > 1) << "a single position is a whole batch";
    // The trie's prefix: from the root down, nodes that are their parent's only child.
    test::Trie trie;
    for (const auto& p : positions) trie.add(p, 1);
    int expected = 0;
    for (const test::Trie* at = &trie; at->children.size() == 1; at = &at->children.begin()->second) ++expected;
    const int length = one.tree()->cal_single_prefix();
    ASSERT_EQ(length, expected);
    ASSERT_EQ(batched.tree()->cal_single_prefix(), expected);
    seen_prefix += length > 0;
    if (length == one.tree()->num_items) continue;  // one path: the driver writes it whole
    // Taken off, the rest hangs from the root, at positions shifted down.
    for (Built* b : {&one, &batched}) {
      b->tree()->remove_single_prefix(length);
      b->tree()->make_chains();
      test::Trie rest;
      for (const auto& p : positions) {
        std::vector<int> below;
        for (int q : p)
          if (q >= length) below.push_back(q - length);
        if (!below.empty()) rest.add(below, 1);
      }
      test::expect_trie(*b->tree(), rest);
      test::expect_chains_hold_every_node(*b->tree());
    }
    test::Capture a(*one.ctx), c(*batched.ctx);
    one.tree()->print(a.file);
    batched.tree()->print(c.file);
    const std::string dump_one = a.text(), dump_batched = c.text();
    // The trees agree but for the order of the chains; the drawn trees are the same.
    EXPECT_EQ(dump_one.substr(dump_one.find("\n\n -1")), dump_batched.substr(dump_batched.find("\n\n -1")));
  }
  EXPECT_GT(seen_prefix, 20);
}

// A tree over n positions (item = position) built by hand.
struct HandTree {
  Context ctx;
  FI_tree* tree;
  explicit HandTree(int n) {
    ctx.fp_buf = std::make_unique<memory>(100, 4096, 4096, 2);
    ctx.ITEM_NO = n;
    ctx.bran.assign(n, 0);
    ctx.width.assign(n, 0);
    ctx.list = std::make_unique<stack>(n, true);
    tree = ctx.fp_buf->take<FI_tree>(1);
    tree->init(&ctx, n, n);
    for (int p = 0; p < n; ++p) {
      tree->item_pos[p] = p;
      tree->heads[p] = ctx.fp_buf->take<Fnode>(1);
      tree->heads[p]->init(kNoNode, p, 0);
    }
  }
  void add(std::vector<int> items, int count = 1) { tree->insert(items.data(), count, int(items.size())); }
};

TEST(Insert, ChildrenStayInPositionOrder) {
  HandTree h(4);
  h.add({2});
  h.add({3});
  h.add({1});  // before every child: becomes the first
  EXPECT_EQ(child_items(*h.tree, h.tree->root_ref), (std::vector<int>{1, 2, 3}));
  h.add({0, 2});
  h.add({0, 1});
  EXPECT_EQ(child_items(*h.tree, h.tree->root_ref), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(child_items(*h.tree, h.tree->links(h.tree->root_ref)->first_child), (std::vector<int>{1, 2}));
  EXPECT_EQ(h.ctx.bran, (std::vector<int>{4, 2, 0, 0}));
}

TEST(Insert, SameItemsetTwiceSharesItsNodes) {
  HandTree h(3);
  h.add({0, 1, 2}, 1);
  h.add({0, 1, 2}, 3);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(chain_counts(*h.tree, p), (std::vector<int>{4}));
  EXPECT_EQ(h.ctx.width, (std::vector<int>{1, 1, 1}));
  h.add({}, 5);
  EXPECT_EQ(chain_counts(*h.tree, 0), (std::vector<int>{4}));
}

TEST(Insert, NodeLinkChainIsNewestFirst) {
  HandTree h(2);
  h.add({1}, 1);     // node A
  h.add({0, 1}, 2);  // node B
  EXPECT_EQ(chain_counts(*h.tree, 1), (std::vector<int>{2, 1}));
}

TEST(SinglePrefix, MeasureAndRemove) {
  HandTree h(4);
  h.add({0, 1, 2});
  h.add({0, 1, 3});
  FI_tree& t = *h.tree;
  t.covered_len = 1;
  EXPECT_EQ(t.cal_single_prefix(), 2);
  EXPECT_FALSE(t.Single_path(false));
  t.make_chains();
  const std::vector<NodeRef> chain3(t.chain(3).begin(), t.chain(3).end());
  t.remove_single_prefix(2);
  EXPECT_EQ(std::vector<NodeRef>(t.chain(1).begin(), t.chain(1).end()), chain3) << "chains follow their positions";
  EXPECT_EQ(t.num_items, 2);
  EXPECT_EQ(t.covered_len, 0);
  EXPECT_EQ(child_items(t, t.root_ref), (std::vector<int>{2, 3}));
  for (NodeRef c = t.links(t.root_ref)->first_child; c != kNoNode; c = t.links(c)->next_sibling)
    EXPECT_EQ(t.node(c)->parent, t.root_ref);
  EXPECT_EQ(t.item_pos[0], -1);
  EXPECT_EQ(t.item_pos[1], -1);
  EXPECT_EQ(t.item_pos[2], 0);
  EXPECT_EQ(t.item_pos[3], 1);
  EXPECT_EQ(t.pos_item[0], 2);
  EXPECT_EQ(t.heads[1]->item, 3);
  EXPECT_EQ(t.cal_single_prefix(), 0);
  t.remove_single_prefix(0);
  EXPECT_EQ(t.num_items, 2);
}

TEST(SinglePrefix, WholePathAndShortCases) {
  HandTree h(3);
  EXPECT_EQ(h.tree->cal_single_prefix(), 0);
  EXPECT_TRUE(h.tree->Single_path(true)) << "a tree without nodes is one path";
  EXPECT_EQ(h.ctx.list->len, 0);
  h.ctx.list->insert(h.tree);
  EXPECT_EQ(h.ctx.list->len, 0);
  h.add({0}, 2);
  EXPECT_EQ(h.tree->cal_single_prefix(), 1);
  h.add({0, 1, 2}, 1);
  EXPECT_EQ(h.tree->cal_single_prefix(), 3);
  ASSERT_TRUE(h.tree->Single_path(true));
  stack& list = *h.ctx.list;
  ASSERT_EQ(list.len, 3);
  EXPECT_EQ(std::vector<int>(list.items, list.items + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(std::vector<int>(list.item_supports, list.item_supports + 3), (std::vector<int>{3, 1, 1}));
  h.tree->covered_len = 1;
  h.tree->remove_single_prefix(3);
  EXPECT_EQ(h.tree->num_items, 0);
  EXPECT_EQ(h.tree->links(h.tree->root_ref)->first_child, kNoNode);
}

TEST(LevelStatistics, ShareOfTheFirstQuarter) {
  HandTree h(8);
  auto level = [&](std::vector<int> per_depth) {
    for (std::size_t d = 0; d < per_depth.size(); ++d) h.ctx.bran[d] = per_depth[d];
    h.tree->cal_level_25();
    for (int v : h.ctx.bran) EXPECT_EQ(v, 0);
    return h.tree->level_25_percent;
  };
  EXPECT_DOUBLE_EQ(level({3, 4, 2, 1}), 30.0);
  EXPECT_DOUBLE_EQ(level({3, 4, 2}), 0.0);
  EXPECT_DOUBLE_EQ(level({2, 3, 1}), 0.0);
  EXPECT_DOUBLE_EQ(level({4, 4, 1, 1}), 40.0);
  EXPECT_TRUE(std::isnan(level({})));
}

}  // namespace
}  // namespace zub
