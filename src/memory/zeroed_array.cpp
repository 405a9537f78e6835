#include "memory/zeroed_array.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace zub {

namespace {
// Below this the heap serves: a mapping costs a system call and a page.
constexpr std::size_t kMappedFrom = std::size_t(64) << 10;
}  // namespace

void* allocate_zeroed(std::size_t bytes) {
  if (bytes < kMappedFrom) {
    void* p = std::calloc(bytes, 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  // Fresh anonymous pages read as zero and take memory only once written.
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}

void release_zeroed(void* p, std::size_t bytes) {
  if (p == nullptr) return;
  if (bytes < kMappedFrom)
    std::free(p);
  else
    ::munmap(p, bytes);
}

void* resize_zeroed(void* p, std::size_t old_bytes, std::size_t bytes) {
  if (bytes == old_bytes) return p;
  if (p == nullptr || old_bytes == 0) return bytes > 0 ? allocate_zeroed(bytes) : nullptr;
  if (bytes == 0) {
    release_zeroed(p, old_bytes);
    return nullptr;
  }
  if (old_bytes >= kMappedFrom && bytes >= kMappedFrom) {
    void* q = ::mremap(p, old_bytes, bytes, MREMAP_MAYMOVE);  // new pages read as zero
    if (q == MAP_FAILED) throw std::bad_alloc();
    return q;
  }
  void* q = allocate_zeroed(bytes);
  std::memcpy(q, p, old_bytes < bytes ? old_bytes : bytes);
  release_zeroed(p, old_bytes);
  return q;
}

}  // namespace zub
