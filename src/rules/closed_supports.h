#pragma once
// The support of any frequent itemset from the closed itemsets alone: it is
// the support of its closure, the closed itemset of largest support that
// holds it. Items are small indices (0 to items - 1).
//
// One lookup path, the cheap answers first: a single item has its own
// support; a closed itemset is found whole in a hash table; a subset X of a
// frequent itemset Z (told by about()) has its closure between X and Z's
// closure, so when those differ by a few items the closed sets in between
// are tried through the table. Only what is left searches the closed
// itemsets that hold X's items for the one of largest support (numbered by
// descending support, each item keeping the numbers of those that hold it
// as a bit set or, when that is smaller, a sorted list). What the longer
// paths find is kept for a while: a rule's antecedent comes back with each
// item that extends it.
//
// ClosedSupports is read only once indexed; a lookup keeps scratch state,
// so each thread asks through a SupportLookup of its own.
#include <cstdint>
#include <span>
#include <vector>

#include "io/records.h"
#include "io/sink.h"
#include "rules/itemset_table.h"

namespace zub {

// A sink of the closed itemsets' pass (their items main-tree positions).
class ClosedSupports final : public ItemsetSink {
 public:
  explicit ClosedSupports(int items);
  // Takes one closed itemset (its items in any order, and its support).
  void add(std::span<const int> items, int support);
  void take(std::span<const int> records) override {
    for_each_record(records, [this](const int* items, int n, int support) {
      add({items, static_cast<std::size_t>(n)}, support);
    });
  }
  // Makes the lookups; call once, after the last add.
  void index();
  std::size_t size() const { return closed_.size(); }

  // A closed itemset's support, or 0 when `sorted` is none.
  int whole(std::span<const int> sorted) const;
  // The first number from `from` to before `to` holding all of x, or -1.
  int first_holding(std::span<const int> x, std::uint32_t from, std::uint32_t to) const;
  int item_support(int item) const { return item_support_[static_cast<std::size_t>(item)]; }
  int items() const { return items_; }
  const ItemsetTable& closed() const { return closed_; }

 private:
  bool holds(int item, std::uint32_t number) const;

  int items_;
  // The itemsets added, until index() numbers them.
  std::vector<int> added_supports_;
  std::vector<std::uint32_t> added_begin_;
  std::vector<int> added_pool_;
  ItemsetTable closed_;  // by number: descending support
  std::vector<int> item_support_;
  std::vector<std::vector<std::uint64_t>> bits_;   // by item: bit set of numbers, or empty
  std::vector<std::vector<std::uint32_t>> lists_;  // by item: ascending numbers when no bit set
};

// One thread's lookups of supports in an indexed ClosedSupports.
class SupportLookup {
 public:
  explicit SupportLookup(const ClosedSupports& closed);
  // Tells the lookups that follow that they will mostly ask for subsets of
  // `z`, a frequent itemset with support `support`.
  void about(std::span<const int> z, int support);
  // The support of `x` (distinct items, ascending), or 0 when no closed
  // itemset holds it (x is not frequent).
  int support_of(std::span<const int> x);

 private:
  int closure_of_z();  // the number of z's closure, or -1
  // Via the closed sets between x and z's closure (spread_: the items of the
  // closure beyond x); -1: too many.
  int between(std::span<const int> x);

  const ClosedSupports& closed_;
  // Supports found by the longer paths, for itemsets asked again; emptied
  // when it holds as many itemsets as there are closed ones, so that it
  // stays as small.
  ItemsetTable found_;
  std::size_t found_limit_ = 0;
  // The itemset of about(), sorted, and its closure once looked for.
  std::vector<int> z_;
  int z_support_ = 0;
  int z_closure_ = -2;  // -2: not looked for yet
  std::vector<int> scratch_, spread_, extra_;
};

}  // namespace zub
