// Head extension: when the best recorded itemset containing the head item
// misses exactly one tail item, every new maximal itemset under the head must
// contain that item, so it moves from the tail onto the stack.
#include <cassert>
#include <vector>

#include "trees/fi_tree.h"
#include "miners/miners.h"
#include "trees/mfi_tem.h"
#include "common/run_error.h"

namespace zub {

namespace {

// Keeps, of the head's nodes, those whose paths hold items[from..to], and
// counts the supports of the positions below `size` in what they keep. When
// those items are no longer frequent together `rest` becomes -1; otherwise
// the allowed positions that fell below the threshold are dropped from it.
void restrict_pattern_base(const FI_tree& tree, int size, const int* items, int from, int to, bool* allowed,
                           int& rest, Fnode** nodes, int& node_count) {
  TreeScratch& scratch = tree.scratch();
  const int* item_pos = tree.item_positions();
  const int threshold = tree.threshold();
  int* supp = scratch.supp.data();
  std::vector<unsigned char> on_path(static_cast<std::size_t>(size), 0);
  std::vector<int> path(static_cast<std::size_t>(size));
  for (int q = 0; q < size; ++q) supp[q] = 0;
  int retained = 0;
  for (int k = 0; k < node_count; ++k) {
    Fnode* node = nodes[k];
    int n = 0;
    for (const Fnode* a = tree.store().at(node->parent); a != tree.root(); a = tree.store().at(a->parent)) {
      const int q = item_pos[a->item];
      on_path[q] = 1;
      path[n++] = q;
    }
    bool keep = true;
    for (int j = from; j <= to && keep; ++j) keep = on_path[item_pos[items[j]]] != 0;
    if (keep) {
      nodes[retained++] = node;
      for (int j = 0; j < n; ++j) supp[path[j]] += node->count;
    }
    for (int j = 0; j < n; ++j) on_path[path[j]] = 0;
  }
  node_count = retained;
  for (int j = from; j <= to; ++j) {
    if (supp[item_pos[items[j]]] < threshold) {
      // The added items are no longer frequent together.
      rest = -1;
      for (int q = 0; q < size; ++q) {
        supp[q] = 0;
        allowed[q] = false;
      }
      return;
    }
  }
  for (int q = 0; q < size; ++q) {
    if (allowed[q] && supp[q] < threshold) {
      supp[q] = 0;
      allowed[q] = false;
      --rest;
    }
  }
}

}  // namespace

HeadExtension head_increase(Workspace& ws, FI_tree& tree, int* tail, int Tlen, Fnode** nodes, int& node_count) {
  stack& list = ws.recorder.itemset;
  mfi_tem& tem = *ws.trees.mfi_list;
  bool* marked = ws.trees.flags.data();
  int* remembered = tem.marked_items.data();
  const int* item_pos = tree.item_positions();
  const int start_len = list.len;
  const int h = list.items[list.len - 1];
  const int size = item_pos[h];
  std::unique_ptr<bool[]> allowed(new bool[size > 0 ? size : 1]());
  for (int k = 0; k < Tlen; ++k) allowed[item_pos[tail[k]]] = true;
  int rest = Tlen;
  if (!(Tlen > 1 && tem.has[0] == Tlen - 1))
    throw RunError(kExitInternal, "fp_tree: assertion \"Tlen>1 && LMFITEM->has[0]==Tlen-1\" failed");
  int from = start_len;
  while (tem.count != 0) {
    // Each entry that misses exactly one tail item forces that item.
    for (int j = 0; j < tem.count && tem.has[j] == Tlen - 1 && rest > 0; ++j) {
      int n = 0;
      tem.for_each_item(j, [&](int item) {
        marked[item] = true;
        remembered[n++] = item;
      });
      int missing = -1;
      for (int k = 0; k < Tlen && missing < 0; ++k)
        if (!marked[tail[k]]) missing = tail[k];
      if (missing >= 0 && allowed[item_pos[missing]]) {
        allowed[item_pos[missing]] = false;
        list.items[list.len++] = missing;
        --rest;
      }
      for (int k = 0; k < n; ++k) marked[remembered[k]] = false;
    }
    restrict_pattern_base(tree, size, list.items, from, list.len - 1, allowed.get(), rest, nodes, node_count);
    if (rest == -1) break;
    int kept = 0;
    for (int q = 0; q < size; ++q)
      if (allowed[q]) tail[kept++] = tree.pos_item(q);
    Tlen = rest = kept;
    if (tem.is_subset(list.items, from, list.len - 1, tail, 0, rest - 1)) {
      rest = -2;  // one recorded itemset holds everything that is left
      break;
    }
    if (tem.count == 0 || tem.has[0] != Tlen - 1 || Tlen == 0) break;
    from = list.len;
  }
  HeadExtension x;
  x.pushed = list.len - start_len;
  x.outcome = rest == -1   ? HeadExtension::Outcome::infrequent
              : rest == -2 ? HeadExtension::Outcome::covered
                           : HeadExtension::Outcome::tail;
  x.tail_length = rest < 0 ? 0 : rest;
  return x;
}

}  // namespace zub
