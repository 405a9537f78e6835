#include "fp_tree/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace zub {
namespace {

TEST(Sort, ShortRangeKeepsEqualKeysInInputOrder) {
  std::vector<int> key{3, 5, 5, 1};
  std::vector<int> other{10, 11, 12, 13};
  sort(key.data(), other.data(), 0, 3);
  EXPECT_EQ(key, (std::vector<int>{5, 5, 3, 1}));
  EXPECT_EQ(other, (std::vector<int>{11, 12, 10, 13}));
}

TEST(Sort, PartitionPhaseFixesTheOrderOfEqualKeys) {
  std::vector<int> key{0, 0, 5, 3, 9, 9, 1, 7, 7, 2, 8, 4, 6, 6};
  std::vector<int> other(14);
  for (int k = 0; k < 14; ++k) other[k] = k;
  sort(key.data(), other.data(), 2, 13);
  EXPECT_EQ(key, (std::vector<int>{0, 0, 9, 9, 8, 7, 7, 6, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(other, (std::vector<int>{0, 1, 4, 5, 10, 8, 7, 13, 12, 2, 11, 3, 9, 6}));
}

TEST(Sort, TenEntriesGoThroughOnePartitionStep) {
  // Ten equal keys: the middle-pivot partition exchanges companions from both
  // ends before the insertion sort, which moves nothing.
  std::vector<int> key(10, 5), other(10);
  for (int k = 0; k < 10; ++k) other[k] = k;
  sort(key.data(), other.data(), 0, 9);
  EXPECT_EQ(other, (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1, 0, 9}));

  // Nine are sorted by insertion alone and keep their order.
  std::vector<int> key9(9, 5), other9{0, 1, 2, 3, 4, 5, 6, 7, 8};
  sort(key9.data(), other9.data(), 0, 8);
  EXPECT_EQ(other9, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Sort, EmptyAndReversedRangesStayUnchanged) {
  std::vector<int> key{4, 1, 9};
  std::vector<int> other{0, 1, 2};
  sort(key.data(), other.data(), 2, 1);
  sort(key.data(), other.data(), 1, 1);
  EXPECT_EQ(key, (std::vector<int>{4, 1, 9}));
  EXPECT_EQ(other, (std::vector<int>{0, 1, 2}));
}

TEST(Sort, RandomArraysEndDescendingWithCompanionsAttached) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + static_cast<int>(rng() % 200);
    const int lo = static_cast<int>(rng() % n);
    const int hi = lo + static_cast<int>(rng() % (n - lo));
    std::vector<int> key(n), other(n);
    for (int k = 0; k < n; ++k) {
      key[k] = static_cast<int>(rng() % 12);
      other[k] = k * 100 + key[k];  // the companion remembers its key
    }
    const std::vector<int> before = key;
    sort(key.data(), other.data(), lo, hi);
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(other[k] % 100, key[k]);
      if (k < lo || k > hi) {
        EXPECT_EQ(key[k], before[k]) << "outside the range";
      }
    }
    EXPECT_TRUE(std::is_sorted(key.begin() + lo, key.begin() + hi + 1, std::greater<int>()));
  }
}

TEST(Sort, IntersectOfAscendingArrays) {
  const int a[] = {1, 3, 5};
  const int b[] = {3, 4, 5};
  int result[3] = {};
  EXPECT_EQ(intersect(a, 3, b, 3, result), 2);
  EXPECT_EQ(result[0], 3);
  EXPECT_EQ(result[1], 5);
}

}  // namespace
}  // namespace zub
