// The extension module zub._zub: the miners of <zub/zub.h> for the Python
// package python/zub, which checks the arguments and builds the DataFrames.
// The run goes on its own thread without the GIL and hands its results
// over in chunks, which the calling thread turns into Python objects
// meanwhile (background_run.h).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "python/convert.h"
#include "python/background_run.h"
#include "zub/zub.h"

namespace py = pybind11;

namespace zub::python {

namespace {

using IdArray = py::array_t<int, py::array::c_style | py::array::forcecast>;
using LengthArray = py::array_t<std::uint32_t, py::array::c_style | py::array::forcecast>;

// A run's transactions: a file (its path as bytes) or arrays of ids and
// lengths in memory, as mine_transactions takes them.
struct Source {
  std::string path;
  IdArray ids;
  LengthArray lengths;
  bool memory = false;
  bool in_memory() const { return memory; }
  Transactions transactions() const {
    return {{ids.data(), static_cast<std::size_t>(ids.size())},
            {lengths.data(), static_cast<std::size_t>(lengths.size())}};
  }
};

// How a file holds its transactions: None (ids), or (names, separator,
// header, single, transaction column, item column) as the package checked them.
std::optional<FileLayout> layout_of(py::handle layout) {
  if (layout.is_none()) return std::nullopt;
  const auto t = layout.cast<py::tuple>();
  FileLayout l;
  l.names = t[0].cast<bool>();
  const std::string separator = t[1].cast<std::string>();
  l.separator = separator.empty() ? '\0' : separator[0];
  l.header = t[2].cast<bool>();
  l.single = t[3].cast<bool>();
  l.transaction_column = t[4].cast<std::string>();
  l.item_column = t[5].cast<std::string>();
  return l;
}

Source source_of(py::handle data) {
  if (py::isinstance<py::bytes>(data)) return Source{data.cast<std::string>(), {}, {}};
  const auto pair = data.cast<py::tuple>();
  return Source{{}, pair[0].cast<IdArray>(), pair[1].cast<LengthArray>(), true};
}

// A share as a float, a count as an int (the package tells them apart).
Support support_of(py::handle min_support) {
  if (py::isinstance<py::float_>(min_support)) return Support::fraction(min_support.cast<double>());
  return Support::count(min_support.cast<int>());
}

Target target_of(const std::string& name) {
  if (name == "maximal") return Target::maximal;
  if (name == "closed") return Target::closed;
  if (name == "all") return Target::all;
  throw Error(Error::Kind::argument, "target must be \"maximal\", \"closed\" or \"all\", not \"" + name + "\"");
}

template <class T>
py::array_t<T> array_of(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

template <class T>
void append(std::vector<T>& to, const std::vector<T>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

// Whether the exception being handled is a memory failure.
bool handling_memory_failure() {
  try {
    throw;
  } catch (py::error_already_set& e) {
    return e.matches(PyExc_MemoryError);
  } catch (std::bad_alloc&) {
    return true;
  } catch (Error& e) {
    return e.kind() == Error::Kind::memory;
  } catch (...) {
    return false;
  }
}

// Results converted before a run was ended (KeyboardInterrupt) are freed
// by the package in a thread of their own, a slice at a time: freeing
// millions of frozensets takes seconds, which would delay the exception.
// After a memory failure they are freed here: the memory is wanted now,
// and a thread may not even start then (threading.Thread.start waits for
// ever on a thread that fails before it reports). Called from a handler.
void release_later(py::list& values) {
  if (PyList_GET_SIZE(values.ptr()) == 0) return;
  if (!handling_memory_failure()) {
    try {
      py::module_::import("zub").attr("_release_later")(values);
    } catch (py::error_already_set&) {
      // Freed here then.
    }
  }
  values = py::list();
}

// The run hands its results over in chunks of this many, waking the caller.
constexpr std::size_t kChunk = 4096;

template <class Chunk>
void hand_over_when_full(Handoff<Chunk>& handoff, std::size_t filled) {
  if (filled >= kChunk) handoff.hand_over();
}

// A progress callable of the package (None: no reports) gets each report
// as (phase, done, total, itemsets, seconds, units).
void report_progress(BackgroundRun& run, py::handle progress) {
  if (progress.is_none()) return;
  run.report_progress([callable = py::reinterpret_borrow<py::object>(progress)](const RunProgress& p) {
    static constexpr const char* kPhases[] = {"reading", "building", "mining"};
    callable(kPhases[static_cast<int>(p.phase)], p.done, p.total, p.itemsets, p.seconds, p.units);
  });
}

// Itemsets as the run finds them: ids back to back, lengths, supports.
struct ItemsetChunk {
  std::vector<int> ids;
  std::vector<std::uint32_t> lengths;
  std::vector<int> counts;
};

// (frozensets, counts, transactions) of the itemsets of `data`.
py::tuple mine_itemsets(py::handle data, const std::string& target, py::handle min_support, int min_len, int max_len,
                        int threads, py::handle items, py::handle layout, py::handle progress) {
  const Source source = source_of(data);
  const std::optional<FileLayout> file_layout = layout_of(layout);
  std::vector<std::string> names;
  const Target t = target_of(target);
  const Support support = support_of(min_support);
  BackgroundRun run;
  report_progress(run, progress);
  Handoff<ItemsetChunk> handoff(run);
  ItemObjects objects(items, file_layout ? &names : nullptr);
  py::list sets;
  std::vector<int> counts;
  Summary summary;
  const auto mine = [&](BackgroundRun& self) {
    const auto keep = [&](std::span<const int> itemset, int count) {
      ItemsetChunk& chunk = handoff.filling();
      chunk.ids.insert(chunk.ids.end(), itemset.begin(), itemset.end());
      chunk.lengths.push_back(static_cast<std::uint32_t>(itemset.size()));
      chunk.counts.push_back(count);
      hand_over_when_full(handoff, chunk.lengths.size());
    };
    const RunOptions options{threads, self.stop(), file_layout ? &*file_layout : nullptr,
                             file_layout ? &names : nullptr, self.progress_callback()};
    const Limits limits{min_len, max_len};
    summary = source.in_memory() ? mine_transactions(source.transactions(), t, support, limits, options, keep)
                                 : mine_file(source.path, t, support, limits, options, keep);
    handoff.hand_over();
  };
  try {
    run.go(mine, [&] {
      const std::optional<ItemsetChunk> chunk = handoff.take();
      if (!chunk) return false;
      append_frozensets(sets, chunk->ids, chunk->lengths, objects);
      append(counts, chunk->counts);
      return true;
    });
  } catch (...) {
    release_later(sets);
    throw;
  }
  return py::make_tuple(sets, array_of(counts), summary.transactions, summary.words_without_ids);
}

// Rules as the run finds them, column by column.
struct RuleChunk {
  std::vector<int> antecedent_ids, consequent_ids;
  std::vector<std::uint32_t> antecedent_lengths, consequent_lengths;
  std::vector<int> counts, antecedent_counts, consequent_counts;
  std::vector<double> confidence, lift, leverage, conviction;
  void add(const Rule& r) {
    antecedent_ids.insert(antecedent_ids.end(), r.antecedent.begin(), r.antecedent.end());
    consequent_ids.insert(consequent_ids.end(), r.consequent.begin(), r.consequent.end());
    antecedent_lengths.push_back(static_cast<std::uint32_t>(r.antecedent.size()));
    consequent_lengths.push_back(static_cast<std::uint32_t>(r.consequent.size()));
    counts.push_back(r.support);
    antecedent_counts.push_back(r.antecedent_support);
    consequent_counts.push_back(r.consequent_support);
    confidence.push_back(r.confidence);
    lift.push_back(r.lift);
    leverage.push_back(r.leverage);
    conviction.push_back(r.conviction);
  }
};

// ({column: values}, transactions) of the rules of `data`.
py::tuple mine_rules(py::handle data, py::handle min_support, double min_confidence, double min_lift,
                     bool any_consequent, int min_len, int max_len, int threads, py::handle items,
                     py::handle layout, py::handle progress) {
  const Source source = source_of(data);
  const std::optional<FileLayout> file_layout = layout_of(layout);
  std::vector<std::string> names;
  const Support support = support_of(min_support);
  const RuleOptions rule_options{min_confidence, min_lift, any_consequent};
  BackgroundRun run;
  report_progress(run, progress);
  Handoff<RuleChunk> handoff(run);
  ItemObjects objects(items, file_layout ? &names : nullptr);
  py::list antecedents, consequents;
  RuleChunk numbers;  // its ids and lengths stay empty
  RuleSummary summary;
  const auto mine = [&](BackgroundRun& self) {
    const auto keep = [&](const Rule& r) {
      handoff.filling().add(r);
      hand_over_when_full(handoff, handoff.filling().counts.size());
    };
    const RunOptions options{threads, self.stop(), file_layout ? &*file_layout : nullptr,
                             file_layout ? &names : nullptr, self.progress_callback()};
    const Limits limits{min_len, max_len};
    summary = source.in_memory()
                  ? zub::mine_rules(source.transactions(), support, rule_options, limits, options, keep)
                  : zub::mine_rules(source.path, support, rule_options, limits, options, keep);
    handoff.hand_over();
  };
  try {
    run.go(mine, [&] {
    const std::optional<RuleChunk> chunk = handoff.take();
    if (!chunk) return false;
    append_frozensets(antecedents, chunk->antecedent_ids, chunk->antecedent_lengths, objects);
    append_frozensets(consequents, chunk->consequent_ids, chunk->consequent_lengths, objects);
    append(numbers.counts, chunk->counts);
    append(numbers.antecedent_counts, chunk->antecedent_counts);
    append(numbers.consequent_counts, chunk->consequent_counts);
    append(numbers.confidence, chunk->confidence);
    append(numbers.lift, chunk->lift);
    append(numbers.leverage, chunk->leverage);
    append(numbers.conviction, chunk->conviction);
    return true;
    });
  } catch (...) {
    release_later(antecedents);
    release_later(consequents);
    throw;
  }
  py::dict columns;
  columns["antecedents"] = antecedents;
  columns["consequents"] = consequents;
  columns["count"] = array_of(numbers.counts);
  columns["antecedent count"] = array_of(numbers.antecedent_counts);
  columns["consequent count"] = array_of(numbers.consequent_counts);
  columns["confidence"] = array_of(numbers.confidence);
  columns["lift"] = array_of(numbers.lift);
  columns["leverage"] = array_of(numbers.leverage);
  columns["conviction"] = array_of(numbers.conviction);
  return py::make_tuple(columns, summary.transactions, summary.words_without_ids);
}

py::tuple encode_transactions(py::handle transactions) {
  py::list items;
  const Encoded encoded = encode(transactions, items);
  return py::make_tuple(array_of(encoded.ids), array_of(encoded.lengths), items);
}

// zub::Error as the Python exception of its kind.
void translate(std::exception_ptr failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const Error& e) {
    switch (e.kind()) {
      case Error::Kind::argument: PyErr_SetString(PyExc_ValueError, e.what()); break;
      case Error::Kind::file: PyErr_SetString(PyExc_OSError, e.what()); break;
      case Error::Kind::memory: PyErr_SetString(PyExc_MemoryError, e.what()); break;
      default: PyErr_SetString(PyExc_RuntimeError, e.what()); break;
    }
  } catch (const std::system_error& e) {
    // The run's own thread could not be started: the process is out of
    // memory or threads (the run's workers fall back by themselves).
    PyErr_SetString(PyExc_MemoryError, e.what());
  }
}

}  // namespace

}  // namespace zub::python

PYBIND11_MODULE(_zub, m) {
  using namespace zub::python;
  m.doc() = "The miners of zub; use them through the package zub.";
  py::register_exception_translator(&translate);
  m.def("mine_itemsets", &mine_itemsets,
        "(data, target, min_support, min_len, max_len, threads, items, layout, progress)");
  m.def("mine_rules", &zub::python::mine_rules,
        "(data, min_support, min_confidence, min_lift, any_consequent, min_len, max_len, threads, items, layout, "
        "progress)");
  m.def("encode", &encode_transactions, "transactions -> (ids, lengths, items), items numbered as first seen");
}
