#include "support/brute_force.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <string_view>
#include <unordered_map>

namespace zub::test {

namespace {

using Bits = std::vector<std::uint64_t>;

int popcount(const Bits& b) {
  int n = 0;
  for (auto w : b) n += __builtin_popcountll(w);
  return n;
}

void extend(const std::vector<int>& items, const std::vector<Bits>& cover, std::size_t next,
            Itemset& current, const Bits& tids, int minsup, Mined& out) {
  for (std::size_t k = next; k < items.size(); ++k) {
    Bits joined(tids.size());
    for (std::size_t w = 0; w < tids.size(); ++w) joined[w] = tids[w] & cover[k][w];
    const int support = popcount(joined);
    if (support < minsup) continue;
    current.push_back(items[k]);
    out[current] = support;
    extend(items, cover, k + 1, current, joined, minsup, out);
    current.pop_back();
  }
}

}  // namespace

Mined all_frequent(const Database& db, int minsup) {
  const std::size_t words = (db.size() + 63) / 64;
  std::map<int, Bits> by_item;
  for (std::size_t t = 0; t < db.size(); ++t)
    for (int x : db[t]) {
      auto& b = by_item[x];
      b.resize(words);
      b[t / 64] |= std::uint64_t(1) << (t % 64);
    }
  std::vector<int> items;
  std::vector<Bits> cover;
  for (auto& [x, b] : by_item)
    if (popcount(b) >= minsup) {
      items.push_back(x);
      cover.push_back(b);
    }
  Bits all(words, 0);
  for (std::size_t t = 0; t < db.size(); ++t) all[t / 64] |= std::uint64_t(1) << (t % 64);
  Mined out;
  Itemset current;
  extend(items, cover, 0, current, all, minsup, out);
  return out;
}

namespace {

// Keeps the itemsets of `frequent` that no frequent itemset with one more
// item covers: covers at all (maximal) or with the same support (closed).
// Frequent itemsets are closed under subsets, and a superset of the same
// support has a one-item-larger one of that support, so this is the whole
// test. Each itemset marks its one-item-smaller subsets, found by hash.
Mined uncovered(const Mined& frequent, bool same_support) {
  struct Entry {
    int support;
    bool covered;
  };
  auto key_of = [](const Itemset& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(int));
  };
  std::unordered_map<std::string, Entry> by_key;
  by_key.reserve(frequent.size() * 2);
  for (auto& [s, support] : frequent) by_key.emplace(key_of(s), Entry{support, false});
  Itemset smaller;
  for (auto& [s, support] : frequent)
    for (std::size_t drop = 0; drop < s.size(); ++drop) {
      smaller.assign(s.begin(), s.end());
      smaller.erase(smaller.begin() + static_cast<long>(drop));
      auto it = by_key.find(key_of(smaller));
      if (it != by_key.end() && (!same_support || it->second.support == support)) it->second.covered = true;
    }
  Mined out;
  for (auto& [s, support] : frequent)
    if (!by_key[key_of(s)].covered) out[s] = support;
  return out;
}

}  // namespace

Mined maximal_of(const Mined& frequent) { return uncovered(frequent, false); }
Mined closed_of(const Mined& frequent) { return uncovered(frequent, true); }

namespace {
// The largest id of `db`, -1 when it has none.
int largest_id(const Database& db) {
  int largest = -1;
  for (auto& t : db)
    for (int x : t) largest = std::max(largest, x);
  return largest;
}
}  // namespace

// Every set of ids 0 to the largest (none without an id) is frequent.
Mined brute_force_frequent(const Database& db, int minsup) {
  if (minsup >= 1) return all_frequent(db, minsup);
  const int largest = largest_id(db);
  EXPECT_LE(largest, 16) << "too many ids to take every set of them";
  Mined out;
  for (std::uint32_t mask = 1; mask < (std::uint32_t(1) << (largest + 1)); ++mask) {
    Itemset s;
    for (int x = 0; x <= largest; ++x)
      if (mask & (std::uint32_t(1) << x)) s.push_back(x);
    out[s] = static_cast<int>(std::count_if(db.begin(), db.end(), [&](const Itemset& t) {
      return std::includes(t.begin(), t.end(), s.begin(), s.end());
    }));
  }
  return out;
}

Mined brute_force_maximal(const Database& db, int minsup) {
  if (minsup >= 1) return maximal_of(all_frequent(db, minsup));
  const int largest = largest_id(db);
  if (largest < 0) return {};
  Itemset everything;
  for (int x = 0; x <= largest; ++x) everything.push_back(x);
  return Mined{{everything, static_cast<int>(std::count_if(db.begin(), db.end(), [&](const Itemset& t) {
                  return std::set<int>(t.begin(), t.end()).size() == everything.size();
                }))}};
}

Mined parse_itemsets(const std::string& text, int* lines) {
  Mined out;
  int count = 0;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    EXPECT_NE(eol, nullptr) << "last line without a line feed";
    if (eol == nullptr) eol = end;
    const std::string_view line(p, static_cast<std::size_t>(eol - p));
    ++count;
    // Each item is digits and one blank, then "(digits)" ends the line.
    Itemset items;
    const char* q = p;
    bool ok = true;
    while (ok && q < eol && *q != '(') {
      long v = 0;
      ok = digit(*q);
      while (q < eol && digit(*q)) v = v * 10 + (*q++ - '0');
      ok = ok && q < eol && *q++ == ' ';
      items.push_back(static_cast<int>(v));
    }
    long support = 0;
    ok = ok && q < eol && *q++ == '(' && q < eol && digit(*q);
    while (ok && q < eol && digit(*q)) support = support * 10 + (*q++ - '0');
    ok = ok && q + 1 == eol && *q == ')';
    EXPECT_TRUE(ok) << "malformed line: " << line;
    if (!ok) return out;
    p = eol + 1;
    std::sort(items.begin(), items.end());
    EXPECT_TRUE(std::adjacent_find(items.begin(), items.end()) == items.end()) << "repeated item: " << line;
    const bool fresh = out.emplace(std::move(items), static_cast<int>(support)).second;
    EXPECT_TRUE(fresh) << "itemset written twice: " << line;
  }
  if (lines != nullptr) *lines = count;
  return out;
}

std::string describe(const Mined& m, std::size_t limit) {
  std::ostringstream s;
  std::size_t n = 0;
  for (auto& [items, support] : m) {
    if (n++ == limit) {
      s << "... (" << m.size() << " in all)\n";
      break;
    }
    for (int x : items) s << x << ' ';
    s << '(' << support << ")\n";
  }
  return s.str();
}

}  // namespace zub::test
