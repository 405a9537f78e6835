// The paired descending sort, whose order of equal keys fixes the item order
// of every tree, and the sorted batch of the main tree's build.
#include "trees/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "trees/sorted_batch.h"

namespace zub {
namespace {

// Equal keys: kept in input order by the insertion sort (up to nine
// entries), exchanged by the middle-pivot partition above that.
TEST(Sort, OrderOfEqualKeys) {
  const struct {
    std::vector<int> key;
    int from, to;
    std::vector<int> sorted, companions;
  } cases[] = {
      {{3, 5, 5, 1}, 0, 3, {5, 5, 3, 1}, {1, 2, 0, 3}},
      {{0, 0, 5, 3, 9, 9, 1, 7, 7, 2, 8, 4, 6, 6}, 2, 13, {0, 0, 9, 9, 8, 7, 7, 6, 6, 5, 4, 3, 2, 1},
       {0, 1, 4, 5, 10, 8, 7, 13, 12, 2, 11, 3, 9, 6}},
      {std::vector<int>(10, 5), 0, 9, std::vector<int>(10, 5), {8, 7, 6, 5, 4, 3, 2, 1, 0, 9}},
      {std::vector<int>(9, 5), 0, 8, std::vector<int>(9, 5), {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {{4, 1, 9}, 2, 1, {4, 1, 9}, {0, 1, 2}},
  };
  for (const auto& c : cases) {
    std::vector<int> key = c.key, other(key.size());
    for (std::size_t k = 0; k < other.size(); ++k) other[k] = static_cast<int>(k);
    sort(key.data(), other.data(), c.from, c.to);
    EXPECT_EQ(key, c.sorted);
    EXPECT_EQ(other, c.companions);
  }
}

TEST(Sort, RandomRangesEndDescendingWithCompanionsAttached) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + static_cast<int>(rng() % 200);
    const int lo = static_cast<int>(rng() % n);
    const int hi = lo + static_cast<int>(rng() % (n - lo));
    std::vector<int> key(n), other(n);
    for (int k = 0; k < n; ++k) {
      key[k] = static_cast<int>(rng() % 12);
      other[k] = k * 100 + key[k];  // the companion remembers its key and place
    }
    const std::vector<int> before = key;
    sort(key.data(), other.data(), lo, hi);
    for (int k = 0; k < n; ++k) {
      ASSERT_EQ(other[k] % 100, key[k]);
      if (k < lo || k > hi) {
        ASSERT_EQ(other[k], k * 100 + before[k]) << "outside the range";
      }
    }
    EXPECT_TRUE(std::is_sorted(key.begin() + lo, key.begin() + hi + 1, std::greater<int>()));
  }
  const int a[] = {1, 3, 5}, b[] = {3, 4, 5};
  int result[3] = {};
  EXPECT_EQ(intersect(a, 3, b, 3, result), 2);
  EXPECT_EQ(std::vector<int>(result, result + 2), (std::vector<int>{3, 5}));
}

// Random batches of ascending positions below limits from 1 to 2^31 - 1,
// many sharing long prefixes: sorted, they come in lexicographic order.
TEST(SortedBatch, OrdersLexicographicallyWhateverThePositionRange) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (const int limit : {1, 2, 3, 15, 16, 17, 1000, 1 << 16, (1 << 21) + 1, 2147483647}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::vector<int>> transactions;
      std::vector<int> shared;
      for (int k = 0, n = pick(0, 300); k < n; ++k) {
        if (k % 40 == 0) {
          shared.clear();
          const int length = pick(0, 12);
          for (long long q = pick(0, limit - 1); q < limit && static_cast<int>(shared.size()) < length; q += pick(1, 3))
            shared.push_back(static_cast<int>(q));
        }
        std::vector<int> t = pick(0, 2) != 0 ? shared : std::vector<int>{};
        for (int m = 0, more = pick(0, 6); m < more; ++m) {
          const int lo = t.empty() ? 0 : t.back() + 1;
          if (lo >= limit) break;
          const long long hi = std::min<long long>(limit - 1, lo + 5LL + limit / 64);
          t.push_back(pick(0, 3) == 0 ? lo : pick(lo, static_cast<int>(hi)));
        }
        if (t.empty()) t.push_back(pick(0, limit - 1));
        transactions.push_back(t);
      }
      SortedBatch batch;
      for (const auto& t : transactions) batch.add(t.data(), static_cast<int>(t.size()));
      batch.sort(limit);
      std::sort(transactions.begin(), transactions.end());
      ASSERT_EQ(batch.size(), transactions.size());
      for (std::size_t k = 0; k < transactions.size(); ++k) {
        int length;
        const int* items = batch.transaction(k, length);
        ASSERT_EQ(std::vector<int>(items, items + length), transactions[k]) << "limit " << limit << ", entry " << k;
      }
    }
  }
}

}  // namespace
}  // namespace zub
