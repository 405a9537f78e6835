#include "trees/node_store.h"

#include <algorithm>
#include <new>

#include "common/run_error.h"

namespace zub {

void NodeStore::grow() {
  if (next_ == 0) next_ = 1;
  const std::size_t slab = next_ >> kSlabShift;
  // Numbers are 32 bits: the last slab ends at the largest one.
  constexpr std::size_t kMaxSlabs = std::size_t{1} << (32 - kSlabShift);
  if (slab >= kMaxSlabs || (slab == kMaxSlabs - 1 && (next_ & kSlabMask) == kSlabMask)) fail_memory();
  constexpr std::size_t kSlab = std::size_t{1} << kSlabShift;
  while (node_slabs_.size() <= slab) {
    node_slabs_.emplace_back(new (std::nothrow) Fnode[kSlab]);
    if (node_slabs_.back() == nullptr) fail_memory();
    link_slabs_.emplace_back();
  }
  // A slab reused after clear() may have had its links dropped.
  if (links_on_ && link_slabs_[slab] == nullptr) {
    link_slabs_[slab].reset(new (std::nothrow) FnodeLinks[kSlab]);
    if (link_slabs_[slab] == nullptr) fail_memory();
  }
  limit_ = slab == kMaxSlabs - 1 ? static_cast<NodeRef>(-1) : static_cast<NodeRef>((slab + 1) << kSlabShift);
}

NodeRef NodeStore::make_many(std::size_t n) {
  if (n == 0) return next_;
  const NodeRef first = make();
  for (std::size_t left = n - 1; left > 0;) {
    if (next_ >= limit_) grow();
    const std::size_t take = std::min<std::size_t>(left, limit_ - next_);
    next_ += static_cast<NodeRef>(take);
    left -= take;
  }
  return first;
}

void NodeStore::set_links(bool on) {
  links_on_ = on;
  // The next make() goes through grow(), which gives its slab links.
  if (on) limit_ = next_;
}

void NodeStore::drop_links_below(NodeRef end) {
  const std::size_t whole = end >> kSlabShift;
  for (std::size_t k = 0; k < whole && k < link_slabs_.size(); ++k) link_slabs_[k].reset();
}

std::size_t NodeStore::link_slabs() const {
  std::size_t n = 0;
  for (const auto& slab : link_slabs_) n += slab != nullptr;
  return n;
}

}  // namespace zub
