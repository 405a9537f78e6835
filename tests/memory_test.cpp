// The block pool: padding and alignment, marks and roll-backs, and the three
// ways it runs out of memory; zeroed arrays as they grow and shrink.
#include "memory/memory.h"
#include "memory/zeroed_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "common/run_error.h"

namespace zub {
namespace {

// Records every block handed out and can be told to fail.
struct RecordingAllocator {
  std::vector<std::size_t> sizes;
  int live = 0;
  int fail_from = -1;  // index of the first allocation that fails; -1 never

  static void* allocate(void* state, std::size_t bytes) {
    auto* self = static_cast<RecordingAllocator*>(state);
    if (self->fail_from >= 0 && int(self->sizes.size()) >= self->fail_from) return nullptr;
    self->sizes.push_back(bytes);
    ++self->live;
    return std::malloc(bytes);
  }
  static void release(void* state, void* block, std::size_t) {
    --static_cast<RecordingAllocator*>(state)->live;
    std::free(block);
  }
  BlockAllocator handle() { return BlockAllocator{allocate, release, this}; }
};

TEST(Memory, RequestsArePaddedAndAligned) {
  memory pool(10, 4096, 4096, 2);
  EXPECT_EQ(pool.newbuf(1, 52), pool.blocks[0]) << "the first request takes the start of block 0";
  EXPECT_EQ(pool.free_bytes[0], 4096u - 56u) << "rounded up so that the next record starts aligned";
  pool.newbuf(10, 1);
  EXPECT_EQ(pool.free_bytes[0], 4096u - 56u - 80u) << "elements of 1 byte padded to 8";
  for (unsigned size : {1u, 3u, 4u, 5u, 12u, 20u, 52u}) {
    const auto address = reinterpret_cast<std::uintptr_t>(pool.newbuf(3, size));
    EXPECT_EQ(address % memory::kAlign, 0u) << "size " << size;
  }
}

TEST(Memory, RollBacksReleaseTheBlocksAfterTheirMark) {
  RecordingAllocator rec;
  {
    memory pool(20, 1024, 1024, 2, rec.handle());
    pool.newbuf(1, 100);
    const PoolMark mark = PoolMark::take(pool);
    for (int k = 0; k < 3; ++k) pool.newbuf(1, 1000);
    EXPECT_EQ(rec.live, 4);
    mark.roll_back(pool);
    EXPECT_EQ(rec.live, 1);
    EXPECT_EQ(pool.last_block, 0);
    EXPECT_EQ(pool.newbuf(1, 8), mark.ptr_at_mark);
    // Block 0 has room for 100 bytes, block 1 not; after a mark at block 1
    // the search for room starts there, so the request opens block 2.
    pool.newbuf(1, 1000);
    PoolMark::take(pool);
    EXPECT_EQ(pool.newbuf(1, 100), pool.blocks[2]);
  }
  EXPECT_EQ(rec.live, 0) << "the pool gives every block back";

  // Nested marks roll back inner, then outer.
  memory pool(20, 256, 256, 2);
  const PoolMark outer = PoolMark::take(pool);
  char* a = pool.newbuf(1, 200);
  pool.newbuf(1, 200);  // opens block 1
  const PoolMark inner = PoolMark::take(pool);
  pool.newbuf(1, 200);  // opens block 2
  pool.newbuf(1, 200);  // opens block 3
  inner.roll_back(pool);
  EXPECT_EQ(pool.last_block, 1);
  const PoolMark again = PoolMark::take(pool);
  EXPECT_EQ(pool.newbuf(1, 8), inner.ptr_at_mark);
  again.roll_back(pool);
  outer.roll_back(pool);
  EXPECT_EQ(pool.last_block, 0);
  PoolMark::take(pool);
  EXPECT_EQ(pool.newbuf(1, 200), a);
  // An outer roll-back after a later mark: the emptied slot at the mark has
  // no room, so the next request opens block 1.
  pool.newbuf(1, 200);  // block 1
  pool.newbuf(1, 200);  // block 2
  PoolMark::take(pool);
  outer.roll_back(pool);
  EXPECT_EQ(pool.last_block, 0);
  EXPECT_EQ(pool.newbuf(1, 8), pool.blocks[1]);
  EXPECT_EQ(pool.last_block, 1);
}

void expect_memory_error(const std::function<void()>& action, const char* message) {
  try {
    action();
    ADD_FAILURE() << "no RunError";
  } catch (const RunError& e) {
    EXPECT_EQ(e.status(), kExitMemory);
    EXPECT_STREQ(e.what(), message);
  }
}

TEST(Memory, RunningOutIsAMemoryError) {
  RecordingAllocator one_slot, failing, first;
  failing.fail_from = 2;
  first.fail_from = 0;
  {
    memory pool(1, 64, 64, 2, one_slot.handle());
    pool.newbuf(1, 64);
    expect_memory_error([&] { pool.newbuf(1, 8); }, "The blocks are used up.");
    EXPECT_EQ(pool.last_block, 0);

    memory other(10, 64, 64, 2, failing.handle());
    other.newbuf(1, 64);
    other.newbuf(1, 64);  // block 1
    expect_memory_error([&] { other.newbuf(1, 64); }, "Not enough memory!");
    EXPECT_EQ(other.last_block, 1);
  }
  // Requests whose size does not fit 32 bits.
  memory plenty(10, 64, 64, 2);
  expect_memory_error([&] { plenty.newbuf(0x40000000u, 8); }, "Not enough memory!");
  expect_memory_error([&] { plenty.newbuf(2, 0x80000000u); }, "Not enough memory!");
  EXPECT_EQ(plenty.last_block, 0);
  EXPECT_EQ(one_slot.live + failing.live, 0) << "every block given back";
  expect_memory_error([&] { memory pool(10, 64, 64, 2, first.handle()); }, "INIT: not enough memory to run this program");
}

// Zero to start with, and through resizes the entries kept and the new ones
// zero, from the heap (below 64 KiB) to mapped pages and back, moved or not.
TEST(Memory, ZeroedArraysKeepTheirEntriesAndStartNewOnesAtZero) {
  for (const std::size_t first : {std::size_t(10), std::size_t(100000)}) {
    ZeroedArray<int> a(first);
    ASSERT_EQ(a.size(), first);
    for (std::size_t k = 0; k < first; ++k) ASSERT_EQ(a[k], 0) << k;
    for (std::size_t k = 0; k < first; ++k) a[k] = static_cast<int>(k) + 1;
    std::size_t kept = first;
    for (const std::size_t n : {std::size_t(3), std::size_t(50000), std::size_t(300000), std::size_t(17), std::size_t(0),
                                std::size_t(20000)}) {
      a.resize(n);
      ASSERT_EQ(a.size(), n);
      kept = std::min(kept, n);
      for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(a[k], k < kept ? static_cast<int>(k) + 1 : 0) << first << " " << n << " " << k;
    }
    ZeroedArray<int> b(std::move(a));
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(b.size(), 20000u);
    b = ZeroedArray<int>(5);
    EXPECT_EQ(b.size(), 5u);
    EXPECT_EQ(std::count(b.begin(), b.end(), 0), 5);
  }
}

}  // namespace
}  // namespace zub
