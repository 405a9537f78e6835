#pragma once
// Building the FP-tree of a whole transaction file: the main pool, the two
// scans and the per-item arrays that every later stage shares.
#include "fp_tree/context.h"

namespace zub {

class Data;
class FI_tree;
class FSout;

struct MainTree {
  FI_tree* tree = nullptr;
  int frequent = 0;       // F: frequent items of the database
  int single_prefix = 0;  // length of the tree's single prefix, at most F
};

// Expects ctx.THRESHOLD set and `data` open at its start. Closes `data`.
MainTree build_main_tree(Context& ctx, Data& data);

// The shortcut of a main tree that is one path (single_prefix equal to F):
// its F items are the only maximal itemset. Writes it through `out` when
// given, with the support of the least frequent item, and tallies it in ITlen.
void write_single_path(Context& ctx, const MainTree& main, FSout* out);

}  // namespace zub
