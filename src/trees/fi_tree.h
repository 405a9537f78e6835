#pragma once
// The FP-tree: prefix tree of the frequent items of a database (or of a
// conditional database) with its header table, its chains and its optional
// pair counts; how it is built (the main tree's two scans, a conditional
// tree's scans of its parent) and the walks the miners read it by. Its
// records and arrays come from `pool`, its nodes from `store`; the scratch of
// its builds and walks from the scratch of the thread that uses it.
#include <cassert>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "common/stop_flag.h"
#include "io/byte_ranges.h"
#include "io/pass_digest.h"
#include "trees/fnode.h"
#include "trees/frequent_pairs.h"
#include "trees/item_map.h"
#include "common/progress.h"
#include "trees/tree_scratch.h"

namespace zub {

class Data;
class SortedBatch;
struct ReadTimes;
class HubIndex;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// A digest of what one pass read, line by line and id by id in order, so
// that the second pass can tell that it read what the first one counted.
// A file read in byte ranges (trees/range_passes.h): where, its ranges, and
// the digest of what the first pass read in each.
struct RangePlan {
  ByteSource source;
  std::vector<ByteRange> ranges;
  std::vector<PassDigest> digests;
};
// The first scan's result: each file id's support, in an array below
// kDenseIds and in a table above, and the transactions.
struct ItemCounts {
  std::unique_ptr<std::uint32_t, FreeDeleter> dense;  // by file id, dense_ids entries
  int dense_ids = 0;
  IdTable large;     // ids from kDenseIds up
  int largest = -1;  // the largest id read; -1 for none
  int transactions = 0;
  PassDigest digest;             // read as one stream
  std::optional<RangePlan> plan;  // or in ranges
};
// Reads every transaction of `data` once and counts the items; the reader
// stands at the start again. Throws RunError.
ItemCounts count_items(Data& data, Progress* progress = nullptr, StopFlag stop = {});
// The main tree's pair counts: a dense triangle, or its frequent pairs.
struct MainPairs {
  std::unique_ptr<int, FreeDeleter> storage;
  std::vector<int*> rows;
  std::unique_ptr<FrequentPairs> sparse;
};

class TransactionShare;

class FI_tree {
 public:
  // An empty tree whose records come from `records` and nodes from `nodes`,
  // built and walked in `tree_scratch`, with room for `capacity` items and
  // `item_count` header entries. capacity -1 (the main tree) makes no header
  // arrays: the first scan makes them once it knows the items, and the main
  // tree gets its scratch (attach) once the items are counted.
  FI_tree(const Settings& run_settings, TreeScratch* tree_scratch, memory& records, NodeStore& nodes, int capacity,
          int item_count);
  // The same tree seen from another thread's scratch: its arrays and nodes
  // shared, read only.
  FI_tree(const FI_tree& tree, TreeScratch& other) : FI_tree(tree) { scratch_ = &other; }
  void attach(TreeScratch& tree_scratch) { scratch_ = &tree_scratch; }

  // The header table and what the tree was made with, as the miners read
  // them: positions from 0 (the most frequent item) to num_items() - 1.
  int num_items() const { return num_items_; }
  int item_pos(int item) const { return item_pos_[item]; }  // -1 when not in this tree
  const int* item_positions() const { return item_pos_; }   // by item id
  int pos_item(int pos) const { return pos_item_[pos]; }
  const int* items_by_position() const { return pos_item_; }
  Fnode* head(int pos) const { return heads_ + pos; }
  int support(int pos) const { return supports_[pos]; }
  const int* supports() const { return supports_; }
  // The leading positions that the covering itemset of the maximal miner's
  // list holds (mined last, by the lowest position the walk reaches).
  int covered_len() const { return covered_len_; }
  Fnode* root() const { return root_; }
  NodeRef root_ref() const { return root_ref_; }
  bool child_links() const { return child_links_; }
  // The share of nodes in the top quarter of levels (cal_level_25): a
  // conditional tree of a branchy parent counts its pairs. Set by hand for
  // a tree built otherwise.
  double level_25_percent() const { return level_25_percent_; }
  void set_level_25_percent(double share) { level_25_percent_ = share; }
  // Whether the tree counts its pairs densely, and in how many rows.
  bool has_pair_counts() const { return pair_counts_ != nullptr; }
  // The dense row of position a (which has one): pair (b, a) at [a - b - 1].
  int* pair_row(int a) const { return pair_counts_[num_items_ - 1 - a]; }
  int pair_rows() const { return pair_rows_; }
  // A header of the n items in that order, each with an empty head node:
  // a tree filled by insert() rather than by a scan.
  void set_header(const int* items, int n);
  const Settings& settings() const { return *settings_; }
  TreeScratch& scratch() const { return *scratch_; }
  NodeStore& store() const { return *store_; }
  FrequentPairs* frequent_pairs() const { return frequent_pairs_; }
  // Computes every lazy pair row at once, so that several threads may read
  // the tree (on `threads` threads).
  void share_pair_rows(int threads) {
    if (frequent_pairs_ != nullptr) frequent_pairs_->compute_all(threads);
  }
  // Adds `length` positions (ascending) with the given count.
  void insert(const int* itemset, int count, int length);
  // Adds a batch of transactions in lexicographic order (SortedBatch::sort),
  // each with count 1.
  void insert_sorted(const SortedBatch& batch);

