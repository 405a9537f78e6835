#pragma once
// A digest of what one pass over the transactions read, line by line and
// id by id in order, so that a second pass can tell that it read what the
// first one counted. Within a line each id is multiplied apart and rotated
// in, which keeps the reading at the speed of the parsing; lines are chained.
#include <bit>
#include <cstdint>

namespace zub {

struct PassDigest {
  // One line, id by id.
  struct Line {
    std::uint64_t sum = 0;
    void add(int id) { sum = std::rotl(sum, 7) ^ ((static_cast<std::uint64_t>(id) + 1) * 0x9E3779B97F4A7C15ull); }
  };
  std::uint64_t hash = 0;
  long long lines = 0;
  void add(const Line& line) {
    hash = (hash ^ line.sum) * 0x100000001B3ull + 1;
    ++lines;
  }
  void add(const int* ids, int n) {
    Line line;
    for (int k = 0; k < n; ++k) line.add(ids[k]);
    add(line);
  }
  bool operator==(const PassDigest&) const = default;
};

}  // namespace zub
