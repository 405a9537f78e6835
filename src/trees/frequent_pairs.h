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
    const Rows& r = stores_[store_[a]];
    return Row{r.partners.data() + begin_[a], r.supports.data() + begin_[a], size_[a]};
  }
  // Computes every row not made yet, on `threads` threads: afterwards
  // threads may share the rows.
  void compute_all(int threads);
  // The pair's support when it is frequent, else 0.
  int count(int b, int a);
  // The smallest frequent partner of a that is at least `from`; a if none.
  int next_frequent(int a, int from);

 private:
  // What the computation of rows writes to: per position scratch, and the rows.
  struct Rows {
    std::vector<int> scratch;             // per position, zero between computations
    std::vector<std::uint64_t> touched;   // a bit per position, zero between computations
    std::vector<int> partners;
    std::vector<int> supports;
  };
  void compute(int a) {
    store_[a] = 0;
    begin_[a] = compute_into(a, stores_[0], size_[a]);
  }
  // Appends a's row to `rows`; returns where it starts, and its size in `size`.
  int compute_into(int a, Rows& rows, int& size) const;
  const FI_tree* tree_;
  std::vector<int> begin_;  // offset of each position's row; -1 until computed
  std::vector<int> size_;
  // The rows: those computed one at a time in the first store, each thread's
  // of compute_all in a store of its own; the store of each position's row.
  std::vector<Rows> stores_;
  std::vector<std::uint8_t> store_;
};

}  // namespace zub
