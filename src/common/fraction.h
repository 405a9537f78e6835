#pragma once
// The one exact fraction of the run: a minimum support given as a share of
// the transactions, a minimum confidence, a minimum lift. Values are
// compared with it as integers, so that one at the boundary is kept
// whatever the rounding of a double (a confidence of 4/5 reaches 0.8).
#include <cstdint>

namespace zub {

struct Fraction {
  std::uint64_t numerator = 0;
  std::uint64_t denominator = 1;

  // Whether a / b is at least this fraction (b > 0).
  bool reached_by(unsigned __int128 a, unsigned __int128 b) const { return a * denominator >= b * numerator; }
  // The smallest count that is at least this share of n. A share above 0
  // asks for at least one, also of nothing.
  int share_of(int n) const {
    const unsigned __int128 wanted = static_cast<unsigned __int128>(n) * numerator;
    unsigned __int128 count = (wanted + denominator - 1) / denominator;
    if (count == 0 && numerator != 0) count = 1;
    return static_cast<int>(count);
  }
  // The shortest decimal that reads back as `value` (0 to 10^9), exactly:
  // 0.07 is 7/100, not the double's binary fraction.
  static Fraction shortest_decimal(double value);
  bool operator==(const Fraction&) const = default;
};

}  // namespace zub
