#include "trees/string_build.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "common/run_error.h"
#include "common/threads.h"
#include "common/progress.h"
#include "trees/fi_tree.h"
#include "trees/read_times.h"
#include "trees/string_unit.h"
#include "trees/transaction_strings.h"

namespace zub {

namespace {

using Free = TransactionStrings::Chunk::Free;

// A root child's strings in one array: its units' strings are runs of it.
struct GroupArray {
  std::unique_ptr<unsigned char[], Free> bytes;
  std::size_t strings = 0;
  NodeRef node = kNoNode;
};

double seconds_since(double start) { return thread_seconds() - start; }

// Runs work(item, worker) for every item of `order` on `threads` threads,
// each taking the next one in that order; with `times`, each item's time
// goes to times[item].
template <class Work>
void share_out(const std::vector<int>& order, int threads, std::vector<double>* times, Work&& work) {
  if (times != nullptr) times->assign(order.size(), 0.0);
  std::atomic<std::size_t> next{0};
  for_each_thread(std::max(1, std::min<int>(threads, static_cast<int>(order.size()))), [&](int worker) {
    for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < order.size();) {
      const double started = thread_seconds();
      work(order[k], worker);
      if (times != nullptr) (*times)[static_cast<std::size_t>(order[k])] = seconds_since(started);
    }
  });
}

// Item numbers by descending size.
template <class Size>
std::vector<int> largest_first(std::size_t n, Size&& size) {
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return size(a) > size(b); });
  return order;
}

// Step 1 for root child p: its strings from every share in one array, as
// one unit or, beyond `unit_bytes`, spread by their first unit (the next
// position) into one unit per value; the strings of p alone (empty) come
// first and make no unit.
template <class Unit>
void gather(std::vector<TransactionStrings>& shares, int p, std::size_t unit_bytes, GroupArray& out,
            std::vector<StringUnit>& units) {
  std::size_t bytes = 0, strings = 0;
  for (const TransactionStrings& s : shares) bytes += s.group(p).bytes, strings += s.group(p).strings;
  out.strings = strings;
  if (strings == 0) return;
  out.bytes.reset(static_cast<unsigned char*>(std::malloc(bytes)));
  if (out.bytes == nullptr) fail_memory();
  unsigned char* into = out.bytes.get();
  auto each_string = [&](auto&& f) {
    for (const TransactionStrings& s : shares)
      for (const TransactionStrings::Chunk& c : s.group(p).chunks)
        for (const Unit *u = reinterpret_cast<const Unit*>(c.bytes.get()), *end = u + c.used / sizeof(Unit); u < end;) {
          const Unit* first = u;
          while (*u++ != 0) {}
          f(first, static_cast<std::size_t>(u - first));
        }
  };
  if (bytes <= unit_bytes) {
    each_string([&](const Unit* s, std::size_t n) {
      std::memcpy(into, s, n * sizeof(Unit));
      into += n * sizeof(Unit);
    });
    units.push_back({p, 0, bytes, strings, 0});
  } else {
    // A cursor per value of the first unit; where the strings are far fewer
    // than the values (wide data: a few lines of a million ids) per value
    // present, found in their sorted list.
    const std::size_t values = shares.front().positions() + std::size_t{1};
    const bool sparse = strings < values / 16;
    std::vector<std::size_t> present;
    if (sparse) {
      each_string([&](const Unit* s, std::size_t) { present.push_back(*s); });
      std::sort(present.begin(), present.end());
      present.erase(std::unique(present.begin(), present.end()), present.end());
    }
    const std::size_t slots = sparse ? present.size() : values;
    auto slot = [&](std::size_t v) {
      return sparse ? static_cast<std::size_t>(std::lower_bound(present.begin(), present.end(), v) - present.begin()) : v;
    };
    std::vector<std::size_t> at(slots + 1, 0), count(slots, 0);
    each_string([&](const Unit* s, std::size_t n) {
      const std::size_t k = slot(*s);
      at[k + 1] += n * sizeof(Unit);
      ++count[k];
    });
    std::partial_sum(at.begin(), at.end(), at.begin());
    for (std::size_t k = 0; k < slots; ++k)  // value 0 (the strings of p alone) makes no unit
      if (count[k] > 0 && (sparse ? present[k] : k) != 0) units.push_back({p, at[k], at[k + 1], count[k], 1});
    each_string([&](const Unit* s, std::size_t n) {
      const std::size_t k = slot(*s);
      std::memcpy(into + at[k], s, n * sizeof(Unit));
      at[k] += n * sizeof(Unit);
    });
  }
  for (TransactionStrings& s : shares) s.release(p);
}

// A thread per unit_bytes of strings at most: each costs a stack, a malloc
// arena and its scratch (a pair triangle of up to 4 MiB), which a small
// tree would not repay.
int build_threads(const std::vector<TransactionStrings>& shares, int threads, std::size_t unit_bytes) {
  std::size_t all_bytes = 0;
  for (const TransactionStrings& s : shares) all_bytes += s.bytes();
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)),
                                                all_bytes / std::max<std::size_t>(unit_bytes, 1) + 1));
}

// What each task of the build does first: looks at the stop flag, and
// reports the building phase with every transaction read.
struct BuildLook {
  StopFlag stop;
  Progress* progress;
  long long transactions;
  void operator()() const {
    stop.check();
    if (progress != nullptr)
      progress->update(Progress::Phase::building, transactions, transactions, [] { return 0LL; });
  }
};

