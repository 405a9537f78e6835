#pragma once
// The FP-tree: prefix tree of the frequent items of a database (or of a
// conditional database) with its header table and optional pair-count array.
// Every node, header node and header array lives in the run's main pool.
#include <cassert>
#include <cstdio>
#include <memory>

#include "fp_tree/context.h"
#include "fp_tree/fnode.h"

namespace zub {

class Data;
class FSout;
class MFI_tree;
class CFI_tree;
class SortedBatch;

class FI_tree {
 public:
  // Prepares an empty tree. capacity -1 (the main tree) makes no header arrays:
  // the first database scan makes them once it knows the number of items.
  void init(Context* c, int capacity, int item_count);
  // Adds `length` positions (ascending) with the given count.
  void insert(const int* itemset, int count, int length);

  // First and second pass over the transaction file (main tree); the second
  // closes the file.
  void scan1_DB(Data* data);
  void scan2_DB(Data* data);

  // The number of nodes from the root down that are each their parent's
  // only child.
  int cal_single_prefix() const;
  bool Single_path(bool push) const;
  void remove_single_prefix(int length);
  // Sets level_25_percent from the per-depth node counts in bran, resets bran.
  void cal_level_25();

  // Conditional trees. The first scans take the items from `tail` and their
  // supports from `supp` (at the parent's positions, cleared as they are
  // read); the second scans insert the prefix paths of the given nodes.
  void scan1_DB(FI_tree* parent);
  void scan1_DB(FI_tree* parent, const bool* covered_flags, int covered);
  void scan1_DB(FI_tree* parent, const int* unused1, const int* unused2, const int* tail_supports,
                const int* covered_items, int covered);
  void scan2_DB(FI_tree* parent, Fnode* head);
  void scan2_DB(FI_tree* parent, Fnode** nodes, int node_count);

  // A conditional tree of the k items in ctx->tail, its header table made by
  // the first scan; taken from the main pool (the caller holds a mark).
  FI_tree* conditional_tree(int k);

  // A pool for the MFI-tree of the conditional tree of position `pos`.
  std::unique_ptr<memory> allocate_buf(int pos, int level, int base) const;
  // Releases such a pool after its recursion; a pool that needed two thirds
  // of its block slots makes the miner's later pools start larger.
  static void release_ladder_pool(std::unique_ptr<memory> pool, int& ms) {
    if (pool->fill_quotient() >= 3) ++ms;
  }

  // Greedy maximal extension of the item of `hd` inside this tree; pushes
  // the extension items (ascending) and then the item, returns their number.
  int first_mfi(Fnode* hd, int& support);
  int first_mfi_2(Fnode* hd, int& support);
  // The same from the item's chain already loaded into an array.
  int first_mfi(const Fnode* hd, Fnode* const* chain, int n, int& support);
  int first_mfi_2(const Fnode* hd, Fnode* const* chain, int n, int& support);
  // Copies the chain of hd into `out`; returns its length.
  int load_chain(const Fnode* hd, Fnode** out) const;

  // The chain of a position: the nodes of its item, newest first.
  struct Chain {
    const NodeRef* nodes;
    int size;
    const NodeRef* begin() const { return nodes; }
    const NodeRef* end() const { return nodes + size; }
  };
  Chain chain(int pos) const {
    assert(chain_begin != nullptr && "the chains are made");
    return {chain_nodes + chain_begin[pos], chain_begin[pos + 1] - chain_begin[pos]};
  }
  // Lists every node in the chain of its position, in arrays from the main
  // pool. The tree's nodes are those made since its root, so this is called
  // once the tree is built and before another tree makes nodes: by the
  // conditional trees' second scans, and for the main tree by the mining
  // run's set-up. A chain array is read in order, where chain links would
  // cost a cache miss per node, and it needs no field in the nodes.
  void make_chains();
  int first_mfi_3(Fnode* hd, int& support, int* items, int n, int* unused, int* rank, int* keys,
                  int* result);

  // Forces tail items that every new maximal itemset must contain onto the stack.
  int head_increase(int* tail, int& Tlen, Fnode** nodes, int& node_count);
  void conditional_pattern_base(int size, const int* items, int from, int to, bool* allowed,
                                int& rest, Fnode** nodes, int& node_count) const;

  // Writes every maximal frequent itemset that extends the stack in this tree.
  int Mine_Max(FSout* out);
  // The same without lookahead or head extension; each conditional MFI-tree
  // is projected from the parent level's MFI-tree.
  int Mine_Max_Projected(FSout* out);
  // Writes every closed frequent itemset that extends the stack (made with
  // supports) in this tree; prunes with the CFI-trees in ctx->cfitrees.
  int Mine_Closed(FSout* out);
  // Writes every frequent itemset that extends the stack in this tree.
  int FP_growth(FSout* out);
  // Writes the stack followed by subset_buf[0..length-1] and each choice of
  // source[from..to-1], the empty buffer excepted, each with the support of
  // its last entry in this tree.
  void powerset(int* subset_buf, int length, int* source, int from, int to, FSout* out) const;
  // Writes every non-empty subset of the n entries just above the stack's top.
  void generate_all(int n, FSout* out) const;

