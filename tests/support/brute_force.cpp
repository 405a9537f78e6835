#include "support/brute_force.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <sstream>

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

Mined maximal_of(const Mined& frequent) {
  std::set<int> items;
  for (auto& [s, _] : frequent) items.insert(s.begin(), s.end());
  Mined out;
  for (auto& [s, support] : frequent) {
    bool maximal = true;
    for (int x : items) {
      if (std::binary_search(s.begin(), s.end(), x)) continue;
      Itemset bigger = s;
      bigger.insert(std::upper_bound(bigger.begin(), bigger.end(), x), x);
      if (frequent.count(bigger)) {
        maximal = false;
        break;
      }
    }
    if (maximal) out[s] = support;
  }
  return out;
}

Mined closed_of(const Mined& frequent) {
  std::set<int> items;
  for (auto& [s, _] : frequent) items.insert(s.begin(), s.end());
  Mined out;
  for (auto& [s, support] : frequent) {
    bool closed = true;
    for (int x : items) {
      if (std::binary_search(s.begin(), s.end(), x)) continue;
      Itemset bigger = s;
      bigger.insert(std::upper_bound(bigger.begin(), bigger.end(), x), x);
      auto it = frequent.find(bigger);
      if (it != frequent.end() && it->second == support) {
        closed = false;
        break;
      }
    }
    if (closed) out[s] = support;
  }
  return out;
}

Mined brute_force_maximal(const Database& db, int minsup) {
  if (minsup >= 1) return maximal_of(all_frequent(db, minsup));
  int largest = 0;
  for (auto& t : db)
    for (int x : t) largest = std::max(largest, x);
  Itemset everything;
  for (int x = 0; x <= largest; ++x) everything.push_back(x);
  int support = 0;
  for (auto& t : db) {
    std::set<int> present(t.begin(), t.end());
    if (static_cast<int>(present.size()) == largest + 1) ++support;
  }
  return Mined{{everything, support}};
}

Mined parse_itemsets(const std::string& text, int* lines) {
  Mined out;
  int count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "last line without a line feed";
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++count;
    Itemset items;
    std::size_t p = 0;
    while (p < line.size() && line[p] != '(') {
      std::size_t blank = line.find(' ', p);
      EXPECT_NE(blank, std::string::npos) << "item without its blank: " << line;
      if (blank == std::string::npos) return out;
      items.push_back(std::stoi(line.substr(p, blank - p)));
      p = blank + 1;
    }
    EXPECT_TRUE(p < line.size() && line.back() == ')') << "malformed line: " << line;
    if (p >= line.size()) return out;
    const int support = std::stoi(line.substr(p + 1));
    std::sort(items.begin(), items.end());
    EXPECT_TRUE(std::adjacent_find(items.begin(), items.end()) == items.end()) << "repeated item: " << line;
    EXPECT_EQ(out.count(items), 0u) << "itemset written twice: " << line;
    out[items] = support;
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
