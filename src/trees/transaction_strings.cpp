#include "trees/transaction_strings.h"

#include <algorithm>

#include "common/run_error.h"

namespace zub {

namespace {

// A group's first chunk, and the largest that doubling reaches.
constexpr std::size_t kFirstChunk = 256;
constexpr std::size_t kLargestChunk = std::size_t(64) << 10;

}  // namespace

TransactionStrings::TransactionStrings(int positions)
    : slot_(static_cast<std::size_t>(positions)), positions_(positions), unit_bytes_(string_unit_bytes(positions)) {}

const TransactionStrings::Group& TransactionStrings::no_group() {
  static const Group none;
  return none;
}

void TransactionStrings::new_chunk(Group& g, std::size_t need) {
  const std::size_t last = g.chunks.empty() ? kFirstChunk / 2 : g.chunks.back().capacity;
  const std::size_t capacity = std::max(need, std::min(2 * last, kLargestChunk));
  Chunk c;
  c.bytes.reset(static_cast<unsigned char*>(std::malloc(capacity)));
  if (c.bytes == nullptr) fail_memory();
  c.capacity = capacity;
  g.chunks.push_back(std::move(c));
}

}  // namespace zub
