#pragma once
// Random transaction databases with varied shape and formatting, for the
// property tests. Everything derives from one seed.
#include <algorithm>
#include <random>
#include <string>

#include "support/brute_force.h"

namespace zub::test {

// How many random databases a property test checks: fewer in a sanitized
// build, which runs many times slower (ThreadSanitizer above all).
#ifdef ZUB_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr std::uint32_t databases(std::uint32_t plain, std::uint32_t sanitized) {
  return kSanitized ? sanitized : plain;
}

struct RandomDb {
  Database transactions;  // as the program must read them
  std::string text;       // the file content
  int largest_id = 0;
};

// `wide` databases have up to 120 items at a low density, so that tree nodes
// get dozens of children. With `all_ids`, some databases take their ids from
// all ids up to 2147483647.
inline RandomDb random_db(std::uint32_t seed, bool wide = false, bool all_ids = false) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };

  RandomDb db;
  const int items = wide ? pick(40, 120) : pick(1, chance(0.7) ? 12 : 22);
  // Ids: small and dense, shifted, sparse over a wide range, or over all
  // ids (counted in a table beyond 2^20).
  std::vector<int> ids(items);
  const int scheme = pick(0, all_ids ? 3 : 2);
  for (int k = 0; k < items; ++k)
    ids[k] = scheme == 0 ? k : scheme == 1 ? 1000 + 3 * k : scheme == 2 ? pick(0, 19999) : pick(0, 2147483647);
  const int n = wide ? pick(100, 400) : chance(0.05) ? 0 : pick(1, 70);
  const double density = wide        ? 3.0 / items
                         : items > 14 ? 0.08 + 0.2 * std::uniform_real_distribution<double>(0, 1)(rng)
                                      : 0.1 + 0.55 * std::uniform_real_distribution<double>(0, 1)(rng);
  // A few planted patterns make long shared itemsets and repeated supports.
  std::vector<std::vector<int>> patterns(pick(0, 3));
  for (auto& p : patterns)
    for (int k = 0; k < items; ++k)
      if (chance(wide ? 6.0 / items : 0.4)) p.push_back(ids[k]);

  const char* separators[] = {" ", "  ", "\t", ",", " , ", ";x"};
  const bool crlf = chance(0.15);
  const bool trailing_blank = chance(0.5);
  for (int t = 0; t < n; ++t) {
    std::vector<int> line;
    if (!patterns.empty() && chance(0.5)) line = patterns[pick(0, int(patterns.size()) - 1)];
    for (int k = 0; k < items; ++k)
      if (chance(density)) line.push_back(ids[k]);
    if (!line.empty() && chance(0.1)) line.push_back(line[pick(0, int(line.size()) - 1)]);  // a repeat
    std::shuffle(line.begin(), line.end(), rng);
    db.transactions.push_back(line);
    std::string text;
    for (std::size_t k = 0; k < line.size(); ++k) {
      if (k > 0) text += separators[chance(0.8) ? 0 : pick(1, 5)];
      if (chance(0.05)) text += "00";  // leading zeros
      text += std::to_string(line[k]);
      db.largest_id = std::max(db.largest_id, line[k]);
    }
    if (trailing_blank) text += " ";
    db.text += text;
    // Sometimes no final line feed (an empty last line needs it to be one).
    if (t + 1 < n || text.empty() || !chance(0.2)) db.text += crlf ? "\r\n" : "\n";
  }
  if (n > 0 && chance(0.1)) {
    if (db.text.back() != '\n') db.text += "\n";  // the last line's end first
    db.text += "\n";                              // an empty transaction
    db.transactions.emplace_back();
  }
  for (auto& t : db.transactions) std::sort(t.begin(), t.end());
  return db;
}

}  // namespace zub::test
