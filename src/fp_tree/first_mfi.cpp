// The first-MFI lookahead: a greedy maximal extension of one head item,
// read straight off the item's nodes without building a conditional tree.
#include <cassert>
#include <vector>

#include "fp_tree/fi_tree.h"
#include "fp_tree/sort.h"

namespace zub {

namespace {

// The node list: tree nodes standing for the transactions that hold the head
// item and every accepted item, with their counts. Moved, merged and dropped
// in place; it never grows.
struct NodeList {
  Fnode** nodes;
  int* counts;
  int size = 0;

  void load(const Fnode* hd) {
    for (Fnode* n = hd->link; n != nullptr; n = n->link) {
      nodes[size] = n;
      counts[size] = n->count;
      ++size;
    }
  }
  // Keeps the entries that carry `item`, merging neighbours on the same node.
  void keep_carrying(int item) {
    int kept = 0;
    for (int k = 0; k < size; ++k) {
      if (nodes[k]->item != item) continue;
      if (kept > 0 && nodes[kept - 1] == nodes[k]) {
        counts[kept - 1] += counts[k];
      } else {
        nodes[kept] = nodes[k];
        counts[kept] = counts[k];
        ++kept;
      }
    }
    size = kept;
  }
};

// The lowest position whose pair with `pos` is frequent; pos when none is.
int lowest_frequent_pair(const FI_tree& t, int pos, int threshold) {
  int low = 0;
  while (low < pos && t.pair_count(low, pos) < threshold) ++low;
  return low;
}

void push_reversed(stack& list, const int* buffer, int n) {
  for (int k = n - 1; k >= 0; --k) list.items[list.len++] = buffer[k];
}

}  // namespace

int FI_tree::first_mfi(Fnode* hd, int& support) {
  Context& c = *ctx;
  const int h = hd->item;
  const int pos = item_pos[h];
  std::vector<int> buffer(static_cast<std::size_t>(pos) + 1);
  buffer[0] = h;
  int filled = 1;
  NodeList list{c.temp1.data(), c.temp_count.data()};
  list.load(hd);
  assert(list.size <= c.Max_Width);
  support = 0;
  for (int k = 0; k < list.size; ++k) support += list.counts[k];

  int low = has_pair_row(pos) ? lowest_frequent_pair(*this, pos, c.THRESHOLD) : 0;
  for (int d = pos - 1; d >= low; --d) {
    const int candidate = pos_item[d];
    int cs = 0;
    for (int k = 0; k < list.size; ++k) {
      Fnode* parent = list.nodes[k]->parent;
      if (parent->item == candidate) {
        list.nodes[k] = parent;
        cs += list.counts[k];
      }
    }
    if (cs < c.THRESHOLD) continue;  // rejected; the moved list stays
    support = cs;
    list.keep_carrying(candidate);
    buffer[filled++] = candidate;
    if (has_pair_row(d))
      while (low < d && pair_count(low, d) < c.THRESHOLD) ++low;
  }
  push_reversed(*c.list, buffer.data(), filled);
  return filled;
}

int FI_tree::first_mfi_2(Fnode* hd, int& support) {
  Context& c = *ctx;
  const int h = hd->item;
  const int pos = item_pos[h];
  std::vector<int> buffer(static_cast<std::size_t>(pos) + 1);
  buffer[0] = h;
  int filled = 1;
  NodeList list{c.temp1.data(), c.temp_count.data()};
  list.load(hd);
  assert(list.size <= c.Max_Width);
  support = 0;
  for (int k = 0; k < list.size; ++k) support += list.counts[k];

  // allowed[q]: q may still join; cleared as the pair counts exclude it.
  std::vector<unsigned char> allowed(static_cast<std::size_t>(pos), 1);
  int low = 0;
  if (has_pair_row(pos)) {
    for (int q = 0; q < pos; ++q) allowed[q] = pair_count(q, pos) >= c.THRESHOLD;
    low = lowest_frequent_pair(*this, pos, c.THRESHOLD);
    if (low == pos) low = 0;  // nothing frequent: only pos-1 is tried
  }
  for (int d = pos - 1; d >= low; --d) {
    if (d != pos - 1 && !allowed[d]) continue;
    const int candidate = pos_item[d];
    int cs = 0;
    for (int k = 0; k < list.size; ++k) {
      Fnode* node = list.nodes[k];
      // Positions may have been skipped: climb as far as position d.
      while (node->parent != root && item_pos[node->parent->item] >= d) node = node->parent;
      list.nodes[k] = node;
      if (node->item == candidate) cs += list.counts[k];
    }
    if (cs < c.THRESHOLD) continue;
    support = cs;
    list.keep_carrying(candidate);
    buffer[filled++] = candidate;
    if (has_pair_row(d)) {
      while (low < d && pair_count(low, d) < c.THRESHOLD) ++low;
      for (int q = low; q < d; ++q)
        if (pair_count(q, d) < c.THRESHOLD) allowed[q] = 0;
    }
  }
  push_reversed(*c.list, buffer.data(), filled);
  return filled;
}

int FI_tree::first_mfi_3(Fnode* hd, int& support, int* items, int n, int*, int* rank, int* keys,
                         int* result) {
  Context& c = *ctx;
  const int width = c.Max_Width;
  std::vector<int> current(static_cast<std::size_t>(width)), next(static_cast<std::size_t>(width));
  for (int x = 0; x < c.ITEM_NO; ++x) rank[x] = -1;
  for (int k = 0; k < n; ++k) keys[k] = c.supp[item_pos[items[k]]];
  sort(keys, items, 0, n - 1);
  for (int k = 0; k < n; ++k) {
    rank[items[k]] = k;
    c.temp_len[k] = 0;
  }
  int t = 0;
  for (const Fnode* node = hd->link; node != nullptr; node = node->link, ++t) {
    for (const Fnode* a = node->parent; a != root; a = a->parent) {
      const int r = rank[a->item];
      if (r >= 0) c.temp_buf[r][c.temp_len[r]++] = t;
    }
    c.temp_count[t] = node->count;
  }
  support = 0;
  if (n == 0) return 0;
  result[0] = items[0];
  int current_len = c.temp_len[0];
  for (int k = 0; k < current_len; ++k) {
    current[k] = c.temp_buf[0][k];
    support += c.temp_count[current[k]];
  }
  int m = 1;
  for (int r = 1; r < n; ++r) {
    result[m] = items[r];
    const int len = intersect(current.data(), current_len, c.temp_buf[r], c.temp_len[r], next.data());
    int sum = 0;
    for (int k = 0; k < len; ++k) sum += c.temp_count[next[k]];
    if (sum >= c.THRESHOLD) {
      ++m;
      support = sum;
      current.swap(next);
      current_len = len;
    }
  }
  return m;
}

}  // namespace zub