// The positions that head a transaction in any share, ascending.
std::vector<int> root_children(const std::vector<TransactionStrings>& shares) {
  std::vector<int> heads;
  for (const TransactionStrings& s : shares) heads.insert(heads.end(), s.firsts().begin(), s.firsts().end());
  std::sort(heads.begin(), heads.end());
  heads.erase(std::unique(heads.begin(), heads.end()), heads.end());
  return heads;
}

}  // namespace

std::size_t subtree_nodes(const TransactionStrings& strings, int first) {
  const TransactionStrings::Group& g = strings.group(first);
  std::vector<unsigned char> bytes;
  bytes.reserve(g.bytes);
  for (const TransactionStrings::Chunk& c : g.chunks) bytes.insert(bytes.end(), c.bytes.get(), c.bytes.get() + c.used);
  StringScratch scratch(strings.positions());
  return sort_unit({first, 0, g.bytes, g.strings, 0}, bytes.data(), strings.unit_bytes(), scratch);
}

void build_from_strings(FI_tree& tree, std::vector<TransactionStrings>& shares, int threads,
                        const Tuning& tuning, ZeroedArray<int>& depth_nodes, StopFlag stop, ReadTimes* times,
                        Progress* progress, long long transactions) {
  const BuildLook look{stop, progress, transactions};
  const int items = tree.num_items();
  const int unit = shares.front().unit_bytes();
  const std::size_t unit_bytes = tuning.build_unit_bytes;
  int workers = build_threads(shares, threads, unit_bytes);
  NodeStore& store = tree.store();
  const NodeStore::LinksOff links_off(store);

  // 1. The root children's arrays and units, of the positions that head a
  // transaction only (ascending): wide data has a million positions and a few.
  const std::vector<int> heads = root_children(shares);
  auto group_of = [&heads](int p) {
    return static_cast<std::size_t>(std::lower_bound(heads.begin(), heads.end(), p) - heads.begin());
  };
  std::vector<GroupArray> groups(heads.size());
  std::vector<std::vector<StringUnit>> units_of(heads.size());
  const std::vector<int> by_size = largest_first(heads.size(), [&](int k) {
    std::size_t bytes = 0;
    for (const TransactionStrings& s : shares) bytes += s.group(heads[static_cast<std::size_t>(k)]).bytes;
    return bytes;
  });
  share_out(by_size, workers, times != nullptr ? &times->gather : nullptr, [&](int k, int) {
    look();
    const int p = heads[static_cast<std::size_t>(k)];
    auto& g = groups[static_cast<std::size_t>(k)];
    auto& u = units_of[static_cast<std::size_t>(k)];
    if (unit == 1) gather<std::uint8_t>(shares, p, unit_bytes, g, u);
    if (unit == 2) gather<std::uint16_t>(shares, p, unit_bytes, g, u);
    if (unit == 4) gather<std::uint32_t>(shares, p, unit_bytes, g, u);
  });
  std::vector<StringUnit> units;
  for (auto& u : units_of) units.insert(units.end(), u.begin(), u.end());
  std::vector<std::vector<StringUnit>>().swap(units_of);

  // 2. Each unit sorted, its nodes counted.
  workers = std::max(1, std::min<int>(workers, static_cast<int>(units.size())));
  std::vector<StringScratch> scratch;
  scratch.reserve(static_cast<std::size_t>(workers));
  for (int w = 0; w < workers; ++w) scratch.emplace_back(items, tuning.radix_sort_least);
  const std::vector<int> big_first = largest_first(units.size(), [&](int k) { return units[static_cast<std::size_t>(k)].end - units[static_cast<std::size_t>(k)].begin; });
  share_out(big_first, workers, times != nullptr ? &times->sort : nullptr, [&](int k, int worker) {
    look();
    StringUnit& u = units[static_cast<std::size_t>(k)];
    u.nodes = sort_unit(u, groups[group_of(u.group)].bytes.get(), unit, scratch[static_cast<std::size_t>(worker)]);
  });

  // 3. The numbers: each root child, then its units in order.
  double started = thread_seconds();
  std::size_t total = 0;
  for (const GroupArray& g : groups) total += g.strings > 0;
  for (const StringUnit& u : units) total += u.nodes;
  for (StringScratch& s : scratch) s.end_sorting();
  NodeRef next = store.make_many(total);
  std::size_t k = 0;
  for (std::size_t h = 0; h < heads.size(); ++h) {
    const int p = heads[h];
    GroupArray& g = groups[h];
    if (g.strings == 0) continue;
    g.node = next++;
    store.at(g.node)->init(tree.root_ref(), p, static_cast<int>(g.strings));
    ++depth_nodes[0];
    for (; k < units.size() && units[k].group == p; ++k) {
      units[k].first = next;
      next += static_cast<NodeRef>(units[k].nodes);
    }
  }

  // 4. The nodes of each unit.
  PairCells pairs(tree);
  for (StringScratch& s : scratch) s.start_counting(pairs.cells());
  double layout = seconds_since(started);
  share_out(big_first, workers, times != nullptr ? &times->build : nullptr, [&](int k, int worker) {
    look();
    const StringUnit& u = units[static_cast<std::size_t>(k)];
    const GroupArray& g = groups[group_of(u.group)];
    build_unit(u, g.bytes.get(), g.node, unit, store, pairs, scratch[static_cast<std::size_t>(worker)]);
  });
  started = thread_seconds();
  for (StringScratch& s : scratch) {
    for (int d = 0; d < items; ++d)  // read only: the pages of depths not reached stay unbacked
      if (const int n = s.depth[static_cast<std::size_t>(d)]; n != 0) depth_nodes[static_cast<std::size_t>(d)] += n;
    pairs.add(s.pairs);
  }
  if (times != nullptr) times->layout = layout + seconds_since(started);
}

}  // namespace zub
