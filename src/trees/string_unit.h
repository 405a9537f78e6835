#pragma once
// One unit of the build from strings (see trees/string_build.h): a run of
// a root child's strings that all lie in one subtree of it, sorted, counted
// and turned into nodes by one thread, with the scratch that thread keeps.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/threads.h"
#include "common/tuning.h"
#include "memory/zeroed_array.h"
#include "trees/fnode.h"

namespace zub {

class FI_tree;
class NodeStore;

struct StringUnit {
  int group;              // the root child's position
  std::size_t begin;      // its strings: these bytes of the root child's array
  std::size_t end;
  std::size_t strings;
  int skip;               // leading units that all its strings share
  std::size_t nodes = 0;  // counted when sorted
  NodeRef first = kNoNode;  // the number of its first node
};

// The cells of the main tree's dense pair triangle, for counts kept apart
// per thread and added at the end; none when the tree has no such triangle.
class PairCells {
 public:
  explicit PairCells(FI_tree& tree);
  std::size_t cells() const { return cells_; }
  // The cell of the pair of positions b < a is row(a)[-b].
  std::size_t row(int a) const { return row_[static_cast<std::size_t>(a)] + static_cast<std::size_t>(a) - 1; }
  void add(const std::vector<int>& counts) const;

 private:
  int* first_ = nullptr;
  std::size_t cells_ = 0;
  std::vector<std::size_t> row_;  // by the larger position: where its row starts
};

// What a thread sorts and builds its units in.
struct alignas(kCacheLine) StringScratch {
  struct Keyed {
    std::uint64_t key;  // the first units behind the shared ones, packed
    std::size_t at;     // where the string starts, in units
  };
  explicit StringScratch(int positions, std::size_t radix_least = Tuning{}.radix_sort_least);
  std::size_t radix_least;  // Tuning::radix_sort_least
  void start_counting(std::size_t pair_cells);
  // Gives the sort's buffers back, before the nodes are made.
  void end_sorting();

  std::vector<Keyed> keys;
  std::vector<Keyed> spare_keys;  // the radix sort's other half
  std::vector<unsigned char> sorted;
  // By depth, an entry per position: only as deep as the strings go is touched.
  ZeroedArray<int> current;     // the positions of the string being built
  ZeroedArray<NodeRef> trail;   // the nodes of the string before, by depth
  ZeroedArray<int> trail_positions;
  ZeroedArray<int> trail_counts;
  ZeroedArray<int> depth;       // nodes made, by depth
  std::vector<int> pairs;       // by PairCells::cell
};

// Sorts a unit's strings (in `group`, a root child's array of units of
// `unit_bytes` bytes), writes them back in order, and returns its nodes.
std::size_t sort_unit(const StringUnit& u, unsigned char* group, int unit_bytes, StringScratch& s);
// Writes the nodes of a sorted unit, from u.first on, below the root
// child's node `parent`; counts its nodes by depth and its pairs in `s`.
void build_unit(const StringUnit& u, const unsigned char* group, NodeRef parent, int unit_bytes, NodeStore& store,
                const PairCells& pairs, StringScratch& s);

}  // namespace zub
