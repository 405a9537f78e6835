#pragma once
// The FP-tree: prefix tree of the frequent items of a database (or of a
// conditional database) with its header table and optional pair-count array.
// Every node, header node and header array lives in the run's main pool.
#include "fp_tree/context.h"
#include "fp_tree/fnode.h"

namespace zub {

class Data;
class FSout;
class MFI_tree;
class CFI_tree;

class FI_tree {
 public:
  // Prepares an empty tree. capacity -1 (the main tree) makes no header arrays:
  // the first database scan makes them once it knows the number of items.
  void init(Context* c, int capacity, int item_count);
  // Adds `length` positions (ascending) with the given count.
  void insert(const int* itemset, int count, int length);

  // First and second pass over the transaction file (main tree).
  void scan1_DB(Data* data);
  void scan2_DB(Data* data);

  int cal_single_prefix() const;
  bool Single_path(bool push) const;
  void remove_single_prefix(int length);
  // Sets level_25_percent from the per-depth node counts in bran, resets bran.
  void cal_level_25();

  // Adds `count` to every pair of the ascending positions that has a row.
  void add_pairs(const int* positions, int k, int count) {
    const int first_with_row = num_items - pair_rows;
    for (int i = k - 1; i >= 1; --i) {
      const int a = positions[i];
      if (a < first_with_row) break;
      int* row = pair_counts[num_items - 1 - a];
      for (int j = i - 1; j >= 0; --j) row[a - positions[j] - 1] += count;
    }
  }
  bool has_pair_row(int pos) const { return pair_counts != nullptr && pos >= num_items - pair_rows; }

  Context* ctx;
  int num_items;
  int* item_pos;
  int* pos_item;
  Fnode* root;
  Fnode** heads;
  int** pair_counts;
  int pair_rows;
  int* supports;
  double level_25_percent;
  MFI_tree* mfi_tree;
  CFI_tree* cfi_tree;
  int covered_len;
};

inline Fnode* Fnode::append(FI_tree* tree, Fnode* prev, int item_, int count_) {
  Fnode* node = tree->ctx->fp_buf->take<Fnode>(1);
  node->init(this, item_, count_);
  if (first_child == nullptr) {
    first_child = node;
  } else if (prev == nullptr) {
    node->next_sibling = first_child;
    first_child = node;
  } else {
    node->next_sibling = prev->next_sibling;
    prev->next_sibling = node;
  }
  Fnode* h = tree->heads[tree->item_pos[item_]];
  node->link = h->link;
  h->link = node;
  return node;
}

}  // namespace zub
