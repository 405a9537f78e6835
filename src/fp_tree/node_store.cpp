#include "fp_tree/node_store.h"

#include <new>

#include "fp_tree/run_error.h"

namespace zub {

void NodeStore::grow() {
  if (next_ == 0) next_ = 1;
  const std::size_t slab = next_ >> kSlabShift;
  // Numbers are 32 bits: the last slab ends at the largest one.
  constexpr std::size_t kMaxSlabs = std::size_t{1} << (32 - kSlabShift);
  if (slab >= kMaxSlabs || (slab == kMaxSlabs - 1 && (next_ & kSlabMask) == kSlabMask)) fail_memory();
  while (slabs_.size() <= slab) {
    std::unique_ptr<Fnode[]> block(new (std::nothrow) Fnode[std::size_t{1} << kSlabShift]);
    if (block == nullptr) fail_memory();
    slabs_.push_back(block.get());
    owned_.push_back(std::move(block));
  }
  limit_ = slab == kMaxSlabs - 1 ? static_cast<NodeRef>(-1) : static_cast<NodeRef>((slab + 1) << kSlabShift);
}

}  // namespace zub