  // The main tree. The first scan takes the frequent items of `counts` in
  // descending support and fills `items`; the second reads the file again,
  // inserts every transaction and closes it; it throws RunError when the
  // file no longer holds what the first pass counted (`digest`).
  void scan1_DB(const ItemCounts& counts, ItemMap& items, MainPairs& pairs);
  // The second pass reads the file as the first did (in its ranges on
  // `threads` threads, or as one stream) and builds the tree on `threads`.
  void scan2_DB(Data* data, const ItemMap& items, const ItemCounts& counts, int threads = 1,
                Progress* progress = nullptr, StopFlag stop = {}, ReadTimes* times = nullptr);
  // Instead of the first scan, for the main tree of a share of a database
  // whose item order was chosen elsewhere: every position is an item, with
  // the share's support; the file ids are the positions themselves.
  void scan1_known(const std::vector<int>& supports_by_position, MainPairs& pairs);
  // The tree built from the transactions handed to `shares` (one per reading
  // thread), on `threads` threads: the second pass's build, and a
  // distributed run's from the transactions it receives.
  // Reports the building phase (all `transactions` read) to `progress`.
  void build_from_shares(std::vector<TransactionShare>& shares, int threads, StopFlag stop = {},
                         ReadTimes* times = nullptr, Progress* progress = nullptr, long long transactions = 0);
  // The header's supports of such a tree once built: those of the
  // transactions it received.
  void set_supports(const std::vector<int>& supports_by_position);

  // The number of nodes from the root down that are each their parent's
  // only child.
  int cal_single_prefix() const;
  // Whether the tree is one path; pushes it with its counts when `push`.
  bool Single_path(bool push) const;
  void remove_single_prefix(int length);
  // Sets level_25_percent from the nodes made per depth, and resets those.
  void cal_level_25();

  // Conditional trees. The first scans take the items from the scratch's
  // tail and their supports from supp (at the parent's positions, cleared
  // as they are read); the second scans insert the prefix paths of the given
  // nodes of the parent. With a `covering` list whose best entry holds tail
  // items, those items take the first positions (the maximal miner's order).
  void scan1_DB(FI_tree* parent, const mfi_tem* covering = nullptr);
  void scan1_DB(FI_tree* parent, const bool* covered_flags, int covered);
  void scan1_DB(FI_tree* parent, const int* unused1, const int* unused2, const int* tail_supports,
                const int* covered_items, int covered);
  void scan2_DB(FI_tree* parent, Fnode* head);
  void scan2_DB(FI_tree* parent, Fnode** nodes, int node_count);
  // A conditional tree of the k items in the scratch's tail, its header
  // table made by the first scan; in the scratch (the caller holds a mark).
  FI_tree* conditional_tree(int k, const mfi_tem* covering = nullptr);

  // The chain of a position: the nodes of its item, newest first.
  struct Chain {
    const NodeRef* nodes;
    int size;
    const NodeRef* begin() const { return nodes; }
    const NodeRef* end() const { return nodes + size; }
  };
  Chain chain(int pos) const {
    assert(chain_begin_ != nullptr && "the chains are made");
    return {chain_nodes_ + chain_begin_[pos], chain_begin_[pos + 1] - chain_begin_[pos]};
  }
  // Lists every node in the chain of its position, in arrays from the pool.
  // The tree's nodes are those made since its root, so this is called once
  // the tree is built and before another tree makes nodes in its store. A
  // chain array is read in order, where chain links would cost a cache miss
  // per node, and it needs no field in the nodes.
  void make_chains();
  // Copies the chain of hd into `out`; returns its length.
  int load_chain(const Fnode* hd, Fnode** out) const;

  // Pair supports come from a dense pair-count array (conditional trees, filled
  // by their second scan) or from the sparse frequent pairs (the main tree;
  // a position has a row there while their budget allows). pair_count is the
  // pair's support whenever that reaches the threshold and a smaller value
  // otherwise, which is all that callers compare; it needs a row.
  bool has_pair_row(int pos) const {
    if (frequent_pairs_ != nullptr) return frequent_pairs_->has_row(pos);
    return pair_counts_ != nullptr && pos >= num_items_ - pair_rows_;
  }
  int pair_count(int b, int a) const {
    return frequent_pairs_ != nullptr ? frequent_pairs_->count(b, a) : pair_counts_[num_items_ - 1 - a][a - b - 1];
  }
  // The lowest position b >= from with a frequent pair (b, a); a if none.
  int next_frequent_pair(int a, int from) const;
  // The positions b < a with a frequent pair (b, a), ascending; their number.
  int frequent_partners(int a, int* out) const;
  // Keeps, in order, those of the n positions whose pair with d is frequent.
  int keep_frequent_with(int d, int* positions, int n) const;
  // Collects the tail of position i: the items of the positions below i whose
  // pair with i is frequent, ascending, into the workspace's tail, with their
  // supports in supp at their positions (supp below i must be zero). Returns
  // its length.
  int collect_tail(int i);
  // Adds `count` to every pair of the ascending positions that has a row.
  void add_pairs(const int* positions, int k, int count) {
    const int first_with_row = num_items_ - pair_rows_;
    for (int i = k - 1; i >= 1; --i) {
      const int a = positions[i];
      if (a < first_with_row) break;
      int* row = pair_counts_[num_items_ - 1 - a];
      for (int j = i - 1; j >= 0; --j) row[a - positions[j] - 1] += count;
    }
  }

