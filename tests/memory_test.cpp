#include "memory/memory.h"

#include <gtest/gtest.h>

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

TEST(Memory, FirstRequestTakesTheStartOfBlockZero) {
  memory pool(1000, 0x80000, 0x100000, 2);
  char* start = pool.blocks[0];
  EXPECT_EQ(pool.newbuf(1, 52), start);
  // 52 bytes, rounded up so that the next record starts 8-byte aligned.
  EXPECT_EQ(pool.free_bytes[0], 524288u - 56u);
}

TEST(Memory, ElementSizesArePadded) {
  EXPECT_EQ(memory::padded_size(1), 8u);
  EXPECT_EQ(memory::padded_size(3), 8u);
  EXPECT_EQ(memory::padded_size(5), 12u);
  EXPECT_EQ(memory::padded_size(11), 16u);
  EXPECT_EQ(memory::padded_size(4), 4u);
  EXPECT_EQ(memory::padded_size(52), 52u);
  memory pool(10, 4096, 4096, 2);
  pool.newbuf(10, 1);
  EXPECT_EQ(pool.free_bytes[0], 4096u - 80u);
}

TEST(Memory, EveryAllocationIsAligned) {
  memory pool(10, 4096, 4096, 2);
  for (unsigned size : {1u, 3u, 4u, 5u, 12u, 20u, 52u}) {
    auto address = reinterpret_cast<std::uintptr_t>(pool.newbuf(3, size));
    EXPECT_EQ(address % memory::kAlign, 0u) << "size " << size;
  }
}

TEST(Memory, GrowthScheduleOfTheMainAndMfiPools) {
  memory main_pool(1000, 0x80000, 0x100000, 2);
  const std::pair<int, long> main_rows[] = {
      {0, 512L << 10}, {1, 512L << 10}, {2, 1L << 20},   {499, 1L << 20},  {500, 2L << 20},
      {667, 4L << 20}, {750, 8L << 20}, {800, 16L << 20}, {834, 32L << 20}, {858, 64L << 20},
      {875, 128L << 20}, {889, 256L << 20}, {900, 512L << 20}, {910, 1L << 30}, {917, 2L << 30},
      {999, 2L << 30}};
  for (auto [index, size] : main_rows) EXPECT_EQ(main_pool.scheduled_size(index), size) << index;
  memory mfi_pool(250, 0x40000, 0x80000, 2);
  const std::pair<int, long> mfi_rows[] = {{1, 256L << 10}, {2, 512L << 10}, {125, 1L << 20},
                                           {167, 2L << 20},  {188, 4L << 20},  {209, 16L << 20},
                                           {230, 1L << 30},  {249, 1L << 30}};
  for (auto [index, size] : mfi_rows) EXPECT_EQ(mfi_pool.scheduled_size(index), size) << index;
}

TEST(Memory, LadderPoolScheduleAsBlocksAreOpened) {
  RecordingAllocator rec;
  memory pool(60, 512, 1024, 2, rec.handle());
  // Each request fills the next block exactly, so every request opens one.
  while (pool.last_block < 58) pool.newbuf(1, unsigned(pool.scheduled_size(pool.last_block + 1)));
  ASSERT_EQ(rec.sizes.size(), 59u);
  EXPECT_EQ(rec.sizes[1], 512u);
  EXPECT_EQ(rec.sizes[2], 1024u);
  EXPECT_EQ(rec.sizes[29], 1024u);
  EXPECT_EQ(rec.sizes[30], 2048u);
  EXPECT_EQ(rec.sizes[40], 4096u);
  EXPECT_EQ(rec.sizes[45], 8192u);
  EXPECT_EQ(rec.sizes[48], 16384u);
  EXPECT_EQ(rec.sizes[50], 32768u);
  EXPECT_EQ(rec.sizes[52], 65536u);
  EXPECT_EQ(rec.sizes[53], 131072u);
  EXPECT_EQ(rec.sizes[54], 524288u);
  EXPECT_EQ(rec.sizes[55], 2097152u);
}

TEST(Memory, RequestLargerThanTheScheduleGetsItsExactSize) {
  RecordingAllocator rec;
  memory pool(60, 512, 1024, 2, rec.handle());
  pool.newbuf(1, 100000);
  ASSERT_EQ(rec.sizes.size(), 2u);
  EXPECT_EQ(rec.sizes[1], 100000u);
  EXPECT_EQ(pool.free_bytes[1], 0u);
}

TEST(Memory, FirstFitSearchesOnlyFromTheMark) {
  memory pool(10, 1024, 1024, 2);
  pool.newbuf(1, 1000);  // block 0 keeps 24 bytes
  pool.newbuf(1, 1000);  // opens block 1
  ASSERT_EQ(pool.last_block, 1);
  unsigned free_at;
  int block_at;
  pool.bufmark(&free_at, &block_at);
  // 16 bytes would fit into block 0, but block 0 lies below the mark.
  char* p = pool.newbuf(1, 16);
  EXPECT_GE(p, pool.blocks[1]);
  EXPECT_LT(p, pool.blocks[1] + 1024);
}

