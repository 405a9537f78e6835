// The maximal miner's level: per head item, the subset check of head and
// tail, the itemsets found directly (a tail of at most one item), the first
// MFI, head extension, and otherwise the conditional tree, whose single
// prefix goes onto the stack before the recursion.
//
// Under a maximum length M the itemsets are the maximal ones among the
// frequent itemsets of at most M items: every frequent set of M items, and
// the maximal itemsets that are shorter. A stack of M items is then a leaf
// (nothing extends it); a tree that would give longer sets is mined without
// its single prefix (a set of M items may leave out a prefix item), and a
// single path longer than allowed gives each choice of the allowed size. A
// recorded itemset holds at most M items, so a set of M items is covered
// only when recorded already (by a lookahead above it).
#include <algorithm>
#include <cassert>

#include "miners/absorbed_positions.h"
#include "miners/level_loop.h"
#include "trees/mfi_tem.h"
#include "trees/mfi_tree.h"
#include "miners/miners.h"
#include "miners/recorder.h"

namespace zub {

namespace {

struct MaxLevel {
  static constexpr bool kPassesCover = true;

  FI_tree& tree;
  Workspace& ws;
  MFI_tree& M;
  mfi_tem& tem = *ws.trees.mfi_list;
  stack& list = ws.recorder.itemset;
  int* const supp = ws.trees.supp.data();
  int* const tail_ids = ws.trees.tail.data();
  const int b = list.len;  // the stack index of the head item; M's slot
  const int most = ws.recorder.lengths().max;
  // The position being mined: the head's nodes the conditional tree is built
  // from, the items head extension pushed, the conditional tree's prefix.
  Fnode** nodes = nullptr;
  int node_count = 0;
  int extra = 0;
  bool extended = false;
  int prefix = 0;
  // The level mines one position alone (a unit of a parallel run): once it
  // descends, nothing reads M again, so the itemsets found below skip it.
  bool sole_position = false;
  AbsorbedPositions* absorbed = nullptr;  // the main tree's, without a maximum length

  int lowest_position() const { return tree.covered_len(); }
  const mfi_tem* covering() const { return &tem; }
  void leave() { list.len = b; }
  void record_max(int length, int support, int own_from) {
    ws.recorder.record(ws.recorder.mfi_trees, length, support, b, own_from);
  }

  // Each position starts with the supports below it zeroed, so that no
  // exit of a position clears the tail supports it leaves (the walk clears
  // them once at its end).
  Step head(int i, Fnode* hd) {
    if (absorbed != nullptr && absorbed->has(i)) return Step::next;
    list.items[b] = hd->item;
    list.len = b + 1;
    if (b + 1 == most) {
      // The head completes a set of the maximum length.
      if (!M.is_subset(hd->item, tail_ids, 0)) record_max(b + 1, hd->count, b + 1);
      return Step::next;
    }
    std::fill(supp, supp + i, 0);
    return Step::go;
  }

  Step tail(int i, Fnode* hd, int& tlen) {
    if (absorbed != nullptr) absorbed->mark_tail(tree, tail_ids, tlen, supp);
    if (tlen > 1 && b + 2 == most) {
      // Each tail item completes a set of the maximum length.
      for (int k = 0; k < tlen; ++k) {
        list.items[b + 1] = tail_ids[k];
        if (!M.is_subset(hd->item, tail_ids + k, 1)) record_max(b + 2, supp[tree.item_pos(tail_ids[k])], b + 1);
      }
      return Step::next;
    }
    if (M.is_subset(hd->item, tail_ids, tlen)) return tlen == i ? Step::stop : Step::next;
    std::copy(tail_ids, tail_ids + tlen, list.items + b + 1);
    list.len = b + 1 + tlen;
    if (tlen <= 1) {
      // Nothing left to combine: the stack is maximal.
      record_max(list.len, tlen == 1 ? supp[tree.item_pos(tail_ids[0])] : hd->count, b + 1);
      return tlen == i ? Step::stop : Step::next;
    }
    // h's chain, read once: by the lookahead, head extension and the build.
    nodes = ws.lookahead.chain.data();
    node_count = tree.load_chain(hd, nodes);
    const Step s = first_mfi_of(i, hd, tlen);
    return s != Step::go ? s : extend_head(i, tlen);
  }

  // The first MFI: a greedy extension of h, often settling h at once.
  Step first_mfi_of(int i, Fnode* hd, int tlen) {
    list.len = b + 1;
    int support = 0;
    const int n = ws.frequent > ws.settings.tuning.lookahead_pair_items
                      ? first_mfi_2(ws, tree, hd, nodes, node_count, support)
                      : first_mfi(ws, tree, hd, nodes, node_count, support);
    list.len = b + n;  // drop the second copy of h
    const int e = n - 1;
    // Every listed itemset holds at most has[0] tail items: one with more is new.
    if ((e <= tem.has[0] || tem.count == 0) && M.is_subset()) {
      list.len = b + 1;
      return Step::go;
    }
    // h joins the path in M, whose h node the temporary list then names.
    record_max(b + n, support, b);
    list.len = b + 1;
    assert(tem.tree == &M);  // the list was made by this position's subset check
    const int slot = tem.count++;
    tem.entries[slot] = M.heads[tree.item_pos(hd->item)];
    tem.has[slot] = e;
    for (int j = 0; j < slot; ++j) {
      if (tem.has[j] < e) {
        std::swap(tem.entries[j], tem.entries[slot]);
        std::swap(tem.has[j], tem.has[slot]);
        break;
      }
    }
    if (e != i && e != tlen) return Step::go;
    return e == i ? Step::stop : Step::next;
  }

