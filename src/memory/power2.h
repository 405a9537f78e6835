#pragma once
// Powers of two 2^0 .. 2^28: block sizes of the pool schedule and the pool ladder.

namespace zub {

inline constexpr int kPower2Max = 28;
inline constexpr long power2[kPower2Max + 1] = {
    1L << 0,  1L << 1,  1L << 2,  1L << 3,  1L << 4,  1L << 5,  1L << 6,  1L << 7,
    1L << 8,  1L << 9,  1L << 10, 1L << 11, 1L << 12, 1L << 13, 1L << 14, 1L << 15,
    1L << 16, 1L << 17, 1L << 18, 1L << 19, 1L << 20, 1L << 21, 1L << 22, 1L << 23,
    1L << 24, 1L << 25, 1L << 26, 1L << 27, 1L << 28};

}  // namespace zub
