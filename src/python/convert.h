#pragma once
// Between Python's objects and the miner's item ids: transactions of any
// hashable items numbered in the order they first appear, and itemsets
// (ids back to back with their counts) turned into frozensets of the items.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace zub::python {

// The ids of `transactions` (an iterable of iterables of hashable items)
// back to back, and each one's count. A new item gets the next id and is
// appended to `items`. Raises TypeError for a transaction that is a str,
// bytes or not iterable, or an unhashable item.
struct Encoded {
  std::vector<int> ids;
  std::vector<std::uint32_t> lengths;
};
Encoded encode(pybind11::handle transactions, pybind11::list items);

// The Python object of each id: items[id], or, when `items` is None, the id
// as an int, or with names (a file read with names), the name as a str
// (undecodable bytes as surrogates, as os.fsdecode does); one object per
// id, made when first asked for. The names must be filled before the
// first id is asked for.
class ItemObjects {
 public:
  explicit ItemObjects(pybind11::handle items, const std::vector<std::string>* names = nullptr);
  PyObject* operator[](int id);  // borrowed

 private:
  const std::vector<std::string>* names_;
  static constexpr std::size_t kListed = std::size_t(1) << 20;  // ids below it in a table
  PyObject* items_;  // a list, or null
  std::vector<pybind11::object> numbers_;
  std::unordered_map<int, pybind11::object> large_numbers_;
};

// Appends to `sets` one frozenset per itemset: the `lengths[k]` ids from
// the running start in `ids`.
void append_frozensets(pybind11::list& sets, std::span<const int> ids, std::span<const std::uint32_t> lengths,
                       ItemObjects& items);

}  // namespace zub::python
