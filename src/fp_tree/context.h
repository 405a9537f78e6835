#pragma once
// The state one mining run shares between its stages: the support threshold,
// the item tables, the itemset stack, the scratch arrays of the recursion,
// the pools and the statistics counters. Every tree holds a pointer to the
// context of its run, so several runs can live in one process.
#include <cstdlib>
#include <memory>
#include <vector>

#include "fp_tree/child_index.h"
#include "fp_tree/frequent_pairs.h"
#include "fp_tree/node_store.h"
#include "fp_tree/stack.h"
#include "fp_tree/support_share.h"
#include "memory/memory.h"

namespace zub {

struct Fnode;
class MFI_tree;
class CFI_tree;
class mfi_tem;

// A node on the path of the transaction last inserted, and its number.
struct BuildStep {
  Fnode* node;
  NodeRef ref;
};

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

struct Context {
  // Tuning, fixed for a run; tests change them to reach every code path.
  // Main-tree pair triangles up to this many cells are held densely.
  std::size_t dense_pair_cells = std::size_t(1) << 20;
  // The main tree is built from sorted batches of transactions holding about
  // this many positions: 1 MiB. The last batch is held beside the whole
  // tree with its child links, the run's peak on sparse data, and larger
  // batches buy little time (2^20: about 4% on T10I4D100K, for 4 MB more).
  std::size_t build_batch_positions = std::size_t(1) << 18;
  // A database of up to this many frequent positions (4 MiB) may be sorted as
  // one batch, and then the main tree needs no child links: a transaction's
  // nodes behind the prefix it shares with the one before are all new. The
  // batch (4 bytes a position, 20 a transaction) stands in for the links (8
  // bytes a node) and the sibling walks; it is chosen when the first batch
  // shows that the nodes will be most of the positions (sparse data), where
  // it costs less memory as well as less time.
  std::size_t single_batch_positions = std::size_t(1) << 20;
  // The lookahead skips pair-excluded candidates above this many items.
  int first_mfi_2_items = 300;

  // Settings and counters.
  int THRESHOLD = 0;
  // When given, the first scan sets THRESHOLD from it and the transaction count.
  SupportShare threshold_share;
  int ITEM_NO = 100;
  int TRANSACTION_NO = 0;
  int FIRST_TREE_POS = -1;
  int MFI_NO = 5000;
  int Max_Width = 0;
  int PROJECT_NO = 0;
  int SUBCHECK_NO = 0;

  // The main pool: every FP-tree, main and conditional, lives in it.
  std::unique_ptr<memory> fp_buf;
  NodeStore nodes;  // the tree nodes, marked and rolled back with fp_buf
  std::unique_ptr<stack> list;
  mfi_tem* LMFITEM = nullptr;

  // Per-item arrays of the run (F entries each unless noted).
  std::vector<int> ITlen;
  std::vector<int> bran;
  std::vector<int> width;
  std::vector<int> compact;
  std::vector<BuildStep> build_path;  // the main tree's build: the last transaction's nodes
  std::vector<int> prefix;
  std::vector<int> order_item;  // position -> item id as read from the file
  std::vector<int> item_order;  // item id as read -> position, -1 if infrequent
  std::vector<int> supp;
  std::vector<int> tail;
  std::unique_ptr<bool[]> current_fi;
  std::vector<MFI_tree*> mfitrees;
  std::vector<int> record_buf;  // positions of one itemset being recorded
  ChildIndex children;          // of the tree being built
  std::vector<int> path_buf;    // prefix paths of a conditional tree being built
  std::vector<Fnode*> chain_buf;
  std::vector<CFI_tree*> cfitrees;

  // Node lists of the first-MFI lookahead and head extension (Max_Width each).
  std::vector<Fnode*> temp1;
  std::vector<Fnode*> temp2;
  std::vector<Fnode*> head_tem;
  std::vector<int> temp_count;
  std::vector<int> temp_at;  // positions of the lookahead's nodes and their parents
  std::vector<int> temp_up;
  std::vector<int> temp_len;
  std::vector<int*> temp_buf;

  // Pool-ladder steps of the three miners; they only grow during a run.
  int ms_max = 9;
  int ms_projected = 9;
  int ms_closed = 9;

  // The main tree's pair counts: a dense triangle, or its frequent pairs.
  std::unique_ptr<int, FreeDeleter> main_pair_storage;
  std::vector<int*> main_pair_rows;
  std::unique_ptr<FrequentPairs> main_pairs;

  // Scratch of the first-MFI lookahead: the itemset found and the candidates.
  std::vector<int> first_mfi_buf;
  std::vector<int> candidates;
};

// What a conditional tree takes from the main pool and the node store goes
// back when the scope that marked them ends.
class TreeMark {
 public:
  explicit TreeMark(Context& c) : pool_(*c.fp_buf), pool_mark_(PoolMark::take(*c.fp_buf)), nodes_(c.nodes) {}
  ~TreeMark() { pool_mark_.roll_back(pool_); }
  TreeMark(const TreeMark&) = delete;
  TreeMark& operator=(const TreeMark&) = delete;

 private:
  memory& pool_;
  PoolMark pool_mark_;
  NodeStore::Mark nodes_;
};

}  // namespace zub