  // Head extension, when the best listed itemset misses exactly one tail item.
  Step extend_head(int i, int& tlen) {
    extra = 0;
    extended = tem.count != 0 && tem.has[0] == tlen - 1;
    if (!extended) return Step::go;
    const HeadExtension x = head_increase(ws, tree, tail_ids, tlen, nodes, node_count);
    extra = x.pushed;
    if (x.outcome == HeadExtension::Outcome::tail && b + 1 + extra >= most) {
      // Every new itemset holds the pushed items: the stack alone, when it
      // has the maximum length, or none.
      const int h = list.items[b];
      const int s = b + 1 + extra;
      if (s == most && !M.is_subset(h, list.items + b + 1, extra))
        record_max(s, supp[tree.item_pos(list.items[s - 1])], b);
      return Step::next;
    }
    if (x.outcome == HeadExtension::Outcome::tail) {
      tlen = x.tail_length;
      std::copy(tail_ids, tail_ids + tlen, list.items + list.len);
      list.len += tlen;
      if (tlen > 1) return Step::go;
      record_max(list.len, supp[tree.item_pos(list.items[list.len - 1])], b);
    }
    return x.outcome == HeadExtension::Outcome::tail && tlen == i ? Step::stop : Step::next;
  }

  void fill(FI_tree* child, Fnode*) {
    child->scan2_DB(&tree, nodes, node_count);  // the whole chain, or the nodes head extension kept
  }

  Step child(FI_tree* child, int i, int tlen) {
    list.len = b + 1 + extra;
    const int room = most - list.len;  // items the tail may add
    prefix = child->cal_single_prefix();
    if (prefix == child->num_items() && tlen <= room) {
      // One path: the stack and the whole tail form the only new itemset.
      if (!extended) std::copy(tail_ids, tail_ids + tlen, list.items + list.len);
      record_max(list.len + tlen, child->head(prefix - 1)->count, b);
      return tlen == i ? Step::stop : Step::next;
    }
    if (prefix == child->num_items()) {
      // One path longer than allowed: each choice of `room` of its items.
      const FI_tree& c = *child;
      const int h = list.items[b];
      for_each_choice(
          c.items_by_position(), c.num_items(), room, list.items + list.len, [&c](int p) { return c.head(p)->count; },
          [&](int support) {
            if (!M.is_subset(h, list.items + b + 1, most - b - 1)) record_max(most, support, b);
          });
      return Step::next;
    }
    if (tlen > room) {
      prefix = 0;  // a set of the maximum length may leave out a prefix item
      return Step::go;
    }
    for (int k = 0; k < prefix; ++k) list.items[list.len++] = child->pos_item(k);
    if (prefix > 0) child->remove_single_prefix(prefix);
    return Step::go;
  }

  int descend(FI_tree* child, int i) {
    LadderPool pool(i - prefix, M.stack_pos + 10, tree.num_items(), ws.ladder.max);
    MFI_tree* child_mfi = pool.get().take<MFI_tree>(1);
    child_mfi->init(&pool.get(), child, list.len - 1);
    MFI_tree*& slot = ws.recorder.mfi_trees[static_cast<std::size_t>(list.len)];
    slot = child_mfi;
    if (sole_position) ws.recorder.mfi_trees[static_cast<std::size_t>(b)] = nullptr;
    // The list shrinks again once it is far larger than its use.
    if (tem.count < tem.slots() - kListSlack) tem.resize(std::max(tem.count, kListSlack));
    const int r = Mine_Max(ws, *child, *child_mfi);
    slot = nullptr;  // no reader may meet a released tree
    return r;
  }
};

}  // namespace

int Mine_Max(Workspace& ws, FI_tree& tree, MFI_tree& mfi, AbsorbedPositions* absorbed) {
  MaxLevel level{tree, ws, mfi};
  level.absorbed = absorbed;
  assert(mfi.stack_pos == level.b - 1);
  const int r = mine_positions(level, tree);
  std::fill(level.supp, level.supp + tree.num_items(), 0);
  return r;
}

bool Mine_Max_Position(Workspace& ws, FI_tree& tree, MFI_tree& mfi, int i, AbsorbedPositions* absorbed) {
  MaxLevel level{tree, ws, mfi};
  level.sole_position = true;
  level.absorbed = absorbed;
  const bool covers = mine_position(level, tree, i);
  std::fill(level.supp, level.supp + i, 0);
  return covers;
}

}  // namespace zub
