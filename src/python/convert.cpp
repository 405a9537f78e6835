#include "python/convert.h"

#include <algorithm>
#include <climits>
#include <string>

namespace py = pybind11;

namespace zub::python {

namespace {

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// The id of `item`, given a new one when it is new.
int id_of(PyObject* item, PyObject* index, PyObject* items) {
  PyObject* known = PyDict_GetItemWithError(index, item);  // borrowed
  if (known != nullptr) return static_cast<int>(PyLong_AsLong(known));
  if (PyErr_Occurred()) throw py::error_already_set();  // unhashable
  const Py_ssize_t id = PyList_GET_SIZE(items);
  if (id == INT_MAX) raise(PyExc_ValueError, "more than 2147483647 distinct items");
  const py::object number = py::reinterpret_steal<py::object>(PyLong_FromSsize_t(id));
  if (!number || PyDict_SetItem(index, item, number.ptr()) != 0 || PyList_Append(items, item) != 0)
    throw py::error_already_set();
  return static_cast<int>(id);
}

}  // namespace

Encoded encode(py::handle transactions, py::list items) {
  Encoded out;
  const py::dict index;  // item -> id
  const py::object outer = py::reinterpret_steal<py::object>(PyObject_GetIter(transactions.ptr()));
  if (!outer) raise(PyExc_TypeError, "the transactions must be an iterable of transactions");
  while (true) {
    const py::object t = py::reinterpret_steal<py::object>(PyIter_Next(outer.ptr()));
    if (!t) break;
    // A str is iterable, but as its characters: almost always a mistake.
    if (PyUnicode_Check(t.ptr()) || PyBytes_Check(t.ptr()))
      raise(PyExc_TypeError, "each transaction must be an iterable of items (a list, a set, ...), not a " +
                       std::string(Py_TYPE(t.ptr())->tp_name));
    const py::object inner = py::reinterpret_steal<py::object>(PyObject_GetIter(t.ptr()));
    if (!inner) {
      PyErr_Clear();
      raise(PyExc_TypeError, "each transaction must be an iterable of items, not " +
                       std::string(Py_TYPE(t.ptr())->tp_name));
    }
    std::uint32_t n = 0;
    while (true) {
      const py::object item = py::reinterpret_steal<py::object>(PyIter_Next(inner.ptr()));
      if (!item) break;
      out.ids.push_back(id_of(item.ptr(), index.ptr(), items.ptr()));
      ++n;
    }
    if (PyErr_Occurred()) throw py::error_already_set();
    out.lengths.push_back(n);
    // Ctrl-C reaches a long conversion too.
    if ((out.lengths.size() & 4095) == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
  if (PyErr_Occurred()) throw py::error_already_set();
  return out;
}

ItemObjects::ItemObjects(py::handle items, const std::vector<std::string>* names)
    : names_(names), items_(items.is_none() ? nullptr : items.ptr()) {}

PyObject* ItemObjects::operator[](int id) {
  if (items_ != nullptr) return PyList_GET_ITEM(items_, id);
  const auto k = static_cast<std::size_t>(id);
  if (names_ != nullptr) {
    if (k >= numbers_.size()) numbers_.resize(names_->size());
    if (!numbers_[k]) {
      const std::string& name = (*names_)[k];
      numbers_[k] = py::reinterpret_steal<py::object>(
          PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), "surrogateescape"));
      if (!numbers_[k]) throw py::error_already_set();
    }
    return numbers_[k].ptr();
  }
  if (k >= kListed) {
    py::object& number = large_numbers_[id];
    if (!number) number = py::int_(id);
    return number.ptr();
  }
  if (k >= numbers_.size()) numbers_.resize(std::min(kListed, std::max(k + 1, 2 * numbers_.size())));
  if (!numbers_[k]) numbers_[k] = py::int_(id);
  return numbers_[k].ptr();
}

void append_frozensets(py::list& sets, std::span<const int> ids, std::span<const std::uint32_t> lengths,
                       ItemObjects& items) {
  std::size_t next = 0;
  for (const std::uint32_t n : lengths) {
    const py::object set = py::reinterpret_steal<py::object>(PyFrozenSet_New(nullptr));
    if (!set) throw py::error_already_set();
    // A new frozenset may be filled before anything else sees it.
    bool holds_tracked = false;
    for (std::uint32_t j = 0; j < n; ++j, ++next) {
      PyObject* item = items[ids[next]];
      if (PySet_Add(set.ptr(), item) != 0) throw py::error_already_set();
      holds_tracked = holds_tracked || (PyObject_IS_GC(item) && PyObject_GC_IsTracked(item));
    }
    // A set of ints or strings cannot be part of a reference cycle: kept
    // from the garbage collector (as Python does with such tuples), the
    // sets do not make its collections walk everything the process holds.
    if (!holds_tracked) PyObject_GC_UnTrack(set.ptr());
    if (PyList_Append(sets.ptr(), set.ptr()) != 0) throw py::error_already_set();
  }
}

}  // namespace zub::python
