// The embedding API: one run of zub-mine's sequence (reader, main tree,
// miner) with the itemsets handed to a callback instead of a file.
#include <algorithm>
#include <charconv>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "common/progress.h"
#include "common/run_error.h"
#include "io/data.h"
#include "io/callback_sink.h"
#include "run/cores.h"
#include "run/run.h"
#include "zub/zub.h"
#include "api/api_run.h"

namespace zub {

Support Support::count(int transactions) {
  if (transactions < 0)
    throw Error(Error::Kind::argument, "the minimum support cannot be negative: " + std::to_string(transactions));
  Support s;
  s.count_ = transactions;
  return s;
}

Support Support::fraction(std::uint64_t numerator, std::uint64_t denominator) {
  if (denominator == 0 || numerator > denominator)
    throw Error(Error::Kind::argument, "a share of the transactions must be from 0 to 1, not " +
                                           std::to_string(numerator) + "/" + std::to_string(denominator));
  Support s;
  s.numerator_ = numerator;
  s.denominator_ = denominator;
  return s;
}

Support Support::fraction(double share) {
  if (!(share >= 0.0 && share <= 1.0)) {
    char shown[32];
    const auto printed = std::to_chars(shown, shown + sizeof shown, share, std::chars_format::general);
    throw Error(Error::Kind::argument,
                "a share of the transactions must be from 0 to 1, not " + std::string(shown, printed.ptr));
  }
  const Fraction d = Fraction::shortest_decimal(share);
  return fraction(d.numerator, d.denominator);
}

namespace {

Error::Kind kind_of_status(int status) {
  switch (status) {
    case kExitFile: return Error::Kind::file;
    case kExitMemory: return Error::Kind::memory;
    case kExitCancelled: return Error::Kind::cancelled;
    default: return Error::Kind::internal;
  }
}

}  // namespace

Summary mine_file(const std::string& path, Target target, Support min_support, const ItemsetCallback& each) {
  return mine_file(path, target, min_support, Limits{}, each);
}

Summary mine_file(const std::string& path, Target target, Support min_support, Limits limits,
                  const ItemsetCallback& each) {
  return mine_file(path, target, min_support, limits, RunOptions{1}, each);
}

RunRequest api_request(Support min_support, Limits limits, RunOptions options) {
  if (options.threads < 0)
    throw Error(Error::Kind::argument, "the number of threads must be 0 (every core) or more, not " +
                                           std::to_string(options.threads));
  if (limits.min_len < 1)
    throw Error(Error::Kind::argument, "the minimum length must be 1 or more, not " + std::to_string(limits.min_len));
  if (limits.max_len < 0)
    throw Error(Error::Kind::argument,
                "the maximum length must be 1 or more (0: none), not " + std::to_string(limits.max_len));
  if (limits.max_len > 0 && limits.min_len > limits.max_len)
    throw Error(Error::Kind::argument, "the minimum length " + std::to_string(limits.min_len) +
                                           " is above the maximum length " + std::to_string(limits.max_len));
  RunRequest request;
  request.min_support.count = min_support.count_value();
  if (min_support.denominator() != 0)
    request.min_support.share = Fraction{min_support.numerator(), min_support.denominator()};
  request.lengths.min = limits.min_len;
  if (limits.max_len > 0) request.lengths.max = limits.max_len;
  request.threads = options.threads > 0 ? options.threads : available_cores();
  request.stop = StopFlag(options.stop);
  return request;
}

namespace {

void check_memory(const Transactions& t) {
  std::uint64_t total = 0;
  for (std::uint32_t n : t.lengths) total += n;
  if (total != t.ids.size())
    throw Error(Error::Kind::argument, "the transactions' lengths add up to " + std::to_string(total) + " ids, not " +
                                           std::to_string(t.ids.size()));
  const auto negative = std::find_if(t.ids.begin(), t.ids.end(), [](int id) { return id < 0; });
  if (negative != t.ids.end())
    throw Error(Error::Kind::argument, "item ids must be from 0 to 2147483647, not " + std::to_string(*negative));
}

}  // namespace

void run_source(Source& source, const RunRequest& request, const std::function<void(Run&)>& mine) {
  if (source.path == nullptr) check_memory(source.memory);
  // The file would be opened by the part before the NUL: another file.
  if (source.path != nullptr && source.path->find('\0') != std::string::npos)
    throw Error(Error::Kind::argument,
                "a path cannot hold a NUL byte, as after \"" + source.path->substr(0, source.path->find('\0')) + "\"");
  try {
    std::optional<Progress> progress;
    RunRequest with_progress = request;
    if (source.progress) {
      progress.emplace([&source](const Progress::Report& r) {
        try {
          source.progress(RunProgress{static_cast<RunProgress::Phase>(r.phase), r.done, r.total, r.itemsets, r.seconds,
                                      r.units});
        } catch (...) {
          throw CallbackFailed{std::current_exception()};
        }
      });
      with_progress.progress = &*progress;
    }
    Run run(with_progress);
    Data::Options reading;
    reading.keep_unseekable = true;
    if (source.layout != nullptr && source.path != nullptr) {
      const FileLayout& layout = *source.layout;
      reading.names = layout.names;
      reading.separator = layout.separator;
      reading.header = layout.header;
      reading.single = layout.single;
      reading.transaction_column = layout.transaction_column;
      reading.item_column = layout.item_column;
      if (layout.separator != 0 || layout.header || layout.single) reading.layouts = &Data::next_in_layout;
    }
    std::unique_ptr<Data> data =
        source.path != nullptr ? std::make_unique<Data>(source.path->c_str(), reading)
                               : std::make_unique<Data>(source.memory.ids, source.memory.lengths, "the transactions");
    if (!data->isOpen()) throw RunError(kExitFile, *source.path + " could not be opened!");
    run.read(*data);
    source.words_without_ids = data->words_without_ids();
    if (source.names != nullptr) *source.names = data->take_names();
    mine(run);
  } catch (const CallbackFailed& failed) {
    std::rethrow_exception(failed.error);
  } catch (const RunError& e) {
    throw Error(kind_of_status(e.status()), e.what());
  } catch (const std::bad_alloc&) {
    throw Error(Error::Kind::memory, "Not enough memory!");
  }
}

namespace {

Summary mine_itemsets(Source source, Target target, Support min_support, Limits limits, RunOptions options,
                      const ItemsetCallback& each) {
  RunRequest request = api_request(min_support, limits, options);
  if (!each) throw Error(Error::Kind::argument, "no callback to hand the itemsets to");
  switch (target) {
    case Target::maximal: request.target = MiningTarget::maximal; break;
    case Target::closed: request.target = MiningTarget::closed; break;
    case Target::all: request.target = MiningTarget::all; break;
    default:  // a value cast from an int that names no target
      throw Error(Error::Kind::argument,
                  "the target must be maximal, closed or all, not " + std::to_string(static_cast<int>(target)));
  }
  Summary summary;
  run_source(source, request, [&](Run& run) {
    std::vector<int> sorted;
    CallbackSink sink(
        [&](std::span<const int> ids, int support) {
          // Mining may be over while the writer still hands out what the
          // workers kept: a stop set now still ends the run.
          request.stop.check();
          sorted.assign(ids.begin(), ids.end());
          std::sort(sorted.begin(), sorted.end());
          ++summary.itemsets;
          try {
            each(std::span<const int>(sorted), support);
          } catch (...) {
            throw CallbackFailed{std::current_exception()};
          }
        },
        run.items().file_id.data());
    run.mine(sink);
    summary.transactions = run.settings().transactions;
    summary.min_support = run.settings().threshold;
    summary.frequent_items = run.frequent();
  });
  summary.words_without_ids = source.words_without_ids;
  return summary;
}

// Each itemset handed out as an Itemset.
std::vector<Itemset> collect_itemsets(const std::function<void(const ItemsetCallback&)>& mine) {
  return collect<Itemset>([&](const std::function<void(const Itemset&)>& keep) {
    mine([&keep](std::span<const int> items, int support) {
      keep(Itemset{std::vector<int>(items.begin(), items.end()), support});
    });
  });
}

}  // namespace

Summary mine_file(const std::string& path, Target target, Support min_support, Limits limits, RunOptions options,
                  const ItemsetCallback& each) {
  return mine_itemsets(Source{&path, {}, options.layout, options.names, false, options.progress}, target, min_support,
                       limits, options, each);
}

Summary mine_transactions(Transactions transactions, Target target, Support min_support, Limits limits,
                          RunOptions options, const ItemsetCallback& each) {
  return mine_itemsets(Source{nullptr, transactions, nullptr, nullptr, false, options.progress}, target, min_support,
                       limits, options, each);
}

std::vector<Itemset> mine_transactions(Transactions transactions, Target target, Support min_support, Limits limits,
                                       RunOptions options) {
  return collect_itemsets([&](const ItemsetCallback& each) {
    mine_transactions(transactions, target, min_support, limits, options, each);
  });
}

std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support) {
  return mine_file(path, target, min_support, Limits{});
}

std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support, Limits limits) {
  return mine_file(path, target, min_support, limits, RunOptions{1});
}

std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support, Limits limits,
                               RunOptions options) {
  return collect_itemsets(
      [&](const ItemsetCallback& each) { mine_file(path, target, min_support, limits, options, each); });
}

}  // namespace zub
