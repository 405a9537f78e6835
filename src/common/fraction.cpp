#include "common/fraction.h"

#include <charconv>

namespace zub {

Fraction Fraction::shortest_decimal(double value) {
  // digits * 10^exponent, from the shortest text that reads back as `value`.
  char text[32];
  const auto printed = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  std::uint64_t digits = 0;
  int significant = 0;
  const char* p = text;
  for (; p != printed.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') {
      digits = digits * 10 + std::uint64_t(*p - '0');
      ++significant;
    }
  int exponent = 0;
  const char* e = p + 1;  // "e-05", "e+00"
  if (e < printed.ptr && *e == '+') ++e;
  std::from_chars(e, printed.ptr, exponent);
  exponent -= significant - 1;  // d.ddd e x is dddd e (x - 3)
  // A denominator up to 10^19 fits 64 bits. Digits beyond it are dropped:
  // they move a count only for far more transactions than an int holds.
  while (exponent < -19) {
    digits /= 10;
    ++exponent;
  }
  if (digits == 0 && value > 0) digits = 1;
  Fraction d{digits, 1};
  for (int k = 0; k < exponent; ++k) d.numerator *= 10;  // value at most 10^9: no overflow
  for (int k = 0; k < -exponent; ++k) d.denominator *= 10;
  return d;
}

}  // namespace zub
