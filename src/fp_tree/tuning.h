#pragma once
// Every tuning value of the mining, each with the reason for its value. The
// fields of Tuning are fixed for a run and part of its settings; tests lower
// them to reach every code path on small databases. The constants below them
// are never changed.
#include <cstddef>

namespace zub {

struct Tuning {
  // Main-tree pair triangles up to this many cells (4 MiB) are held densely;
  // a larger one would be mostly empty on sparse data, so only the frequent
  // pairs are kept, found on first use.
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
  // With more frequent items than this, the lookahead tries only the
  // positions whose pair with the head item is frequent (first_mfi_2): on
  // many items most positions are not, and skipping them beats visiting them.
  int lookahead_pair_items = 300;
};

// Ids below this (2^20) are counted in an array by id, and a file whose ids
// all lie below it orders items of equal support as the sort of that array
// always has; a file with a larger id has its ids counted in a table, and
// items of equal support ordered by ascending id, so that memory follows the
// number of distinct ids rather than the largest (every id up to the
// largest is an item when the minimum support is 0 or below, though).
inline constexpr int kDenseIds = 1 << 20;

// A tree of more items than this counts its pairs while it is built: below
// it a tail is as quickly found by walking the few nodes.
inline constexpr int kPairCountMinItems = 5;
// ... and a conditional tree only when its parent is branchy: more than this
// share (percent) of the parent's nodes in its top quarter of levels means
// many short, divergent paths, whose tails are cheaper read from a pair
// array than walked.
inline constexpr double kPairCountTopShare = 15.0;

// Only nodes this close to the root become hubs of an FP-tree's build (see
// hub_index.h): a node has at most as many children as its count, and
// counts fall quickly with depth.
inline constexpr int kHubMaxDepth = 3;

// The pools of the run (block slots, first block, growth unit in bytes): the
// main tree's and the conditional trees' pool grows to 1000 blocks of up to
// 2 GiB; the root result tree's to 250 blocks.
inline constexpr int kTreePoolBlocks = 1000;
inline constexpr long kTreePoolFirst = 0x80000;
inline constexpr long kTreePoolUnit = 0x100000;
inline constexpr int kResultPoolBlocks = 250;
inline constexpr long kResultPoolFirst = 0x40000;
inline constexpr long kResultPoolUnit = 0x80000;

// A level's result tree gets a pool of 60 blocks whose sizes start at
// 2^(ladder step + extra); the extra grows with the position mined (deeper
// positions have longer tails and larger trees), by one per this many
// positions on trees of up to 100, 500 and more items.
inline constexpr int kLadderBlocks = 60;
inline constexpr int kLadderFirstStep = 9;

// The temporary list of recorded itemsets starts with room for 5000 entries,
// grows by 5000 when a subset check comes within 11 of the end, and shrinks
// back to what is used (at least 10000) when that is 10000 below its room.
inline constexpr int kListInitialSlots = 5000;
inline constexpr int kListGrowth = 5000;
inline constexpr int kListMargin = 11;
inline constexpr int kListSlack = 10000;

}  // namespace zub
