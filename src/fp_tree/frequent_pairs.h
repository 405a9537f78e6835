#pragma once
// The frequent pairs of a large tree, held sparsely: for a position a, the
// positions b < a whose pair with a reaches the support threshold, with the
// pair's support. A row is computed on first use by climbing from the nodes
// of a's chain (which gives exactly the pair supports) and kept. The main
// tree uses this instead of a dense triangle of num_items^2 / 2 counters, of
// which on sparse data only a tiny share is ever frequent.
#include <cstdint>
#include <vector>

namespace zub {

class FI_tree;

class FrequentPairs {
 public:
  struct Row {
    const int* partner;  // ascending positions
    const int* support;
    int size;
  };

  explicit FrequentPairs(const FI_tree* tree) : tree_(tree) { reset(); }
  // Forgets every row; for a tree whose positions changed.
  void reset();
  Row row(int a) {
    if (begin_[a] < 0) compute(a);
    return Row{partners_.data() + begin_[a], supports_.data() + begin_[a], size_[a]};
  }
  // Computes every row not made yet: afterwards threads may share the rows.
  void compute_all() {
    for (int a = 0; a < static_cast<int>(begin_.size()); ++a)
      if (begin_[a] < 0) compute(a);
  }
  // The pair's support when it is frequent, else 0.
  int count(int b, int a);
  // The smallest frequent partner of a that is at least `from`; a if none.
  int next_frequent(int a, int from);

 private:
  void compute(int a);
  const FI_tree* tree_;
  std::vector<int> begin_;  // offset of each position's row; -1 until computed
  std::vector<int> size_;
  std::vector<int> partners_;
  std::vector<int> supports_;
  std::vector<int> scratch_;  // per position, zero between computations
  std::vector<std::uint64_t> touched_;  // a bit per position, zero between computations
};

}  // namespace zub
