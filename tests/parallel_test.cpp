// zub-mine --threads N against the one-thread run on random databases: the
// all-itemset miner writes the same bytes on any number of workers (its
// units are written in the one-thread order); the closure miner and both
// maximal miners the same itemsets, in an order of their own that two runs
// repeat byte for byte. Small databases make many small units, so that units
// finish out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <stdexcept>

#include "run/ordered_output.h"
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

// A sanitized build (ThreadSanitizer above all) runs a quarter of the databases.
#ifdef ZUB_SANITIZED
constexpr std::uint32_t kDatabases = 30;
#else
constexpr std::uint32_t kDatabases = 120;
#endif

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
  FSout out([&](std::span<const int> ids, int support) {
    if (static_cast<int>(got.size()) == throw_at) throw std::runtime_error("sink stops");
    got.emplace_back(std::vector<int>(ids.begin(), ids.end()), support);
  });
  out.set_order(run.items().file_id.data());
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

// Units written in pieces by their workers in a random interleaving and
// finished in a random order come out in unit order, whether the kept text
// goes to temporary files or stays in memory.
TEST(Parallel, OrderedOutputKeepsUnitOrder) {
  for (const bool files : {true, false})
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      std::mt19937 rng(seed);
      const int units = 1 + static_cast<int>(rng() % 12), workers = 1 + static_cast<int>(rng() % 4);
      std::string emitted, expected;
      OrderedOutput out([&](const char* b, std::size_t n) { emitted.append(b, n); }, units, workers, files);
      // Each worker mines the units w, w + workers, ...; a step writes a piece
      // of one of the current units or finishes it.
      std::vector<int> current(static_cast<std::size_t>(workers));
      std::vector<std::string> text(static_cast<std::size_t>(units));
      for (int w = 0; w < workers; ++w) current[static_cast<std::size_t>(w)] = w;
      for (int live = std::min(units, workers); live > 0;) {
        const int w = static_cast<int>(rng() % static_cast<std::uint32_t>(workers));
        int& u = current[static_cast<std::size_t>(w)];
        if (u >= units) continue;
        if (rng() % 4 != 0) {
          const std::string piece(1 + rng() % 70000 * (rng() % 8 == 0), static_cast<char>('a' + u % 26));
          text[static_cast<std::size_t>(u)] += piece;
          out.write(u, w, piece.data(), piece.size());
        } else {
          out.finish(u);
          u += workers;
          live -= u >= units;
        }
      }
      for (const std::string& t : text) expected += t;
      ASSERT_EQ(emitted.size(), expected.size()) << "seed " << seed << (files ? ", files" : ", memory");
      EXPECT_EQ(emitted, expected) << "seed " << seed << (files ? ", files" : ", memory");
    }
}

}  // namespace
}  // namespace zub
