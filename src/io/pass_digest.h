#pragma once
// A digest of what one pass over the transactions read, line by line and
// id by id in order, so that a second pass can tell that it read what the
// first one counted. Within a line each id is multiplied apart and rotated
// in, which keeps the reading at the speed of the parsing; lines are chained.
// A reader that sees the file's bytes themselves (io/byte_ranges.h) digests
// the bytes instead (ByteDigest): a step per eight bytes rather than per id.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Bytes in order, eight at a time into eight lanes (so that the steps of
// neighbouring words overlap), each step a bijection of its lane: a change
// of any bytes changes the value but with odds of 2^-64. The words are
// counted from the first byte, so the value does not depend on the pieces
// the bytes come in.
class ByteDigest {
 public:
  void add(const char* p, std::size_t n) {
    for (; n > 0 && waiting_ != 0; --n) take_byte(static_cast<unsigned char>(*p++));
    for (; n >= 8 * kLanes && words_ % kLanes == 0; p += 8 * kLanes, n -= 8 * kLanes) {
      for (int k = 0; k < kLanes; ++k) lane_[k] = step(lane_[k], load(p + 8 * k));
      words_ += kLanes;
    }
    for (; n >= 8; p += 8, n -= 8) take(load(p));
    for (; n > 0; --n) take_byte(static_cast<unsigned char>(*p++));
  }
  // The value of the bytes so far.
  std::uint64_t value() const {
    std::uint64_t h = step(words_ * 8 + waiting_, tail_);
    for (std::uint64_t lane : lane_) h = step(h, lane);
    return h;
  }

 private:
  static constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
  static std::uint64_t step(std::uint64_t lane, std::uint64_t word) { return std::rotl((lane ^ word) * kOdd, 29); }
  static std::uint64_t load(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  }
  void take(std::uint64_t word) {
    lane_[words_ % kLanes] = step(lane_[words_ % kLanes], word);
    ++words_;
  }
  void take_byte(unsigned char c) {
    tail_ |= std::uint64_t{c} << (8 * waiting_);
    if (++waiting_ == 8) {
      take(tail_);
      tail_ = 0;
      waiting_ = 0;
    }
  }
  // Eight lanes: a step waits about five cycles for the one before in its
  // lane (a multiply), so four lanes kept the counting pass waiting.
  static constexpr int kLanes = 8;
  std::uint64_t lane_[kLanes] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::uint64_t words_ = 0;
  std::uint64_t tail_ = 0;  // the bytes of an unfinished word
  unsigned waiting_ = 0;    // their number
};

}  // namespace zub