  // The frequent items of the conditional pattern base of h's position, by
  // walking h's chain (supp must be zero below that position) or, for an item
  // whose position has a pair-count row, from that row. Leaves the items in
  // tail (ascending position) and their supports in supp; with
  // set_top_support each one's support also goes to the stack's top entry.
  int conditional_pattern_base(Fnode* h, bool set_top_support) const;
  int conditional_pattern_base(int item, bool set_top_support) const;
  // Compacts the positions marked in `origin` (-1 for absent, restored) into
  // compact and adds `count` to each of their pairs that has a row.
  void fill_count(int* origin, int count);

  // Developer dumps: header table with chains, pair counts, item map, tree.
  void print(std::FILE* stream) const;

  // Pair supports come from a dense pair-count array (conditional trees, filled
  // by their second scan) or from the sparse frequent pairs (the main tree).
  // pair_count is the pair's support whenever that reaches the threshold and
  // a smaller value otherwise, which is all that callers compare.
  bool has_pair_row(int pos) const {
    return frequent_pairs != nullptr || (pair_counts != nullptr && pos >= num_items - pair_rows);
  }
  int pair_count(int b, int a) const {
    return frequent_pairs != nullptr ? frequent_pairs->count(b, a) : pair_counts[num_items - 1 - a][a - b - 1];
  }
  // The lowest position b >= from with a frequent pair (b, a); a if none.
  int next_frequent_pair(int a, int from) const;
  // The positions b < a with a frequent pair (b, a), ascending; their number.
  int frequent_partners(int a, int* out) const;
  // Keeps, in order, those of the n positions whose pair with d is frequent.
  int keep_frequent_with(int d, int* positions, int n) const;
  // Collects the tail of position i: the items of the positions below i whose
  // pair with i is frequent, ascending, into ctx->tail, with their supports in
  // ctx->supp at their positions (supp below i must be zero). Returns its length.
  int collect_tail(int i);

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

  // The node numbered r (null for kNoNode).
  Fnode* node(NodeRef r) const { return ctx->nodes.get(r); }
  FnodeLinks* links(NodeRef r) const { return ctx->nodes.links(r); }
  // Makes a child carrying `item` behind `prev` (kNoNode: in front).
  NodeRef append_child(NodeRef parent, NodeRef prev, int item, int count);

  Context* ctx;
  int num_items;
  int* item_pos;
  int* pos_item;
  Fnode* root;
  NodeRef root_ref;
  Fnode** heads;
  int** pair_counts;
  int pair_rows;
  int* supports;
  double level_25_percent;
  MFI_tree* mfi_tree;
  CFI_tree* cfi_tree;
  int covered_len;
  FrequentPairs* frequent_pairs;
  const NodeRef* chain_nodes;  // position p's chain at chain_begin[p] .. chain_begin[p+1]
  const int* chain_begin;      // null until make_chains()
  // False for a main tree built from one batch: its nodes have no child
  // links, and they are numbered depth first, so a node's first child is the
  // next number and each later child comes behind its elder sibling's
  // subtree. Its walks run over the numbers from the root to the store's
  // mark, so they are made before another tree makes nodes.
  bool child_links;

 private:
  int depth_first_single_prefix() const;
  void take_tail(FI_tree* parent);
  void partition_covered(const FI_tree* parent, const bool* marked, bool by_parent_position);
  void make_header_table(const FI_tree* parent);
  void add_prefix_paths(const FI_tree* parent, const Fnode* const* nodes, int n);
  // The itemset inserted last and its nodes (in ctx->build_path), which the
  // next itemset of a build may share a prefix with.
  struct Trail {
    const int* items = nullptr;  // must stay in place until the next insertion
    int length = 0;
  };
  void insert_path(int* positions, int k, int count, Trail& trail);
  // Adds `count` along the prefix that `items` shares with the trail's
  // itemset; returns that prefix's length. The trail becomes `items`.
  int follow_trail(const int* items, int length, int count, Trail& trail);
  // Adds `length` ascending positions with `count`: the prefix shared with
  // the trail's itemset costs no search, and a sibling walk below it starts
  // at the trail's node when that lies before. The trail becomes this itemset.
  void insert_following(const int* items, int length, int count, Trail& trail);
  // The main tree's build: a batch in lexicographic order. Without links the
  // batch is the whole database, and the tree gets no child links.
  void insert_sorted(const SortedBatch& batch, bool with_links);
  // The child of `parent` (at `depth`) at position `target`, or a null node; `before`
  // receives the child with the largest position below target (kNoNode if
  // there is none). `after`, unless kNoNode, is a child known to lie below
  // target, where the walk may start.
  BuildStep find_child(BuildStep parent, int depth, int target, NodeRef after, NodeRef* before);
  // New nodes below `parent` for positions[from .. length-1], each with
  // `count`, the first behind `before`; path[j] receives the node of
  // positions[j] when path is not null. Without links the nodes only name
  // their parents.
  template <bool kLinks>
  void append_path(BuildStep parent, NodeRef before, const int* positions, int from, int length, int count,
                   BuildStep* path);
};

inline NodeRef FI_tree::append_child(NodeRef parent, NodeRef prev, int item_, int count_) {
  NodeStore& store = ctx->nodes;
  const NodeRef r = store.make();
  Fnode* node = store.at(r);
  node->init(parent, item_, count_);
  FnodeLinks* own = store.links(r);
  NodeRef& next = prev == kNoNode ? store.links(parent)->first_child : store.links(prev)->next_sibling;
  *own = {kNoNode, next};
  next = r;
  return r;
}

}  // namespace zub
