#include "trees/mfi_tem.h"

#include "trees/sort.h"

namespace zub {

void mfi_tem::init(TreeScratch* w, memory* pool_, int n) {
  scratch = w;
  pool = pool_;
  count = 0;
  entries.assign(static_cast<std::size_t>(kListInitialSlots), kNoMnode);
  has.assign(static_cast<std::size_t>(kListInitialSlots), 0);
  // An entry per item, in zeroed pages: wide data touches few of them.
  marked_items = ZeroedArray<int>(static_cast<std::size_t>(n > 0 ? n : 1));
  flags = ZeroedArray<bool>(static_cast<std::size_t>(n > 0 ? n : 1));
}

bool mfi_tem::is_subset(const int* items, int from, int to, const int* tail, int tfrom, int tto) {
  ++scratch->counters.subset_checks;
  bool* marked = scratch->flags.data();
  int* remembered = marked_items.data();
  int retained = 0;
  for (int j = 0; j < count; ++j) {
    int n = 0;
    for_each_item(j, [&](int item) {
      marked[item] = true;
      remembered[n++] = item;
    });
    bool keep = true;
    for (int k = from; k <= to && keep; ++k) keep = marked[items[k]];
    if (keep) {
      const MnodeRef e = entries[j];
      entries[j] = entries[retained];
      entries[retained] = e;
      int in_tail = 0;
      for (int k = tfrom; k <= tto; ++k) in_tail += marked[tail[k]];
      has[retained] = in_tail;
      if (in_tail == tto - tfrom + 1) {
        for (int k = 0; k < n; ++k) marked[remembered[k]] = false;
        return true;
      }
      ++retained;
    }
    for (int k = 0; k < n; ++k) marked[remembered[k]] = false;
  }
  count = retained;
  sort(has.data(), entries.data(), 0, retained - 1);
  return false;
}

}  // namespace zub
