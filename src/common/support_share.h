#pragma once
// A minimum support given as a share of the transactions, kept as an exact
// ratio. The first database scan turns it into THRESHOLD as soon as it has
// counted the transactions, before it chooses the frequent items.
#include <cstdint>

namespace zub {

struct SupportShare {
  std::uint64_t numerator = 0;
  std::uint64_t denominator = 0;  // 0: no share given, THRESHOLD stands as set

  bool given() const { return denominator != 0; }
  // The smallest count that is at least the share of `transactions`. A share
  // above 0 asks for at least one transaction, also of an empty database.
  int threshold(int transactions) const {
    const unsigned __int128 wanted = static_cast<unsigned __int128>(transactions) * numerator;
    unsigned __int128 count = (wanted + denominator - 1) / denominator;
    if (count == 0 && numerator != 0) count = 1;
    return static_cast<int>(count);
  }
};

}  // namespace zub
