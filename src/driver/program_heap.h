#pragma once
// The heap as the programs set it (a library leaves its host's alone):
// blocks of a megabyte or more are mapped on their own and go back to the
// system when freed. By default glibc raises that bound to the largest block
// freed so far; on wide data (a million items), whose passes and miners make
// and free arrays of megabytes, every freed array then stays resident while
// the next ones are made (a tenth of the peak and more). Smaller blocks are
// served as before.
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zub {

inline void set_program_heap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace zub
