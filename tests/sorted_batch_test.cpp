#include "fp_tree/sorted_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace zub {
namespace {

// Random batches of ascending positions below limits from 1 to 2^31 - 1:
// the sorted batch lists them in lexicographic order, each once. Many
// transactions share long prefixes, so comparisons go past the packed key.
TEST(SortedBatch, OrdersLexicographicallyWhateverThePositionRange) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int limits[] = {1, 2, 3, 15, 16, 17, 1000, 1 << 16, (1 << 21) + 1, 2147483647};
  for (const int limit : limits) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::vector<int>> transactions;
      const int n = pick(0, 300);
      std::vector<int> shared;  // a prefix many transactions start with
      for (int k = 0; k < n; ++k) {
        if (k % 40 == 0) {
          shared.clear();
          const int from = pick(0, limit - 1);
          const int length = pick(0, 12);
          for (long long q = from; q < limit && static_cast<int>(shared.size()) < length; q += pick(1, 3))
            shared.push_back(static_cast<int>(q));
        }
        std::vector<int> t = pick(0, 2) != 0 ? shared : std::vector<int>{};
        const int more = pick(0, 6);
        for (int m = 0; m < more; ++m) {
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
      std::vector<std::vector<int>> expected = transactions;
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(batch.size(), expected.size());
      for (std::size_t k = 0; k < expected.size(); ++k) {
        int length;
        const int* items = batch.transaction(k, length);
        ASSERT_EQ(std::vector<int>(items, items + length), expected[k]) << "limit " << limit << ", entry " << k;
      }
    }
  }
}

}  // namespace
}  // namespace zub
