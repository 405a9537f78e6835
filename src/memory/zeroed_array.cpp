#include "memory/zeroed_array.h"

#include <sys/mman.h>

#include <cstdlib>
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

}  // namespace zub