  // The frequent items of the conditional pattern base of h's position,
  // walking h's chain (supp must be zero below that position), or read from
  // the pair-count row of an item's position. Leaves the items in the tail
  // (ascending position) and their supports in supp; with set_top_support
  // each one's support also goes to the itemset's top entry.
  int walk_pattern_base(Fnode* h, bool set_top_support) const;
  int pattern_base_from_pairs(int item, bool set_top_support) const;
  // Compacts the positions marked in `origin` (-1 for absent, restored) and
  // adds `count` to each of their pairs that has a row.
  void fill_count(int* origin, int count);

  int threshold() const { return settings_->threshold; }
  // The node numbered r (null for kNoNode).
  Fnode* node(NodeRef r) const { return store_->get(r); }
  FnodeLinks* links(NodeRef r) const { return store_->links(r); }
  // Makes a child carrying `item` behind `prev` (kNoNode: in front).
  NodeRef append_child(NodeRef parent, NodeRef prev, int item, int count);

  friend void print(const FI_tree& tree, std::FILE* stream);

 private:
  const Settings* settings_ = nullptr;
  TreeScratch* scratch_ = nullptr;
  memory* pool_ = nullptr;
  NodeStore* store_ = nullptr;
  int num_items_ = 0;
  int* item_pos_ = nullptr;  // by item id (a main-tree position), -1 when not in this tree
  int* pos_item_ = nullptr;
  Fnode* root_ = nullptr;
  NodeRef root_ref_ = kNoNode;
  Fnode* heads_ = nullptr;  // by position: item and support, as the miners read a head
  int** pair_counts_ = nullptr;
  int pair_rows_ = 0;
  int* supports_ = nullptr;
  double level_25_percent_ = 0.0;
  int covered_len_ = 0;
  FrequentPairs* frequent_pairs_ = nullptr;
  const NodeRef* chain_nodes_ = nullptr;  // position p's chain at chain_begin[p] .. chain_begin[p+1]
  const int* chain_begin_ = nullptr;      // null until make_chains()
  HubIndex* hubs_ = nullptr;              // of the busy nodes near the root, made on a long walk of the build
  // False for a main tree built from one batch: its nodes have no child
  // links, and they are numbered depth first, so a node's first child is the
  // next number and each later child comes behind its elder sibling's
  // subtree. Its walks run over the numbers from the root to the store's
  // mark, so they are made before another tree makes nodes there.
  bool child_links_ = true;

 private:
  int depth_first_single_prefix() const;
  void make_main_header(MainPairs& pairs);  // the heads and the pair counts of the first scan's items
  void take_tail(FI_tree* parent);
  void partition_covered(const FI_tree* parent, const bool* marked, bool by_parent_position);
  void make_header_table(const FI_tree* parent);
  void add_prefix_paths(const FI_tree* parent, const Fnode* const* nodes, int n);
  // The itemset inserted last and its nodes (in the build's trail), which
  // the next itemset of a build may share a prefix with.
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

  // The child of `parent` (at `depth`) at position `target`, or a null node; `before`
  // receives the child with the largest position below target (kNoNode if
  // there is none). `after`, unless kNoNode, is a child known to lie below
  // target, where the walk may start.
  BuildStep find_child(BuildStep parent, int depth, int target, NodeRef after, NodeRef* before);
  // New nodes below `parent` for positions[from .. length-1], each with
  // `count`, the first behind `before`; path[j] receives the node of
  // positions[j] when path is not null.
  void append_path(BuildStep parent, NodeRef before, const int* positions, int from, int length, int count,
                   NodeRef* path);
};

inline NodeRef FI_tree::append_child(NodeRef parent, NodeRef prev, int item_, int count_) {
  NodeStore& s = *store_;
  const NodeRef r = s.make();
  Fnode* n = s.at(r);
  n->init(parent, item_, count_);
  FnodeLinks* own = s.links(r);
  NodeRef& next = prev == kNoNode ? s.links(parent)->first_child : s.links(prev)->next_sibling;
  *own = {kNoNode, next};
  next = r;
  return r;
}

// Developer dumps: header table with chains, pair counts, item map, tree.
void print(const FI_tree& tree, std::FILE* stream);

}  // namespace zub
