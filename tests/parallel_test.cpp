// zub-mine --threads N against the one-thread run on random databases: the
// all-itemset miner writes the same bytes on any number of workers (its
// units are written in the one-thread order); the closure miner and both
// maximal miners the same itemsets, in an order of their own that two runs
// repeat byte for byte. Small databases make many small units, so that units
// finish out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <iterator>
#include <random>

#include <stdexcept>
#include <thread>

#include "io/callback_sink.h"
#include "run/units.h"
#include "support/brute_force.h"
#include "support/prepared.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

std::string mine(const std::vector<std::string>& args) {
  std::string out, err;
  EXPECT_EQ(run_mine_in_process(args, &out, &err), 0) << err;
  return out;
}

constexpr std::uint32_t kDatabases = databases(120, 30);

TEST(Parallel, EveryNumberOfWorkersWritesTheOneThreadItemsets) {
  for (std::uint32_t seed = 1; seed <= kDatabases; ++seed) {
    const RandomDb db = random_db(seed, seed % 5 == 0);
    TempDir dir;
    dir.write("db", db.text);
    const std::string minsup = std::to_string(1 + seed % 3);
    for (const char* target : {"all", "closed", "maximal", "projected"}) {
      std::vector<std::string> args{"--target", target, dir.file("db"), minsup, "--threads", "1"};
      if (args[1] == "projected") args = {"--method", "projected", dir.file("db"), minsup, "--threads", "1"};
      if (seed % 4 == 1) args.insert(args.begin(), {"--max-len", "2"});
      const std::string one = mine(args);
      for (const char* threads : {"2", "3", "8"}) {
        SCOPED_TRACE(std::string(target) + ", seed " + std::to_string(seed) + ", threads " + threads);
        std::vector<std::string> many = args;
        many.back() = threads;
        const std::string first = mine(many);
        if (std::string(target) == "all")
          EXPECT_EQ(first, one);
        else
          EXPECT_EQ(parse_itemsets(first), parse_itemsets(one));
        EXPECT_EQ(mine(many), first) << "the bytes moved between two runs";
      }
    }
    if (HasFailure()) break;
  }
}

// The itemsets a sink receives, in the order received, from a run of `text`
// at `minsup` on `threads` workers; a sink that throws at the n-th itemset
// when `throw_at` is n.
std::vector<std::pair<std::vector<int>, int>> sink_run(const std::string& text, int minsup, MiningTarget target,
                                                       int threads, int throw_at = -1) {
  RunRequest req = request(minsup, target);
  req.threads = threads;
  TempDir dir;
  dir.write("db", text);
  Data data(dir.file("db").c_str());
  zub::Run run(req);
  run.read(data);
  std::vector<std::pair<std::vector<int>, int>> got;
  CallbackSink out(
      [&](std::span<const int> ids, int support) {
        if (static_cast<int>(got.size()) == throw_at) throw std::runtime_error("sink stops");
        got.emplace_back(std::vector<int>(ids.begin(), ids.end()), support);
      },
      run.items().file_id.data());
  run.mine(out);
  return got;
}

TEST(Parallel, ASinkGetsTheItemsetsInOrderAndItsExceptionBack) {
  for (std::uint32_t seed = 200; seed < 200 + kDatabases / 2; ++seed) {
    const RandomDb db = random_db(seed, seed % 5 == 0);
    const int minsup = 1 + static_cast<int>(seed % 3);
    for (MiningTarget target : {MiningTarget::all, MiningTarget::closed, MiningTarget::maximal}) {
      const auto one = sink_run(db.text, minsup, target, 1);
      for (int threads : {2, 8}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", threads " + std::to_string(threads));
        auto many = sink_run(db.text, minsup, target, threads);
        EXPECT_EQ(sink_run(db.text, minsup, target, threads), many) << "the order moved between two runs";
        if (target != MiningTarget::all) {  // the same itemsets, as sets
          auto sorted_one = one;
          for (auto* list : {&sorted_one, &many}) {
            for (auto& [ids, support] : *list) std::sort(ids.begin(), ids.end());
            std::sort(list->begin(), list->end());
          }
          EXPECT_EQ(many, sorted_one);
        } else {
          EXPECT_EQ(many, one);
        }
        if (one.size() > 3) {
          EXPECT_THROW(sink_run(db.text, minsup, target, threads, static_cast<int>(one.size() / 2)),
                       std::runtime_error);
        }
      }
    }
    if (HasFailure()) break;
  }
  // Units with over 64 KB of records each, kept while another unit writes:
  // read back in pieces that split records.
  std::string dense;
  for (int t = 0; t < 30; ++t) dense += t % 3 == 0 ? "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\n" : "0 1 2 3 4 5 6 7 8 9 10 11 12 13\n";
  const auto one = sink_run(dense, 1, MiningTarget::all, 1);
  ASSERT_EQ(one.size(), (std::size_t(1) << 15) - 1);
  for (int round = 0; round < 5; ++round) EXPECT_EQ(sink_run(dense, 1, MiningTarget::all, 3), one);
}

