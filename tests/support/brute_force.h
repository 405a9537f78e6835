#pragma once
// An independent miner for small databases: enumerates frequent itemsets
// depth-first over transaction bitsets (no FP-tree), then filters them.
#include <map>
#include <string>
#include <vector>

namespace zub::test {

using Itemset = std::vector<int>;        // ascending item ids
using Database = std::vector<Itemset>;   // one entry per transaction (ids may repeat)
using Mined = std::map<Itemset, int>;    // itemset -> support

// Every frequent itemset (support >= minsup, minsup >= 1).
Mined all_frequent(const Database& db, int minsup);
// The same with the programs' meaning of minsup <= 0: every id from 0 to the
// largest id read is frequent, so every non-empty set of them is (keep the
// largest id small); without any id there is none.
Mined brute_force_frequent(const Database& db, int minsup);
Mined maximal_of(const Mined& frequent);
Mined closed_of(const Mined& frequent);
// Maximal itemsets with the program's meaning of minsup <= 0: every id from 0
// to the largest id read is frequent, so their whole set is the only one.
Mined brute_force_maximal(const Database& db, int minsup);

// Parses itemset lines "id id ... (support)"; fails the test on a malformed
// line or a repeated itemset. Items are sorted for comparison.
Mined parse_itemsets(const std::string& text, int* lines = nullptr);

std::string describe(const Mined& m, std::size_t limit = 20);

}  // namespace zub::test
