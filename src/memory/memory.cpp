#include "memory/memory.h"

#include <cstdlib>
#include <new>

#include "common/run_error.h"
#include "memory/power2.h"

namespace zub {

namespace {
void* heap_allocate(void*, std::size_t bytes) { return std::malloc(bytes); }
void heap_release(void*, void* block, std::size_t) { std::free(block); }
}  // namespace

BlockAllocator heap_block_allocator() { return BlockAllocator{heap_allocate, heap_release, nullptr}; }

memory::memory(int max_blocks_, long first_size_, long unit_size_, int growth_start_,
               BlockAllocator allocator)
    : max_blocks(max_blocks_),
      unit_size(unit_size_),
      first_size(first_size_),
      growth_start(growth_start_),
      allocator_(allocator) {
  init();
}

memory::memory() : memory(20, 4096, 1024576, 2) {}

void memory::init() {
  if (max_blocks < 1 || first_size < 1 || first_size > long(UINT32_MAX))
    throw RunError(kExitMemory, "INIT: not enough memory to run this program");
  try {
    blocks_store_.reset(new char*[max_blocks]());
    next_free_store_.reset(new char*[max_blocks]());
    free_bytes_store_.reset(new unsigned[max_blocks]());
    block_sizes_store_.reset(new unsigned[max_blocks]());
  } catch (const std::bad_alloc&) {
    throw RunError(kExitMemory, "INIT: not enough memory to run this program");
  }
  blocks = blocks_store_.get();
  next_free = next_free_store_.get();
  free_bytes = free_bytes_store_.get();
  block_sizes = block_sizes_store_.get();
  blocks[0] = static_cast<char*>(allocator_.allocate(allocator_.state, std::size_t(first_size)));
  if (blocks[0] == nullptr) throw RunError(kExitMemory, "INIT: not enough memory to run this program");
  next_free[0] = blocks[0];
  free_bytes[0] = block_sizes[0] = static_cast<unsigned>(first_size);
  mark_block = 0;
  mark_ptr = blocks[0];
  mark_free = static_cast<unsigned>(first_size);
  last_block = 0;
}

memory::~memory() {
  for (int k = 0; k <= last_block; ++k)
    if (blocks[k] != nullptr) allocator_.release(allocator_.state, blocks[k], block_sizes[k]);
}

long memory::scheduled_size(int index) const {
  if (index < growth_start) return first_size;
  int q = max_blocks / (max_blocks - index);
  if (q > 12) q = 12;
  return unit_size * power2[q - 1];
}

// The rare path of newbuf, once the current block had no room (or the mark
// lies in a slot emptied by a roll-back to an outer mark).
int memory::first_fit(unsigned need) {
  for (int k = mark_block; k < last_block; ++k)
    if (free_bytes[k] >= need) return k;
  return switchbuf(need);
}

void memory::fail_request_too_large() {
  buffree();
  fail_memory();
}

// The rare path of newbuf: opens the next block slot.
int memory::switchbuf(unsigned needed) {
  if (last_block + 1 == max_blocks) {
    buffree();
    throw RunError(kExitMemory, "The blocks are used up.");
  }
  const int k = last_block + 1;
  long s = scheduled_size(k);
  // Block sizes are 32-bit; the capped schedule of a large ladder pool may not be.
  if (s > long(UINT32_MAX)) s = long(UINT32_MAX) & ~long(kAlign - 1);
  if (s < long(needed)) s = needed;
  char* block = static_cast<char*>(allocator_.allocate(allocator_.state, std::size_t(s)));
  if (block == nullptr) {
    buffree();
    fail_memory();
  }
  last_block = k;
  blocks[k] = block;
  next_free[k] = block;
  block_sizes[k] = free_bytes[k] = static_cast<unsigned>(s);
  return k;
}

char* memory::bufmark(unsigned* free_out, int* block_out) {
  mark_block = last_block;
  mark_ptr = next_free[last_block];
  mark_free = free_bytes[last_block];
  *free_out = mark_free;
  *block_out = last_block;
  return mark_ptr;
}

void memory::freebuf(unsigned free_at_mark, int block_at_mark, char* ptr_at_mark) {
  for (int k = block_at_mark + 1; k <= last_block; ++k) {
    if (blocks[k] != nullptr) allocator_.release(allocator_.state, blocks[k], block_sizes[k]);
    blocks[k] = nullptr;
    next_free[k] = nullptr;
    free_bytes[k] = 0;
    block_sizes[k] = 0;
  }
  last_block = block_at_mark;
  next_free[block_at_mark] = ptr_at_mark;
  free_bytes[block_at_mark] = free_at_mark;
}

void memory::buffree() {
  mark_block = 0;
  mark_ptr = blocks[0];
  mark_free = block_sizes[0];
  // Only the mark moves; blocks stay allocated.
}

}  // namespace zub