// Units of random records (none, a few, or thousands; handed over in
// pieces, with pauses) reach the run's recorder in unit order on any number
// of workers: streaming, with the records not in turn kept in memory or
// spilled to a file (a bound of 0, a few KB, none), through a stage on
// every worker or not, and kept whole for finish() and commit(). An
// exception of a unit comes back.
class RandomUnits final : public UnitWork {
 public:
  RandomUnits(std::uint32_t seed, int units, bool streams, int throw_at)
      : seed_(seed), units_(units), streams_(streams), throw_at_(throw_at) {}
  int units() const override { return units_; }
  bool streams() const override { return streams_; }
  void add_worker(Workspace& ws) override { workers_.push_back(&ws.recorder); }
  void mine(int worker, int unit) override {
    Recorder& r = *workers_[static_cast<std::size_t>(worker)];
    std::mt19937 rng(seed_ * 7919 + static_cast<std::uint32_t>(unit));
    for (const std::vector<int>& record : records_of(unit)) {
      if (unit == throw_at_) throw std::runtime_error("unit fails");
      r.found(record.data() + 1, record[0], record.back());
      if (rng() % 50 == 0) r.flush();
      if (rng() % 500 == 0) std::this_thread::yield();
    }
  }
  void finish(int unit, std::vector<int>& records) override { EXPECT_EQ(records, flat(unit)); }
  void commit(int unit, std::vector<int>& records, Recorder& out) override {
    EXPECT_EQ(records, flat(unit)) << "unit " << unit;
    out.pass_on(records);
  }
  // Each record as (length, items..., support), the support naming its unit.
  std::vector<std::vector<int>> records_of(int unit) const {
    std::mt19937 rng(seed_ * 104729 + static_cast<std::uint32_t>(unit));
    const int n = rng() % 4 == 0 ? 0 : rng() % 5 == 0 ? 3000 + static_cast<int>(rng() % 3000) : static_cast<int>(rng() % 40);
    std::vector<std::vector<int>> out;
    for (int k = 0; k < n; ++k) {
      std::vector<int> record{1 + static_cast<int>(rng() % 6)};
      for (int j = 0; j < record[0]; ++j) record.push_back(static_cast<int>(rng() % 10));
      record.push_back(unit * 100000 + k);
      out.push_back(record);
    }
    return out;
  }
  std::vector<int> flat(int unit) const {
    std::vector<int> all;
    for (const auto& r : records_of(unit)) all.insert(all.end(), r.begin(), r.end());
    return all;
  }

 private:
  const std::uint32_t seed_;
  const int units_;
  const bool streams_;
  const int throw_at_;
  std::vector<Recorder*> workers_;
};

// A stage as the rules' on each worker: every record turned into another
// (its items reversed, its support + 1) or into none (a support that 3
// divides), handed on within the same take().
class ReversingStage final : public RecordStage {
 public:
  static std::vector<int> made(std::span<const int> records) {
    std::vector<int> out;
    for_each_record(records, [&out](const int* items, int n, int support) {
      if (support % 3 == 0) return;
      out.push_back(n);
      out.insert(out.end(), std::reverse_iterator(items + n), std::reverse_iterator(items));
      out.push_back(support + 1);
    });
    return out;
  }
  ItemsetSink& over(ItemsetSink& next) override { return sinks_.emplace_back(next, taken_); }
  long long taken() const override { return taken_; }

 private:
  struct Sink final : ItemsetSink {
    Sink(ItemsetSink& n, std::atomic<long long>& t) : next(n), taken(t) {}
    void take(std::span<const int> records) override {
      for_each_record(records, [this](const int*, int, int) { ++taken; });
      const std::vector<int> out = made(records);
      if (!out.empty()) next.take(out);
    }
    ItemsetSink& next;
    std::atomic<long long>& taken;
  };
  std::atomic<long long> taken_{0};
  std::deque<Sink> sinks_;
};

TEST(Parallel, UnitsReachTheRunInOrder) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const int units = 1 + static_cast<int>(rng() % 30), threads = 1 + static_cast<int>(rng() % 6);
    const bool streams = seed % 3 != 0;
    Settings settings;
    const std::size_t bounds[] = {0, 4096, std::size_t(1) << 30};
    settings.tuning.kept_records_bytes = bounds[seed % 3];
    Workspace ws(settings, 10);
    std::vector<int> got;
    // A destination that is sometimes slow: the other workers mine and keep
    // meanwhile, the head unit too.
    CallbackSink sink([&](std::span<const int> items, int support) {
      got.push_back(static_cast<int>(items.size()));
      got.insert(got.end(), items.begin(), items.end());
      got.push_back(support);
      if (rng() % 1000 == 0) std::this_thread::yield();
    });
    ReversingStage stage;
    const bool staged = seed % 2 == 0 && streams;
    ws.recorder.start(&sink, LengthLimits{}, staged ? &stage : nullptr);
    const int throw_at = seed % 7 == 0 ? static_cast<int>(rng() % static_cast<std::uint32_t>(units)) : -1;
    RandomUnits work(seed, units, streams, throw_at);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(threads) + " threads");
    if (throw_at >= 0 && !work.records_of(throw_at).empty()) {
      EXPECT_THROW(run_units(work, ws, threads, nullptr), std::runtime_error);
      continue;
    }
    run_units(work, ws, threads, nullptr);
    ws.recorder.flush();
    std::vector<int> expected;
    long long count = 0;
    for (int u = 0; u < units; ++u) {
      const std::vector<int> f = staged ? ReversingStage::made(work.flat(u)) : work.flat(u);
      expected.insert(expected.end(), f.begin(), f.end());
      count += static_cast<long long>(work.records_of(u).size());
    }
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(got, expected);
    // Staged records are counted where they were found, not as they arrive.
    EXPECT_EQ(ws.recorder.recorded(), count) << "the run's recorder counts what the units found";
    if (staged) {
      EXPECT_EQ(stage.taken(), count);
    }
  }
}

}  // namespace
}  // namespace zub
