// The maximal miner's level: per head item, the subset check of head and
// tail, the itemsets found directly (a tail of at most one item), the first
// MFI, head extension, and otherwise the conditional tree, whose single
// prefix goes onto the stack before the recursion.
#include <algorithm>
#include <cassert>

#include "fp_tree/level_loop.h"
#include "fp_tree/mfi_tem.h"
#include "fp_tree/mfi_tree.h"
#include "fp_tree/miners.h"
#include "fp_tree/record.h"

namespace zub {

namespace {

class MaxLevel {
 public:
  static constexpr bool kPassesCover = true;

  MaxLevel(FI_tree& tree, MFI_tree& mfi)
      : tree_(tree), ws_(*tree.ws), M_(mfi), tem_(*ws_.maximal.list), list_(ws_.itemset),
        supp_(ws_.supp.data()), tail_(ws_.tail.data()), b_(list_.len) {
    assert(M_.stack_pos == b_ - 1);
  }

  int lowest_position() const { return tree_.covered_len; }

  Step head(int i, Fnode* hd) {
    list_.items[b_] = hd->item;
    list_.len = b_ + 1;
    std::fill(supp_, supp_ + i, 0);
    return Step::go;
  }

  Step tail(int i, Fnode* hd, int& tlen) {
    const int h = hd->item;
    if (M_.is_subset(h, tail_, tlen)) {
      clear_supports(tail_, tlen);
      list_.len = b_;
      return tlen == i ? Step::stop : Step::next;
    }
    std::copy(tail_, tail_ + tlen, list_.items + b_ + 1);
    list_.len = b_ + 1 + tlen;
    if (tlen <= 1) {
      // Nothing left to combine: the stack is maximal.
      record_max(list_.len, tlen == 1 ? supp_[tree_.item_pos[tail_[0]]] : hd->count, b_ + 1);
      if (tlen == 1) supp_[tree_.item_pos[tail_[0]]] = 0;
      list_.len = b_;
      return tlen == i ? Step::stop : Step::next;
    }
    // h's chain, read once: by the lookahead, head extension and the build.
    nodes_ = ws_.lookahead.chain.data();
    node_count_ = tree_.load_chain(hd, nodes_);
    const Step s = first_mfi_of(i, hd, tlen);
    if (s != Step::go) return s;
    return extend_head(i, tlen);
  }

  void fill(FI_tree* child, Fnode*) {
    child->scan2_DB(&tree_, nodes_, node_count_);  // the whole chain, or the nodes head extension kept
  }

  Step child(FI_tree* child, int i, int tlen) {
    list_.len = b_ + 1 + extra_;
    prefix_ = child->cal_single_prefix();
    if (prefix_ == child->num_items) {
      // One path: the stack and the whole tail form the only new itemset.
      if (!extended_) std::copy(tail_, tail_ + tlen, list_.items + list_.len);
      record_max(list_.len + tlen, child->heads[prefix_ - 1]->count, b_);
      list_.len = b_;
      return tlen == i ? Step::stop : Step::next;
    }
    if (prefix_ > 0) {
      for (int k = 0; k < prefix_; ++k) list_.items[list_.len++] = child->pos_item[k];
      child->remove_single_prefix(prefix_);
    }
    return Step::go;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i - prefix_, M_.stack_pos + 10, tree_.num_items, ws_.ladder.max);
    MFI_tree* child_mfi = pool.get().take<MFI_tree>(1);
    child_mfi->init(&pool.get(), child, list_.len - 1);
    MFI_tree*& slot = ws_.maximal.trees[static_cast<std::size_t>(child_mfi->stack_pos) + 1];
    slot = child_mfi;
    // The list shrinks again once it is far larger than its use.
    if (tem_.count < tem_.slots() - kListSlack) tem_.resize(std::max(tem_.count, kListSlack));
    const int r = Mine_Max(*child, *child_mfi);
    slot = nullptr;  // no reader may meet a released tree
    list_.len = b_;
    return r;
  }

