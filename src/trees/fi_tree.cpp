#include "trees/fi_tree.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <numeric>

#include "trees/hub_index.h"
#include "trees/sorted_batch.h"

namespace zub {

FI_tree::FI_tree(const Settings& run_settings, TreeScratch* tree_scratch, memory& records, NodeStore& nodes,
                 int capacity, int item_count)
    : settings_(&run_settings), scratch_(tree_scratch), pool_(&records), store_(&nodes), num_items_(item_count) {
  root_ref_ = store_->make();
  root_ = store_->at(root_ref_);
  root_->init(kNoNode, -1, 0);
  *store_->links(root_ref_) = {kNoNode, kNoNode};
  if (capacity != -1) {
    const int ids = scratch_->frequent;
    item_pos_ = pool_->take<int>(ids);
    std::fill_n(item_pos_, ids, -1);
    supports_ = pool_->take<int>(capacity);
    pos_item_ = pool_->take<int>(capacity);
    for (int k = 0; k < capacity; ++k) {
      supports_[k] = 0;
      pos_item_[k] = k;
    }
  }
  heads_ = item_count != 0 ? pool_->take<Fnode>(item_count) : nullptr;
}

void FI_tree::set_header(const int* items, int n) {
  num_items_ = n;
  for (int p = 0; p < n; ++p) {
    item_pos_[items[p]] = p;
    pos_item_[p] = items[p];
    heads_[p].init(kNoNode, items[p], 0);
  }
}

inline BuildStep FI_tree::find_child(BuildStep parent, int depth, int target, NodeRef after, NodeRef* before) {
  const NodeStore& nodes = *store_;
  const bool shallow = depth < kHubMaxDepth;
  HubIndex::Hub* hub = shallow && hubs_ != nullptr ? hubs_->hub_of(parent.ref) : nullptr;
  if (hub != nullptr) {
    const NodeRef r = HubIndex::find(*hub, target, before);
    return {nodes.get(r), r};
  }
  NodeRef prev = after;
  NodeRef r = after != kNoNode ? nodes.links(after)->next_sibling : nodes.links(parent.ref)->first_child;
  Fnode* child = nullptr;
  int walked = 0;
  while (r != kNoNode) {
    child = nodes.at(r);
    const int pos = item_pos_[child->item];
    if (pos >= target) {
      if (pos != target) r = kNoNode;
      break;
    }
    prev = r;
    r = nodes.links(r)->next_sibling;
    ++walked;
  }
  *before = prev;
  if (shallow && walked > HubIndex::kLongWalk) {
    if (hubs_ == nullptr) hubs_ = HubIndex::make(*pool_);
    hubs_->add_hub(*pool_, parent.ref, [&](auto&& f) {
      for (NodeRef c = nodes.links(parent.ref)->first_child; c != kNoNode; c = nodes.links(c)->next_sibling)
        f(item_pos_[nodes.at(c)->item], c);  // the list is sorted already
    });
  }
  return {r != kNoNode ? child : nullptr, r};
}

inline void FI_tree::append_path(BuildStep parent, NodeRef before, const int* positions, int from, int length,
                                 int count, NodeRef* path) {
  int* depth_nodes = scratch_->build.depth_nodes.data();
  HubIndex::Hub* hub = from < kHubMaxDepth && hubs_ != nullptr ? hubs_->hub_of(parent.ref) : nullptr;
  NodeRef r = parent.ref;
  for (int j = from; j < length; ++j) {
    r = append_child(r, j == from ? before : kNoNode, pos_item_[positions[j]], count);
    if (j == from && hub != nullptr) HubIndex::add_child(*pool_, *hub, positions[j], r);
    ++depth_nodes[j];
    if (path != nullptr) path[j] = r;
  }
}

void FI_tree::insert(const int* itemset, int count, int length) {
  if (scratch_->build.trail.size() < static_cast<std::size_t>(length)) scratch_->build.trail.resize(length);
  Trail none;
  insert_following(itemset, length, count, none);
}

int FI_tree::follow_trail(const int* items, int k, int count, Trail& trail) {
  const NodeRef* path = scratch_->build.trail.data();
  const NodeStore& nodes = *store_;
  const int* prev = trail.items;
  const int common = std::min(k, trail.length);
  int lcp = 0;
  while (lcp < common && items[lcp] == prev[lcp]) ++lcp;
  for (int i = 0; i < lcp; ++i) nodes.at(path[i])->count += count;
  trail = {items, k};
  return lcp;
}

void FI_tree::insert_following(const int* items, int k, int count, Trail& trail) {
  NodeRef* path = scratch_->build.trail.data();
  const int* prev = trail.items;
  const int prev_length = trail.length;
  const int lcp = follow_trail(items, k, count, trail);
  BuildStep current = lcp == 0 ? BuildStep{root_, root_ref_} : BuildStep{store_->at(path[lcp - 1]), path[lcp - 1]};
  // The trail's node below the divergence is a child of `current`; when its
  // position is the smaller, the new one lies after it.
  NodeRef after = lcp < std::min(k, prev_length) && prev[lcp] < items[lcp] ? path[lcp] : kNoNode;
  for (int i = lcp; i < k; ++i) {
    NodeRef before;
    const BuildStep child = find_child(current, i, items[i], after, &before);
    after = kNoNode;
    if (child.node == nullptr) {
      append_path(current, before, items, i, k, count, path);
      break;
    }
    current = child;
    current.node->count += count;
    path[i] = current.ref;
  }
}

// In lexicographic order consecutive transactions share their prefix path,
// so a transaction is compared only with the one before it, the walk along a
// sibling list resumes where the previous transaction left it, and new nodes
// come out in depth-first order, each subtree close behind its root. The tree
// is the one that inserting the transactions one by one in any order makes;
// only the numbering of its nodes differs.
void FI_tree::insert_sorted(const SortedBatch& batch) {
  if (scratch_->build.trail.size() < static_cast<std::size_t>(num_items_))
    scratch_->build.trail.resize(static_cast<std::size_t>(num_items_));
  Trail trail;
  int k;
  for (std::size_t t = 0; t < batch.size(); ++t) {
    const int* items = batch.transaction(t, k);
    insert_following(items, k, 1, trail);
  }
}

void FI_tree::make_chains() {
  const NodeStore& nodes = *store_;
  const NodeRef first = root_ref_ + 1;
  const NodeRef end = nodes.mark();
  // A counting sort of the nodes by position, in two sweeps over the node
  // slabs in order. Nodes of items no longer in the tree (a single prefix
  // taken off) are left out.
  int* begin = pool_->take<int>(static_cast<unsigned>(num_items_) + 1);
  std::fill(begin, begin + num_items_ + 1, 0);
  const int* pos = item_pos_;
  nodes.for_each_run(first, end, [begin, pos](NodeRef, const Fnode* run, int n) {
    for (int k = 0; k < n; ++k) {
      const int p = pos[run[k].item];
      if (p >= 0) ++begin[p];
    }
  });
  int total = 0;
  for (int p = 0; p < num_items_; ++p) begin[p] = total += begin[p];
  begin[num_items_] = total;
  // Each chain fills from its end while the numbers rise: newest first.
  NodeRef* listed = pool_->take<NodeRef>(static_cast<unsigned>(total));
  nodes.for_each_run(first, end, [begin, pos, listed](NodeRef r, const Fnode* run, int n) {
    for (int k = 0; k < n; ++k) {
      const int p = pos[run[k].item];
      if (p >= 0) listed[--begin[p]] = r + static_cast<NodeRef>(k);
    }
  });
  chain_nodes_ = listed;
  chain_begin_ = begin;
}

int FI_tree::cal_single_prefix() const {
  if (!child_links_) return depth_first_single_prefix();
  NodeRef r = links(root_ref_)->first_child;
  if (r == kNoNode || links(r)->next_sibling != kNoNode) return 0;
  int length = 1;
  for (r = links(r)->first_child; r != kNoNode && links(r)->next_sibling == kNoNode; r = links(r)->first_child)
    ++length;
  return length;
}

// Numbered depth first, the candidates are the nodes root_ref + 1, + 2, ...
// as long as each is its predecessor's first child; a node whose number does
// not follow its parent's is a later child, and the prefix ends at or above
// that parent.
int FI_tree::depth_first_single_prefix() const {
  const NodeStore& nodes = *store_;
  const NodeRef end = nodes.mark();
  NodeRef last = root_ref_;  // the last candidate
  while (last + 1 < end && nodes.at(last + 1)->parent == last) ++last;
  const NodeRef root = root_ref_;
  nodes.for_each_run(root + 1, end, [&last, root](NodeRef first, const Fnode* run, int n) {
    for (int k = 0; k < n && last != root; ++k) {
      const NodeRef parent = run[k].parent;
      if (parent < last && first + static_cast<NodeRef>(k) != parent + 1) last = parent;
    }
  });
  return static_cast<int>(last - root_ref_);
}

bool FI_tree::Single_path(bool push) const {
  assert(child_links_ && "called on conditional trees only");
  for (NodeRef r = links(root_ref_)->first_child; r != kNoNode; r = links(r)->first_child)
    if (links(r)->next_sibling != kNoNode) return false;
  if (push) {
    stack& list = scratch_->itemset;
    for (NodeRef r = links(root_ref_)->first_child; r != kNoNode; r = links(r)->first_child) {
      const Fnode* n = node(r);
      list.items[list.len] = n->item;
      list.item_supports[list.len] = n->count;
      ++list.len;
    }
  }
  return true;
}

void FI_tree::remove_single_prefix(int length) {
  if (length < 1) return;
  if (pos_item_ == item_pos_) {  // the main tree's one identity map: the two ways part here
    pos_item_ = pool_->take<int>(num_items_);
    std::iota(pos_item_, pos_item_ + num_items_, 0);
  }
  for (int i = 0; i < num_items_; ++i) item_pos_[pos_item_[i]] = i < length ? -1 : i - length;
  // The last prefix node's children become the root's.
  if (child_links_) {
    NodeRef last = root_ref_;
    for (int k = 0; k < length; ++k) last = links(last)->first_child;
    links(root_ref_)->first_child = links(last)->first_child;
    for (NodeRef r = links(root_ref_)->first_child; r != kNoNode; r = links(r)->next_sibling)
      node(r)->parent = root_ref_;
  } else {
    const NodeRef last = root_ref_ + static_cast<NodeRef>(length);  // numbered depth first
    const NodeRef root_number = root_ref_;
    store_->for_each_run(last + 1, store_->mark(), [last, root_number](NodeRef, Fnode* run, int n) {
      for (int k = 0; k < n; ++k)
        if (run[k].parent == last) run[k].parent = root_number;
    });
  }
  for (int i = length; i < num_items_; ++i) {
    pos_item_[i - length] = pos_item_[i];
    supports_[i - length] = supports_[i];
  }
  heads_ += length;
  if (chain_begin_ != nullptr) chain_begin_ += length;
  num_items_ -= length;
  covered_len_ = covered_len_ > length ? covered_len_ - length : 0;
  if (frequent_pairs_ != nullptr) frequent_pairs_->reset();
}

int FI_tree::next_frequent_pair(int a, int from) const {
  if (frequent_pairs_ != nullptr) return frequent_pairs_->next_frequent(a, from);
  const int limit = threshold();
  const int* row = pair_counts_[num_items_ - 1 - a];
  while (from < a && row[a - from - 1] < limit) ++from;
  return from;
}

int FI_tree::collect_tail(int i) {
  int* supp = scratch_->supp.data();
  int* tail = scratch_->tail.data();
  const int limit = threshold();
  int tlen = 0;
  if (frequent_pairs_ != nullptr && frequent_pairs_->has_row(i)) {
    const FrequentPairs::Row row = frequent_pairs_->row(i);
    for (int k = 0; k < row.size; ++k) {
      tail[tlen++] = pos_item_[row.partner[k]];
      supp[row.partner[k]] = row.support[k];
    }
  } else if (frequent_pairs_ == nullptr && has_pair_row(i)) {
    const int* row = pair_counts_[num_items_ - 1 - i];
    for (int q = 0; q < i; ++q) {
      const int v = row[i - q - 1];
      if (v >= limit) {
        tail[tlen++] = pos_item_[q];
        supp[q] = v;
      }
    }
  } else if (i > 0) {
    tlen = walk_pattern_base(heads_ + i, false);
  }
  return tlen;
}

void FI_tree::cal_level_25() {
  int* bran = scratch_->build.depth_nodes.data();
  int levels = 0;
  if (num_items_ > 0 && bran[0] != 0)
    while (levels < num_items_ && bran[levels] != 0) ++levels;
  const int quarter = static_cast<int>(levels * 0.25);
  long long first_quarter = 0;
  for (int i = 0; i < quarter; ++i) first_quarter += bran[i];
  long long total = 0;
  for (int i = 0; i < num_items_ && bran[i] != 0; ++i) {
    total += bran[i];
    bran[i] = 0;
  }
  // No node at all gives not-a-number, which fails every later comparison.
  level_25_percent_ = total == 0 ? std::numeric_limits<double>::quiet_NaN()
                                : double(first_quarter) / double(total) * 100.0;
}

void stack::insert(const FI_tree* t) {
  for (NodeRef r = t->links(t->root_ref())->first_child; r != kNoNode; r = t->links(r)->first_child)
    items[len++] = t->node(r)->item;
}

}  // namespace zub
