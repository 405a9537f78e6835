#pragma once
// What the embedding API's entry points share: the checks of their
// arguments and the run of one file with its failures turned into zub::Error.
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "run/run.h"
#include "zub/zub.h"

namespace zub {

// Carries an exception of the caller's callback through the miners, so that
// it is not taken for one of the run's own.
struct CallbackFailed {
  std::exception_ptr error;
};

// The request for `min_support`, `limits` and `options`; throws Error
// (argument) for a value out of range.
RunRequest api_request(Support min_support, Limits limits, RunOptions options);

// Where a run's transactions come from: the file at `path`, or, without
// one, `memory`.
struct Source {
  const std::string* path = nullptr;
  Transactions memory;
  const FileLayout* layout = nullptr;        // of the file
  std::vector<std::string>* names = nullptr; // gets the names, when read with names
  bool words_without_ids = false;            // set by run_source
  ProgressCallback progress = {};            // told where the run is
};

// Reads the source into a run and calls mine(run). A CallbackFailed thrown
// inside reaches the caller as the callback's exception; a failure of the
// run as Error. Transactions in memory whose lengths do not add up to their
// ids, or with a negative id, are an argument error.
void run_source(Source& source, const RunRequest& request, const std::function<void(Run&)>& mine);

// Runs mine(each) with an `each` that keeps every item it is handed, and
// returns them; running out of memory on the way is Error (memory).
template <class Item>
std::vector<Item> collect(const std::function<void(const std::function<void(const Item&)>&)>& mine) {
  std::vector<Item> found;
  try {
    mine([&found](const Item& item) { found.push_back(item); });
  } catch (const std::bad_alloc&) {
    throw Error(Error::Kind::memory, "Not enough memory!");
  }
  return found;
}


}  // namespace zub
