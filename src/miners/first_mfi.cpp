// The first-MFI lookahead: a greedy maximal extension of one head item,
// read straight off the item's nodes without building a conditional tree.
#include <cassert>
#include <algorithm>
#include <climits>
#include <vector>

#include "trees/fi_tree.h"
#include "miners/miners.h"
#include "trees/sort.h"

namespace zub {

namespace {

// The node list: tree nodes standing for the transactions that hold the head
// item and every accepted item, with their counts. Moved, merged and dropped
// in place; it never grows. Each entry keeps its node's position and its
// parent's (-1 for the root), so a candidate that moves nothing costs one
// comparison per entry rather than a visit to the parent node.
struct NodeList {
  const FI_tree& tree;
  Fnode** nodes;
  int* counts;
  int* at;  // position of the node
  int* up;  // position of its parent
  int size = 0;

  int position_of_parent(const Fnode* n) const {
    return n->parent == tree.root_ref() ? -1 : tree.item_pos(tree.store().at(n->parent)->item);
  }
  // Loads the n nodes of the head item at position pos (its chain, in
  // order); returns their summed counts.
  int load(Fnode* const* chain, int n, int pos) {
    int total = 0;
    for (int k = 0; k < n; ++k) {
      Fnode* node = chain[k];
      nodes[k] = node;
      counts[k] = node->count;
      at[k] = pos;
      up[k] = position_of_parent(node);
      total += node->count;
    }
    size = n;
    return total;
  }
  // Moves the entries whose parent is at position d up to it; their counts.
  int move_to_parent_at(int d) {
    int moved = 0;
    for (int k = 0; k < size; ++k) {
      if (up[k] != d) continue;
      nodes[k] = tree.store().at(nodes[k]->parent);
      at[k] = d;
      up[k] = position_of_parent(nodes[k]);
      moved += counts[k];
    }
    return moved;
  }
  // Climbs every entry to its highest ancestor at position d or above; the
  // counts of the entries that reach d.
  int climb_to(int d) {
    const NodeStore& store = tree.store();
    const NodeRef root = tree.root_ref();
    int reached = 0;
    for (int k = 0; k < size; ++k) {
      if (up[k] >= d) {
        // The parent is not the root (its position is d or above); each
        // node on the way is looked up once.
        Fnode* parent = store.at(nodes[k]->parent);
        Fnode* n;
        do {
          n = parent;
          at[k] = up[k];
          if (n->parent == root) {
            up[k] = -1;
            break;
          }
          parent = store.at(n->parent);
          up[k] = tree.item_pos(parent->item);
        } while (up[k] >= d);
        nodes[k] = n;
      }
      if (at[k] == d) reached += counts[k];
    }
    return reached;
  }
  // Keeps the entries at position d, merging neighbours on the same node.
  void keep_at(int d) {
    int kept = 0;
    for (int k = 0; k < size; ++k) {
      if (at[k] != d) continue;
      if (kept > 0 && nodes[kept - 1] == nodes[k]) {
        counts[kept - 1] += counts[k];
      } else {
        nodes[kept] = nodes[k];
        counts[kept] = counts[k];
        at[kept] = at[k];
        up[kept] = up[k];
        ++kept;
      }
    }
    size = kept;
  }
};

// What both lookaheads start from: the itemset found so far (the head item)
// and the node list of the head item's chain. Under a maximum length the
// itemset stops growing when the stack below the head and the found items
// reach it (`room` found items at most, the head included).
struct Greedy {
  int* buffer;
  int filled = 1;
  int room;
  NodeList list;
  Greedy(Workspace& ws, const FI_tree& t, const Fnode* hd, Fnode* const* chain, int n, int& support)
      : buffer(ws.lookahead.found.data()),
        room(ws.recorder.lengths().limits_max() ? ws.recorder.lengths().max - ws.recorder.itemset.len + 1 : INT_MAX),
        list{t, ws.lookahead.nodes.data(), ws.lookahead.counts.data(), ws.lookahead.at.data(),
             ws.lookahead.up.data()} {
    buffer[0] = hd->item;
    support = list.load(chain, n, t.item_pos(hd->item));
  }
  void accept(int item) { buffer[filled++] = item; }
  // Pushes the accepted items (ascending position) and then the head item;
  // returns their number.
  int push(stack& stack_) const {
    for (int k = filled - 1; k >= 0; --k) stack_.items[stack_.len++] = buffer[k];
    return filled;
  }
};

}  // namespace

int first_mfi(Workspace& ws, FI_tree& tree, Fnode* hd, int& support) {
  Fnode** chain = ws.lookahead.chain.data();
  const int n = tree.load_chain(hd, chain);
  return first_mfi(ws, tree, hd, chain, n, support);
}

int first_mfi_2(Workspace& ws, FI_tree& tree, Fnode* hd, int& support) {
  Fnode** chain = ws.lookahead.chain.data();
  const int n = tree.load_chain(hd, chain);
  return first_mfi_2(ws, tree, hd, chain, n, support);
}

int first_mfi(Workspace& ws, FI_tree& tree, const Fnode* hd, Fnode* const* chain, int n, int& support) {
  const int pos = tree.item_pos(hd->item);
  const int threshold = tree.threshold();
  Greedy g(ws, tree, hd, chain, n, support);
  NodeList& list = g.list;

  // Positions below the lowest frequent pair with h are never tried.
  int low = tree.has_pair_row(pos) ? tree.next_frequent_pair(pos, 0) : 0;
  for (int d = pos - 1; d >= low && g.filled < g.room; --d) {
    const int cs = list.move_to_parent_at(d);
    if (cs < threshold) continue;  // rejected; the moved list stays
    support = cs;
    list.keep_at(d);
    g.accept(tree.pos_item(d));
    if (tree.has_pair_row(d)) low = tree.next_frequent_pair(d, low);
  }
  return g.push(ws.recorder.itemset);
}

int first_mfi_2(Workspace& ws, FI_tree& tree, const Fnode* hd, Fnode* const* chain, int n, int& support) {
  const int pos = tree.item_pos(hd->item);
  const int threshold = tree.threshold();
  Greedy g(ws, tree, hd, chain, n, support);
  NodeList& list = g.list;

  // The candidates after pos-1: the positions whose pair with h is frequent
  // (all of them without pair counts), narrowed to those frequent with each
  // accepted item that has pair counts. They are tried from the top down.
  int* candidates = ws.lookahead.candidates.data();
  int remaining = 0;
  int low = 0;
  if (tree.has_pair_row(pos)) {
    remaining = tree.frequent_partners(pos, candidates);
    if (remaining > 0) low = candidates[0];
  } else {
    for (int q = 0; q < pos; ++q) candidates[remaining++] = q;
  }
  if (remaining > 0 && candidates[remaining - 1] == pos - 1) --remaining;

  for (int d = pos - 1; d >= low && d >= 0;) {
    // Positions may have been skipped: climb as far as position d.
    const int cs = list.climb_to(d);
    if (cs >= threshold) {
      support = cs;
      list.keep_at(d);
      g.accept(tree.pos_item(d));
      if (tree.has_pair_row(d)) remaining = tree.keep_frequent_with(d, candidates, remaining);
    }
    if (remaining == 0 || g.filled == g.room) break;
    d = candidates[--remaining];
  }
  return g.push(ws.recorder.itemset);
}

int first_mfi_3(Workspace& ws, FI_tree& tree, Fnode* hd, int& support, int* items, int n, int* rank, int* keys,
                int* result, int** lists, int* lengths) {
  const int width = ws.trees.max_width;
  std::vector<int> current(static_cast<std::size_t>(width)), next(static_cast<std::size_t>(width));
  int* counts = ws.lookahead.counts.data();
  for (int x = 0; x < ws.frequent; ++x) rank[x] = -1;
  for (int k = 0; k < n; ++k) keys[k] = ws.trees.supp[tree.item_pos(items[k])];
  sort(keys, items, 0, n - 1);
  for (int k = 0; k < n; ++k) {
    rank[items[k]] = k;
    lengths[k] = 0;
  }
  int t = 0;
  const NodeStore& store = tree.store();
  for (const NodeRef ref : tree.chain(tree.item_pos(hd->item))) {
    const Fnode* node = store.at(ref);
    for (const Fnode* a = store.at(node->parent); a != tree.root(); a = store.at(a->parent)) {
      const int r = rank[a->item];
      if (r >= 0) lists[r][lengths[r]++] = t;
    }
    counts[t++] = node->count;
  }
  support = 0;
  if (n == 0) return 0;
  result[0] = items[0];
  int current_len = lengths[0];
  for (int k = 0; k < current_len; ++k) {
    current[k] = lists[0][k];
    support += counts[current[k]];
  }
  int m = 1;
  for (int r = 1; r < n; ++r) {
    result[m] = items[r];
    const int len = intersect(current.data(), current_len, lists[r], lengths[r], next.data());
    int sum = 0;
    for (int k = 0; k < len; ++k) sum += counts[next[k]];
    if (sum >= tree.threshold()) {
      ++m;
      support = sum;
      current.swap(next);
      current_len = len;
    }
  }
  return m;
}

}  // namespace zub
