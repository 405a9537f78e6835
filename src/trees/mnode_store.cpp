#include "trees/mnode_store.h"

#include <algorithm>

#include "common/run_error.h"

namespace zub {

void SlabTable::grow(std::size_t node_bytes) {
  const std::uint32_t slab = std::clamp(end_, kFirstSlab, kMaxSlab);
  // Numbers are 32 bits: no slab may reach past the largest one.
  if (end_ > UINT32_MAX - slab) fail_memory();
  const std::uint32_t needed = (end_ + slab) >> kChunkShift;
  if (needed > chunk_capacity_) {
    const std::uint32_t capacity = std::max<std::uint32_t>(needed, 2 * chunk_capacity_);
    std::uintptr_t* chunks = pool_->take<std::uintptr_t>(capacity);
    std::copy(chunks_, chunks_ + (end_ >> kChunkShift), chunks);
    chunks_ = chunks;  // the old table stays behind in the pool
    chunk_capacity_ = capacity;
  }
  // Whole words, so that nodes of any size stay aligned.
  const std::size_t words = (slab * node_bytes + sizeof(std::uintptr_t) - 1) / sizeof(std::uintptr_t);
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(pool_->take<std::uintptr_t>(static_cast<unsigned>(words))) -
                              std::uintptr_t{end_} * node_bytes;
  for (std::uint32_t c = end_ >> kChunkShift; c < needed; ++c) chunks_[c] = base;
  if (end_ == 0) next_ = 1;  // number 0 stands for none
  end_ += slab;
}

}  // namespace zub
