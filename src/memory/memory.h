#pragma once
// Block pool: memory is handed out by advancing a pointer inside large blocks
// and only ever given back wholesale, by destroying the pool or by rolling it
// back to a mark. Blocks grow on a fixed schedule as the pool fills.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace zub {

// Where a pool gets its blocks from. Plain function pointers so that tests can
// inject failing or counting allocators without a virtual call.
struct BlockAllocator {
  void* (*allocate)(void* state, std::size_t bytes) = nullptr;  // null on failure
  void (*release)(void* state, void* block, std::size_t bytes) = nullptr;
  void* state = nullptr;
};
BlockAllocator heap_block_allocator();

class memory {
 public:
  // Every allocation starts on this boundary: pools hold records with pointers.
  static constexpr unsigned kAlign = 8;

  memory(int max_blocks, long first_size, long unit_size, int growth_start,
         BlockAllocator allocator = heap_block_allocator());
  memory();
  ~memory();
  memory(const memory&) = delete;
  memory& operator=(const memory&) = delete;

  // Memory for `count` elements of `size` bytes; never null (throws RunError).
  // The current block serves when it has room; otherwise the first block from
  // the mark on that has room, or a new block. Nothing is ever placed below
  // the last mark, which is what makes a roll-back exact.
  char* newbuf(unsigned count, unsigned size) {
    std::uint64_t n = std::uint64_t(padded_size(size)) * count;
    n = (n + (kAlign - 1)) & ~std::uint64_t(kAlign - 1);
    if (n > UINT32_MAX) fail_request_too_large();
    const unsigned need = static_cast<unsigned>(n);
    int k = last_block;
    if (mark_block > k || free_bytes[k] < need) k = first_fit(need);
    char* result = next_free[k];
    next_free[k] += need;
    free_bytes[k] -= need;
    return result;
  }

  template <class T>
  T* take(unsigned count) { return reinterpret_cast<T*>(newbuf(count, sizeof(T))); }
  // One T built in the pool; nothing destroys it (the pool's blocks go
  // wholesale), so it must not need its destructor.
  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>);
    return new (newbuf(1, sizeof(T))) T(std::forward<Args>(args)...);
  }

  int switchbuf(unsigned needed);
  char* bufmark(unsigned* free_out, int* block_out);
  void freebuf(unsigned free_at_mark, int block_at_mark, char* ptr_at_mark);
  void buffree();

  // Element sizes that are not a multiple of 4 are padded by 8 - size % 4.
  static constexpr unsigned padded_size(unsigned size) {
    return size % 4 == 0 ? size : size + 8 - size % 4;
  }
  // Size of the block that slot `index` would get for a small request.
  long scheduled_size(int index) const;
  // max_blocks / (max_blocks - last_block): 3 or more once two thirds of the
  // slots are in use, which makes the miners start later pools larger.
  int fill_quotient() const { return max_blocks / (max_blocks - last_block); }

  int max_blocks;
  long unit_size;
  long first_size;
  int growth_start;
  char** blocks;
  int last_block;
  char** next_free;
  unsigned* free_bytes;
  unsigned* block_sizes;
  char* mark_ptr;
  int mark_block;
  unsigned mark_free;

 private:
  void init();
  int first_fit(unsigned need);
  [[noreturn]] void fail_request_too_large();
  BlockAllocator allocator_;
  std::unique_ptr<char*[]> blocks_store_;
  std::unique_ptr<char*[]> next_free_store_;
  std::unique_ptr<unsigned[]> free_bytes_store_;
  std::unique_ptr<unsigned[]> block_sizes_store_;
};

// A mark of a pool, taken with bufmark and handed back to freebuf.
struct PoolMark {
  unsigned free_at_mark = 0;
  int block_at_mark = 0;
  char* ptr_at_mark = nullptr;
  static PoolMark take(memory& pool) {
    PoolMark m;
    m.ptr_at_mark = pool.bufmark(&m.free_at_mark, &m.block_at_mark);
    return m;
  }
  void roll_back(memory& pool) const { pool.freebuf(free_at_mark, block_at_mark, ptr_at_mark); }
};

}  // namespace zub
