#pragma once
// Every tuning value of the mining, each with the reason for its value. The
// fields of Tuning are part of a run's settings (tests lower them to reach
// every path on small databases); the constants never change.
#include <cstddef>
#include <cstdint>

namespace zub {

// How the second pass holds the transactions for the main tree: as strings
// (trees/transaction_strings.h) and built at the end, or in trees with child
// links built as it reads (dense data); by default the strings, until they
// show that their tree is much smaller.
enum class MainBuild { automatic, strings, link_trees };

// Below 2^32 by more than the masked reading's 56 lines of one chunk.
inline constexpr std::uint64_t kLineRestartMost = (std::uint64_t{1} << 32) - 64;

struct Tuning {
  // Pair triangles of up to 2^20 cells (4 MiB) are held densely; larger ones
  // would be mostly empty on sparse data, so only frequent pairs are kept.
  std::size_t dense_pair_cells = std::size_t(1) << 20;
  // The main tree's sparse frequent pairs keep rows of up to 2^20 pairs in
  // all (8 MiB), as many as the cells of the largest dense triangle: a line
  // of 40,000 ids alone makes 800 million pairs frequent, retail.dat at
  // MINSUP 2 has 0.92 million. A position beyond the budget has its tail
  // walked and its lookahead unpruned, which its row would only have saved
  // (retail.dat at MINSUP 1, whose rows do not all fit: 8% more processor time).
  std::size_t sparse_pairs_kept = std::size_t(1) << 20;
  // A tree with child links (dense data, see MainBuild) is built from sorted
  // batches of about 2^18 positions: the last batch is held beside the
  // whole tree with its links, and larger batches buy little time (2^20:
  // 4% on T10I4D100K, for 4 MB more).
  std::size_t build_batch_positions = std::size_t(1) << 18;
  // Once the tree is larger, a batch grows to this share of its nodes (the
  // power of two below): a search in a large tree misses the cache, and a
  // larger batch shares more of its prefixes among its own transactions
  // (10 million generated baskets at 2%: about 30% faster, 14% more
  // memory; 1/8 gained less).
  std::size_t build_batch_share = 4;
  // A regular file of ids is read in ranges of 4 MiB that the threads take
  // in turn: some hundred per GB, so that the threads finish close
  // together, while a range costs a few positional reads of 1 MiB.
  std::size_t read_range_bytes = std::size_t(4) << 20;
  // Ids are read from masks of 56 bytes at a time where the processor can
  // (io/masked_block.h), else byte by byte; false forces the bytes (tests).
  bool masked_reading = true;
  // The counting pass numbers the lines, to count an id once a line, in 32
  // bits: the numbers start again at this line (at most kLineRestartMost;
  // tests make it small).
  std::uint64_t count_line_restart = kLineRestartMost;
  // The main tree's build from strings sorts a root child's strings as one
  // unit up to 1 MiB, and larger ones by their next position in parts: a
  // unit and its keys then mostly stay in the cache, and even on 16 threads
  // no unit takes a noticeable share of the build.
  std::size_t build_unit_bytes = std::size_t(1) << 20;
  // A unit of this many strings or more is sorted by radix (eight passes
  // at most, no comparisons to mispredict), fewer by comparisons; tests
  // force either way.
  std::size_t radix_sort_least = 256;
  // A reading thread looks once whether its transactions' tree is much
  // smaller than their strings when those reach 64 MiB: sparse data never
  // pays for the look below that, and dense data has shown its shape.
  std::size_t link_tree_check_bytes = std::size_t(64) << 20;
  MainBuild main_build = MainBuild::automatic;
  // Above 300 frequent items the lookahead tries only positions frequent
  // with the head item (first_mfi_2): most others are not, and skipping
  // them beats visiting them.
  int lookahead_pair_items = 300;
  // The closure miner (src/closed/): a conditional database goes to bit rows
  // when it has at most this many (merged) transactions and they fill at
  // least closed_dense_min_fill percent of its transactions x items; see
  // choose_representation.
  int closed_dense_max_transactions = 128;
  int closed_dense_min_fill = 25;
  // A unit of the parallel maximal miners starts from a copy of the run's
  // itemsets that hold its item, which spares it most of what earlier units
  // cover; the tests turn it off, so that the filter at commit drops it all.
  bool maximal_unit_copy = true;
  // An MFI- or CFI-tree node keeps its item in as few bits as the item count
  // needs and its depth in the rest (NodeKeys); the tests widen the item
  // field to this many bits, so that the depths saturate. 0: by the data.
  int node_item_bits = 0;
  // The records of streaming units not yet in turn (all and closed
  // itemsets on several threads) are kept in memory up to 64 MiB in all;
  // more go to an unnamed temporary file (the all-itemsets units of
  // chess.dat at 1200 would keep a few hundred MB while the first, largest
  // unit is mined).
  std::size_t kept_records_bytes = std::size_t(64) << 20;
  // A closure level groups its candidates by their transactions (of a group
  // only the lowest rank can be a child, see RepeatedCandidates) when
  // checking each one alone could cost more than this: its candidates times
  // the average length of its transactions (sparse), or times its rows
  // (dense). Wide data lies far above (two lines of 100,000 ids: 10^10);
  // the levels of chess.dat stay below, where grouping them all cost a
  // fifth more instructions at MINSUP 1200.
  long long closed_group_min_work = 1 << 16;
  // A child's transactions are merged when it has at least this many.
  int closed_merge_min_transactions = 2;
  // Ranks from the least frequent item up (extensions go to more frequent
  // items), or from the most frequent down.
  bool closed_rare_first = true;
};

// Ids below 2^20 are counted in an array by id, in which equal supports keep
// the order zub has always written; larger ids in a table (by ascending id).
inline constexpr int kDenseIds = 1 << 20;
// Trees of more than 5 items count their pairs: a tail of fewer is walked as fast.
inline constexpr int kPairCountMinItems = 5;
// ... conditional trees only under a branchy parent (over 15% of its nodes in
// its top quarter of levels), whose tails are cheaper read than walked.
inline constexpr double kPairCountTopShare = 15.0;
// Only nodes at depth below 3 become hubs of a build: counts, which bound
// the children, fall quickly with depth.
inline constexpr int kHubMaxDepth = 3;

// A node reached by a walk of more than 24 siblings gets a hub (an index of
// its children by position) during a build; the hubs are found through a
// filter of 4096 bits by node number, which rejects most nodes at once.
inline constexpr int kHubLongWalk = 24;
inline constexpr unsigned kHubFilterBits = 4096;
// FP-tree nodes live in slabs of 2^14 (192 KiB of nodes, 128 KiB of child
// links): a node number is a slab and a slot, and a slab is large enough
// that its allocation costs nothing per node.
inline constexpr int kNodeSlabShift = 14;
// MFI- and CFI-tree nodes in chunks of 2^6 nodes, slabs from one chunk doubling to
// 4096 nodes: a level's small tree takes little, a large one grows fast.
inline constexpr int kMnodeChunkShift = 6;
inline constexpr unsigned kMnodeMaxSlab = 4096;
// Rules: the closed sets between X and the closure of Z are tried through
// the hash table when Z's closure has at most 5 items beyond X (31 tries);
// beyond, a search of the closed sets is cheaper.
inline constexpr std::size_t kRulesMaxSpread = 5;
// The reader takes 1 MiB of a file at a time, the gzip stream 256 KiB of
// compressed bytes, the writer buffers 64 KiB: large enough that a system
// call costs nothing per line, small enough to stay in the cache.
inline constexpr std::size_t kReadBlockBytes = std::size_t(1) << 20;
inline constexpr std::size_t kGzipInputBytes = std::size_t(1) << 18;
inline constexpr std::size_t kWriteBufferBytes = std::size_t(1) << 16;
// The scans look at the stop flag and tell the progress report every 4096th
// transaction: a few microseconds of reading between looks.
inline constexpr int kReadCheckEvery = 4096;

// Pools (block slots, first block, growth unit in bytes): trees in up to 1000
// blocks that grow to 2 GiB; the root result tree in 250 smaller ones.
inline constexpr int kTreePoolBlocks = 1000;
inline constexpr long kTreePoolFirst = 0x80000;
inline constexpr long kTreePoolUnit = 0x100000;
inline constexpr int kResultPoolBlocks = 250;
inline constexpr long kResultPoolFirst = 0x40000;
inline constexpr long kResultPoolUnit = 0x80000;
// A level's result tree: 60 blocks from 2^9 bytes up (see LadderPool).
inline constexpr int kLadderBlocks = 60;
inline constexpr int kLadderFirstStep = 9;

// A recorder hands its itemsets on in batches of 2^14 ints (64 KiB): one
// call of the sink for about a thousand itemsets, and a batch stays in the
// cache while the sink reads it.
inline constexpr std::size_t kRecordBatchInts = std::size_t(1) << 14;

// The temporary MFI list: 5000 entries to start, 5000 more when a subset
// check comes within 11 of the end, shrunk to its use (at least 10000) when
// that is 10000 below its room.
inline constexpr int kListInitialSlots = 5000;
inline constexpr int kListGrowth = 5000;
inline constexpr int kListMargin = 11;
inline constexpr int kListSlack = 10000;

}  // namespace zub
