// Building the main tree from batches of transactions sorted by their
// positions. In lexicographic order consecutive transactions share their
// prefix path, so a transaction only has to be compared with the one before
// it, the walk along a sibling list resumes where the previous transaction
// left it, and new nodes are laid out in depth-first order, each subtree
// close behind its root. The tree is the one that inserting the transactions
// one by one in any order makes; only the order of each item's node chain
// differs.
#include <algorithm>

#include "fp_tree/fi_tree.h"
#include "fp_tree/sorted_batch.h"

namespace zub {

void SortedBatch::reserve(std::size_t positions, std::size_t transactions) {
  positions_.reserve(positions);
  begin_.reserve(transactions + 1);
  keyed_.reserve(transactions);
}

void SortedBatch::add(const int* positions, int k) {
  if (begin_.empty()) begin_.push_back(0);
  positions_.insert(positions_.end(), positions, positions + k);
  begin_.push_back(static_cast<std::uint32_t>(positions_.size()));
}

void SortedBatch::sort() {
  const std::size_t n = size();
  const int* p = positions_.data();
  const std::uint32_t* b = begin_.data();
  // The first two positions, packed, decide most comparisons without a
  // visit to the transaction (a cache miss on a large batch). A missing
  // second position packs as 0, which sorts a prefix first.
  keyed_.resize(n);
  for (std::size_t t = 0; t < n; ++t) {
    const std::uint32_t first = static_cast<std::uint32_t>(p[b[t]]);
    const std::uint32_t second = b[t + 1] - b[t] > 1 ? static_cast<std::uint32_t>(p[b[t] + 1]) + 1 : 0;
    keyed_[t] = {std::uint64_t{first} << 32 | second, static_cast<std::uint32_t>(t)};
  }
  std::sort(keyed_.begin(), keyed_.end(), [p, b](const Keyed& x, const Keyed& y) {
    if (x.key != y.key) return x.key < y.key;
    const std::uint32_t from_x = std::min(b[x.index] + 2, b[x.index + 1]);
    const std::uint32_t from_y = std::min(b[y.index] + 2, b[y.index + 1]);
    return std::lexicographical_compare(p + from_x, p + b[x.index + 1], p + from_y, p + b[y.index + 1]);
  });
}

void SortedBatch::clear() {
  positions_.clear();
  begin_.clear();
  keyed_.clear();
}

void SortedBatch::release() {
  std::vector<int>().swap(positions_);
  std::vector<std::uint32_t>().swap(begin_);
  std::vector<Keyed>().swap(keyed_);
}

// The child of `parent` at position `target`, or none; `before` receives the
// child with the largest position below target (null: none). `after`, when
// not null, is a child known to lie below target, where the walk may start.
// On the main tree a node's item is its position.
NodeRef FI_tree::find_child(Fnode* parent, int depth, int target, Fnode* after, Fnode** before) {
  ChildIndex& index = ctx->children;
  const NodeStore& store = ctx->nodes;
  const bool shallow = depth < ChildIndex::kHubDepth;
  const int hub = shallow ? index.hub_of(parent) : -1;
  if (hub >= 0) return index.find(hub, target, before);
  Fnode* prev = after;
  NodeRef r = after != nullptr ? after->next_sibling : parent->first_child;
  int walked = 0;
  while (r != kNoNode) {
    Fnode* child = store.at(r);
    if (child->item >= target) {
      if (child->item != target) r = kNoNode;
      break;
    }
    prev = child;
    r = child->next_sibling;
    ++walked;
  }
  *before = prev;
  if (shallow && walked > ChildIndex::kLongWalk) index.add_hub(parent, *this);
  return r;
}

void FI_tree::insert_sorted(const SortedBatch& batch) {
  ChildIndex& index = ctx->children;
  const NodeStore& store = ctx->nodes;
  int* bran = ctx->bran.data();
  int* width = ctx->width.data();
  std::vector<BuildStep>& path = ctx->build_path;
  if (path.size() < static_cast<std::size_t>(num_items)) path.resize(static_cast<std::size_t>(num_items));
  const int* prev = nullptr;
  int prev_k = 0;
  for (std::size_t t = 0; t < batch.size(); ++t) {
    int k;
    const int* items = batch.transaction(t, k);
    const int common = std::min(k, prev_k);
    int lcp = 0;
    while (lcp < common && items[lcp] == prev[lcp]) ++lcp;
    for (int i = 0; i < lcp; ++i) ++path[i].node->count;
    BuildStep current = lcp == 0 ? BuildStep{root, root_ref} : path[lcp - 1];
    // The previous transaction's node below the divergence is a sibling
    // before items[lcp]: sorted order guarantees it.
    Fnode* after = lcp < prev_k ? path[lcp].node : nullptr;
    for (int i = lcp; i < k; ++i) {
      Fnode* before;
      const NodeRef child = find_child(current.node, i, items[i], after, &before);
      after = nullptr;
      if (child != kNoNode) {
        current = {store.at(child), child};
        ++current.node->count;
        path[i] = current;
        continue;
      }
      const int hub = i < ChildIndex::kHubDepth ? index.hub_of(current.node) : -1;
      NodeRef r = current.ref;
      for (int j = i; j < k; ++j) {
        r = append_child(r, j == i ? before : nullptr, items[j], 1);
        if (j == i && hub >= 0) index.add_child(hub, items[j], r);
        ++bran[j];
        ++width[items[j]];
        path[j] = {store.at(r), r};
      }
      break;
    }
    prev = items;
    prev_k = k;
  }
}

}  // namespace zub