TEST(Memory, RollBackReleasesEveryBlockAfterTheMark) {
  RecordingAllocator rec;
  {
    memory pool(20, 1024, 1024, 2, rec.handle());
    pool.newbuf(1, 100);
    unsigned free_at;
    int block_at;
    char* mark = pool.bufmark(&free_at, &block_at);
    for (int k = 0; k < 3; ++k) pool.newbuf(1, 1000);
    EXPECT_EQ(pool.last_block, 3);
    EXPECT_EQ(rec.live, 4);
    pool.freebuf(free_at, block_at, mark);
    EXPECT_EQ(rec.live, 1);
    EXPECT_EQ(pool.last_block, 0);
    EXPECT_EQ(pool.newbuf(1, 8), mark);
  }
  EXPECT_EQ(rec.live, 0);
}

TEST(Memory, NestedMarksRollBackInnerThenOuter) {
  memory pool(20, 256, 256, 2);
  PoolMark outer = PoolMark::take(pool);
  char* a = pool.newbuf(1, 200);
  pool.newbuf(1, 200);  // opens block 1
  PoolMark inner = PoolMark::take(pool);
  pool.newbuf(1, 200);  // opens block 2
  pool.newbuf(1, 200);  // opens block 3
  inner.roll_back(pool);
  EXPECT_EQ(pool.last_block, 1);
  PoolMark again = PoolMark::take(pool);
  EXPECT_EQ(pool.newbuf(1, 8), inner.ptr_at_mark);
  again.roll_back(pool);
  outer.roll_back(pool);
  EXPECT_EQ(pool.last_block, 0);
  PoolMark fresh = PoolMark::take(pool);
  EXPECT_EQ(pool.newbuf(1, 200), a);
  (void)fresh;
}

TEST(Memory, OuterRollBackAfterInnerMarkOpensANewBlock) {
  memory pool(20, 256, 256, 2);
  PoolMark outer = PoolMark::take(pool);
  pool.newbuf(1, 200);
  pool.newbuf(1, 200);  // block 1
  pool.newbuf(1, 200);  // block 2
  PoolMark::take(pool);  // the pool's mark now sits at block 2
  outer.roll_back(pool);
  EXPECT_EQ(pool.last_block, 0);
  // The emptied slot at the mark has no room: the request opens block 1.
  char* p = pool.newbuf(1, 8);
  EXPECT_EQ(pool.last_block, 1);
  EXPECT_EQ(p, pool.blocks[1]);
}

void expect_run_error(const std::function<void()>& action, int status, const char* message) {
  try {
    action();
    ADD_FAILURE() << "no RunError";
  } catch (const RunError& e) {
    EXPECT_EQ(e.status(), status);
    EXPECT_STREQ(e.what(), message);
  }
}

TEST(Memory, OneSlotPoolReportsBlocksUsedUp) {
  RecordingAllocator rec;
  {
    memory pool(1, 64, 64, 2, rec.handle());
    pool.newbuf(1, 64);
    expect_run_error([&] { pool.newbuf(1, 8); }, kExitMemory, "The blocks are used up.");
    EXPECT_EQ(pool.last_block, 0);
  }
  EXPECT_EQ(rec.live, 0);
}

TEST(Memory, FailedBlockAllocationReportsNotEnoughMemory) {
  RecordingAllocator rec;
  rec.fail_from = 2;
  {
    memory pool(10, 64, 64, 2, rec.handle());
    pool.newbuf(1, 64);
    pool.newbuf(1, 64);  // block 1
    expect_run_error([&] { pool.newbuf(1, 64); }, kExitMemory, "Not enough memory!");
    EXPECT_EQ(pool.last_block, 1);
  }
  EXPECT_EQ(rec.live, 0);
}

TEST(Memory, FailedFirstBlockReportsInit) {
  RecordingAllocator rec;
  rec.fail_from = 0;
  expect_run_error([&] { memory pool(10, 64, 64, 2, rec.handle()); }, kExitMemory,
                   "INIT: not enough memory to run this program");
}

TEST(Memory, RequestBeyondThe32BitSizeIsAMemoryFailure) {
  memory pool(10, 64, 64, 2);
  expect_run_error([&] { pool.newbuf(0x40000000u, 8); }, kExitMemory, "Not enough memory!");
  expect_run_error([&] { pool.newbuf(2, 0x80000000u); }, kExitMemory, "Not enough memory!");
  EXPECT_EQ(pool.last_block, 0);
}

}  // namespace
}  // namespace zub