 private:
  // The first MFI: a greedy extension of h, often settling h at once.
  Step first_mfi_of(int i, Fnode* hd, int tlen) {
    const int h = hd->item;
    list_.len = b_ + 1;
    int support = 0;
    const int n = ws_.frequent > ws_.settings.tuning.lookahead_pair_items
                      ? first_mfi_2(tree_, hd, nodes_, node_count_, support)
                      : first_mfi(tree_, hd, nodes_, node_count_, support);
    list_.len = b_ + n;  // drop the second copy of h
    const int e = n - 1;
    // Every listed itemset holds at most has[0] tail items: one with more is new.
    const bool is_new = (e > tem_.has[0] && tem_.count != 0) || !M_.is_subset();
    if (!is_new) {
      list_.len = b_ + 1;
      return Step::go;
    }
    // h, still above the extension items, joins the path of this level's
    // tree, whose h node the temporary list then names.
    record_max(b_ + n, support, b_);
    list_.len = b_ + 1;
    assert(tem_.tree == &M_);  // the list was made by this position's subset check
    const int slot = tem_.count;
    tem_.entries[slot] = M_.heads[tree_.item_pos[h]];
    tem_.has[slot] = e;
    if (slot != 0) {
      for (int j = 0; j < slot; ++j) {
        if (tem_.has[j] < e) {
          std::swap(tem_.entries[j], tem_.entries[slot]);
          std::swap(tem_.has[j], tem_.has[slot]);
          break;
        }
      }
    }
    ++tem_.count;
    if (e == i) {
      clear_supports(tail_, tlen);
      return Step::stop;
    }
    if (e == tlen) {
      list_.len = b_;
      clear_supports(tail_, tlen);
      return Step::next;
    }
    return Step::go;
  }

  // Head extension, when the best listed itemset misses exactly one tail item.
  Step extend_head(int i, int& tlen) {
    extra_ = 0;
    extended_ = tem_.count != 0 && tem_.has[0] == tlen - 1;
    if (!extended_) return Step::go;
    const HeadExtension x = head_increase(tree_, tail_, tlen, nodes_, node_count_);
    extra_ = x.pushed;
    if (x.outcome != HeadExtension::Outcome::tail) {
      clear_supports(list_.items + b_ + 1, extra_);
      list_.len = b_;
      return Step::next;
    }
    tlen = x.tail_length;
    std::copy(tail_, tail_ + tlen, list_.items + list_.len);
    list_.len += tlen;
    if (tlen <= 1) {
      record_max(list_.len, supp_[tree_.item_pos[list_.items[list_.len - 1]]], b_);
      clear_supports(list_.items + b_ + 1, extra_);
      list_.len = b_;
      return tlen == i ? Step::stop : Step::next;
    }
    return Step::go;
  }

  void record_max(int length, int support, int own_from) {
    record(ws_, ws_.maximal.trees, length, support, b_, own_from);
  }
  void clear_supports(const int* items, int n) {
    for (int k = 0; k < n; ++k) supp_[tree_.item_pos[items[k]]] = 0;
  }

  FI_tree& tree_;
  Workspace& ws_;
  MFI_tree& M_;
  mfi_tem& tem_;
  stack& list_;
  int* const supp_;
  int* const tail_;
  const int b_;  // the stack index of the head item; M's slot
  // The position being mined.
  Fnode** nodes_ = nullptr;  // the head's nodes the conditional tree is built from
  int node_count_ = 0;
  int extra_ = 0;            // items head extension pushed
  bool extended_ = false;
  int prefix_ = 0;           // the conditional tree's single prefix
};

}  // namespace

int Mine_Max(FI_tree& tree, MFI_tree& mfi) {
  MaxLevel level(tree, mfi);
  return mine_positions(level, tree);
}

}  // namespace zub
