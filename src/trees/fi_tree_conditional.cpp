// Conditional FP-trees: the tree of the prefix paths of one item of a parent.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "trees/ancestor_walk.h"
#include "trees/fi_tree.h"
#include "trees/mfi_tem.h"
#include "trees/mnode.h"
#include "trees/sort.h"

namespace zub {

void FI_tree::take_tail(FI_tree* parent) {
  ++scratch_->counters.projections;
  int* supp = scratch_->supp.data();
  const int* tail = scratch_->tail.data();
  for (int i = 0; i < num_items_; ++i) {
    const int q = parent->item_pos_[tail[i]];
    supports_[i] = supp[q];
    pos_item_[i] = tail[i];
    supp[q] = 0;
  }
}

// Moves the marked items to the front, working inwards from both ends.
void FI_tree::partition_covered(const FI_tree* parent, const bool* marked, bool by_parent_position) {
  auto is_marked = [&](int i) {
    const int item = pos_item_[i];
    return by_parent_position ? marked[parent->item_pos_[item]] : marked[item];
  };
  int left = 0, right = num_items_ - 1;
  for (;;) {
    while (left < num_items_ && is_marked(left)) ++left;
    while (right >= 0 && !is_marked(right)) --right;
    if (right <= left) break;
    std::swap(pos_item_[left], pos_item_[right]);
    std::swap(supports_[left], supports_[right]);
  }
}

void FI_tree::make_header_table(const FI_tree* parent) {
  for (int i = 0; i < num_items_; ++i) {
    item_pos_[pos_item_[i]] = i;
    heads_[i].init(kNoNode, pos_item_[i], supports_[i]);
  }
  // Not-a-number fails this test: a parent without nodes gives no array. A
  // triangle larger than the main tree's dense limit is not counted either:
  // the tails are then walked, as for a tree without pair counts.
  pair_rows_ = covered_len_ == 0 ? num_items_ - 1 : num_items_ - covered_len_ - 1;
  const auto rows = static_cast<std::size_t>(pair_rows_ > 0 ? pair_rows_ : 0);
  const std::size_t cells = rows * (2 * static_cast<std::size_t>(num_items_) - 1 - rows) / 2;
  if (num_items_ > kPairCountMinItems && parent->level_25_percent_ > kPairCountTopShare &&
      cells <= settings_->tuning.dense_pair_cells) {
    pair_counts_ = pool_->take<int*>(pair_rows_);
    for (int r = 0; r < pair_rows_; ++r) {
      const int n = num_items_ - 1 - r;
      pair_counts_[r] = pool_->take<int>(n);
      std::fill(pair_counts_[r], pair_counts_[r] + n, 0);
    }
  } else {
    pair_counts_ = nullptr;
    pair_rows_ = 0;
  }
}

void FI_tree::scan1_DB(FI_tree* parent, const mfi_tem* list) {
  take_tail(parent);
  if (list != nullptr && list->count > 0 && list->has[0] != 0) {
    // The tail items of the best listed itemset go first, each group by support.
    covered_len_ = list->has[0];
    bool* marked = scratch_->flags.data();
    list->for_each_item(0, [&](int item) { marked[item] = true; });
    partition_covered(parent, marked, false);
    sort(supports_, pos_item_, 0, covered_len_ - 1);
    sort(supports_, pos_item_, covered_len_, num_items_ - 1);
    list->for_each_item(0, [&](int item) { marked[item] = false; });
  } else {
    sort(supports_, pos_item_, 0, num_items_ - 1);
    covered_len_ = 0;
  }
  make_header_table(parent);
}

void FI_tree::scan1_DB(FI_tree* parent, const bool* covered_flags, int covered) {
  take_tail(parent);
  covered_len_ = covered;
  if (num_items_ > 1) partition_covered(parent, covered_flags, true);
  sort(supports_, pos_item_, 0, covered - 1);
  sort(supports_, pos_item_, covered, num_items_ - 1);
  make_header_table(parent);
}

void FI_tree::scan1_DB(FI_tree* parent, const int*, const int*, const int* tail_supports,
                       const int* covered_items, int covered) {
  ++scratch_->counters.projections;
  if (num_items_ <= 0) {
    covered_len_ = covered;
    pair_counts_ = nullptr;
    return;
  }
  // Covered items matched in tail order go first, the rest keep tail order.
  // Counting the matches first keeps a covered list that is out of order
  // from writing past the arrays: an unmatched item just joins the rest.
  const int* tail = scratch_->tail.data();
  int matched = 0;
  for (int i = 0; i < num_items_; ++i)
    if (matched < covered && tail[i] == covered_items[matched]) ++matched;
  int front = 0, back = matched, j = 0;
  for (int i = 0; i < num_items_; ++i) {
    const int slot = (j < matched && tail[i] == covered_items[j]) ? (++j, front++) : back++;
    pos_item_[slot] = tail[i];
    supports_[slot] = tail_supports[i];
    scratch_->supp[parent->item_pos_[tail[i]]] = 0;
  }
  covered_len_ = matched;
  make_header_table(parent);
}

void FI_tree::add_prefix_paths(const FI_tree* parent, const Fnode* const* nodes, int n) {
  // The paths are climbed eight at a time and inserted in list order. The
  // last one inserted is kept apart for the next, which may share a prefix
  // with it.
  constexpr int kLanes = 8;
  int* paths[kLanes];
  int length[kLanes];
  const std::size_t stride = static_cast<std::size_t>(num_items_) + 1;
  BuildScratch& build = scratch_->build;
  if (build.paths.size() < (kLanes + 1) * stride) build.paths.resize((kLanes + 1) * stride);
  if (build.trail.size() < stride) build.trail.resize(stride);
  for (int lane = 0; lane < kLanes; ++lane) paths[lane] = build.paths.data() + lane * stride;
  int* const kept = build.paths.data() + kLanes * stride;
  Trail trail;
  std::fill(length, length + kLanes, 0);
  climb_in_lockstep<kLanes>(
      *parent->store_, n, [nodes](int k) { return nodes[k]; }, parent->root_,
      [&](int lane, const Fnode&, const Fnode& a) {
        const int q = item_pos_[a.item];
        if (q != -1) paths[lane][length[lane]++] = q;
      },
      [&](int first, int lanes) {
        for (int lane = 0; lane < lanes; ++lane) {
          insert_path(paths[lane], length[lane], nodes[first + lane]->count, trail);
          length[lane] = 0;
        }
        std::copy(trail.items, trail.items + trail.length, kept);
        trail.items = kept;
      });
}

namespace {

// Puts k distinct positions below 64 * words in ascending order by way of a
// bit set: no comparison depends on the order they came in. A set of one
// word, the common case, is a register (1.4% fewer instructions on chess
// than a set of four words).
template <int kWords>
void sort_by_bits(int* positions, int k, int words) {
  std::uint64_t bits[kWords] = {};
  for (int m = 0; m < k; ++m) bits[positions[m] >> 6] |= std::uint64_t{1} << (positions[m] & 63);
  int out = 0;
  for (int w = 0; w < words; ++w)
    for (std::uint64_t b = bits[w]; b != 0; b &= b - 1) positions[out++] = (w << 6) | std::countr_zero(b);
}

}  // namespace

void FI_tree::insert_path(int* positions, int k, int count, Trail& trail) {
  if (k == 0) return;
  const int words = (num_items_ + 63) >> 6;
  if (words == 1) {
    sort_by_bits<1>(positions, k, 1);
  } else if (words <= 4) {
    sort_by_bits<4>(positions, k, words);
  } else {
    // Climbing meets the positions roughly in descending order: reversing
    // leaves the insertion sort little to do.
    std::reverse(positions, positions + k);
    sort_by_key(positions, k, [](int p) { return p; });
  }
  if (pair_counts_ != nullptr && k >= 2) add_pairs(positions, k, count);
  insert_following(positions, k, count, trail);
}

void FI_tree::scan2_DB(FI_tree* parent, Fnode* head) {
  std::vector<Fnode*>& nodes = scratch_->build.chain;
  nodes.resize(static_cast<std::size_t>(parent->chain(parent->item_pos_[head->item]).size));
  add_prefix_paths(parent, nodes.data(), parent->load_chain(head, nodes.data()));
  cal_level_25();
  make_chains();
}

void FI_tree::scan2_DB(FI_tree* parent, Fnode** nodes, int node_count) {
  add_prefix_paths(parent, nodes, node_count);
  cal_level_25();
  make_chains();
}

FI_tree* FI_tree::conditional_tree(int k, const mfi_tem* covering) {
  FI_tree* child = scratch_->pool.make<FI_tree>(*settings_, scratch_, scratch_->pool, scratch_->nodes, num_items_, k);
  child->scan1_DB(this, covering);
  return child;
}

}  // namespace zub
