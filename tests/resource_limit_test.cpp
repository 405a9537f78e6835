// zub under an address-space limit (ulimit -v): too little memory must end
// the run with a memory message and status 3, never with a signal, a report
// in the run log or a status 0 beside incomplete output. The limits tried
// range from far too little to just too little, so that runs fail in
// different phases. And wide data (lines of 100,000 ids) within generous
// bounds of memory and processor time, for every program, target and method.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <set>

#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::Itemset;
using test::Mined;
using test::TempDir;

#ifdef ZUB_SANITIZED
#define SKIP_WHEN_SANITIZED() \
  GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit; the Release build runs this"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif

constexpr unsigned long long kMiB = 1ULL << 20;

// A retail-like database: 30000 baskets of 10 items, item k about as common
// as 1/sqrt(k), over 3000 items. Mined at MINSUP 10 it needs some 13 MiB of address space.
std::string basket_database() {
  std::mt19937 rng(20240605);
  std::uniform_real_distribution<double> u(0, 1);
  std::string text;
  for (int t = 0; t < 30000; ++t) {
    std::set<int> basket;
    while (basket.size() < 10) {
      const double x = u(rng);
      basket.insert(static_cast<int>(3000 * x * x));
    }
    for (int item : basket) text.append(std::to_string(item)).push_back(' ');
    text.push_back('\n');
  }
  return text;
}

bool is_memory_message(const std::string& out) {
  return out == "Not enough memory!\n" || out == "INIT: not enough memory to run this program\n" ||
         out == "The blocks are used up.\n";
}

// One run under `limit`; checks that it ends in one of the two sound ways and
// tells whether it mined.
bool run_limited(const TempDir& dir, const std::vector<std::string>& args, unsigned long long limit,
                    const std::string& complete_output) {
  SCOPED_TRACE("address space limit " + std::to_string(limit / 1024) + " KiB");
  std::filesystem::remove(dir.path() / "out");
  test::write_file(dir.path() / "testfile.txt", "");
  test::RunOptions options;
  options.address_space = limit;
  const test::ProcessResult r = test::run_program(test::zub_binary(), args, dir.path(), options);
  if (r.status == 0) {
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(dir.read("out") == complete_output) << "status 0 with output that differs from the full run's";
    EXPECT_NE(dir.read("testfile.txt"), "");
    return true;
  }
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_TRUE(is_memory_message(r.out)) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("testfile.txt"), "") << "a failed run leaves no run report";
  return false;
}

TEST(ResourceLimit, TooLittleAddressSpaceEndsWithAMemoryMessage) {
  SKIP_WHEN_SANITIZED();
  TempDir dir;
  dir.write("db", basket_database());
  const std::vector<std::string> args{"db", "10", "out"};
  const test::ProcessResult full = test::run_program(test::zub_binary(), args, dir.path());
  ASSERT_EQ(full.status, 0) << full.out;
  const std::string complete = dir.read("out");
  ASSERT_FALSE(complete.empty());

  // The smallest limit under which the run succeeds, to 256 KiB; every run
  // on the way must end soundly. Below the first whole MiB at which the
  // program starts at all, the dynamic loader cannot map the C library:
  // nothing of zub's runs there.
  unsigned long long low = 4 * kMiB, high = 1024 * kMiB;
  test::RunOptions starting;
  for (starting.address_space = low; low < 64 * kMiB; low += kMiB, starting.address_space = low)
    if (test::run_program(test::zub_binary(), {"--version"}, dir.path(), starting).status == 0) break;
  ASSERT_FALSE(run_limited(dir, args, low, complete)) << low / kMiB << " MiB should not be enough";
  // Just above the limit at which the program starts, the C++ runtime could
  // not reserve its memory for exceptions: every limit there, in steps of
  // 32 KiB, ends soundly too, wherever the program's size puts it.
  unsigned long long start = low - kMiB;
  for (starting.address_space = start; start < low; start += 32 * 1024, starting.address_space = start)
    if (test::run_program(test::zub_binary(), {"--version"}, dir.path(), starting).status == 0) break;
  for (unsigned long long limit = start; limit < start + kMiB / 2 && !HasFailure(); limit += 32 * 1024)
    EXPECT_FALSE(run_limited(dir, args, limit, complete));
  ASSERT_TRUE(run_limited(dir, args, high, complete)) << "1 GiB should be enough";
  while (high - low > 256 * 1024 && !HasFailure()) {
    const unsigned long long mid = (low + high) / 2;
    (run_limited(dir, args, mid, complete) ? high : low) = mid;
  }
  // Just below that limit, where a run gets furthest before it fails.
  for (unsigned long long step = 1; step <= 4 && !HasFailure(); ++step)
    EXPECT_FALSE(run_limited(dir, args, low - step * 64 * 1024, complete));
  std::printf("smallest limit that mines: %llu KiB\n", high / 1024);
}

// zub-mine on several threads, every target, under limits from far too
// little to enough: each run ends with its whole output or with the memory
// message, status 3 and no output file; never by a signal, whether the
// limit stops a thread from starting or a worker's memory.
TEST(ResourceLimit, ZubMineOnSeveralThreadsEndsSoundly) {
  SKIP_WHEN_SANITIZED();
  TempDir dir;
  dir.write("db", basket_database());
  for (const char* target : {"maximal", "closed", "all", "rules"}) {
    for (const char* threads : {"2", "8"}) {
      const std::vector<std::string> args{"--target", target, "--threads", threads, "db", "10", "out"};
      ASSERT_EQ(test::run_program(test::zub_mine_binary(), args, dir.path()).status, 0);
      const std::string complete = dir.read("out");
      // 1 GiB last: the smallest limit that mines moves with how many
      // threads start and take a heap of their own (8 threads near 72 MiB).
      std::vector<unsigned long long> limits;
      for (unsigned long long limit = 8 * kMiB; limit <= 72 * kMiB; limit += 4 * kMiB) limits.push_back(limit);
      limits.push_back(1024 * kMiB);
      for (unsigned long long limit : limits) {
        if (HasFailure()) break;
        SCOPED_TRACE(std::string(target) + " on " + threads + " threads under " + std::to_string(limit / kMiB) +
                     " MiB");
        std::filesystem::remove(dir.path() / "out");
        test::RunOptions options;
        options.address_space = limit;
        const test::ProcessResult r = test::run_program(test::zub_mine_binary(), args, dir.path(), options);
        if (r.status == 0) {
          EXPECT_EQ(dir.read("out"), complete);
          continue;
        }
        EXPECT_LT(limit, 1024 * kMiB) << "1 GiB should be enough: " << r.err;
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_TRUE(r.err == "Not enough memory!\n" || r.err == "INIT: not enough memory to run this program\n")
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out")) << "a failed run leaves no output file";
      }
    }
  }
}

// A public benchmark dataset, when present: retail.dat at MINSUP 10 needs
// about 24 MiB of address space.
TEST(ResourceLimit, RetailUnder16MiBIsNotEnoughMemory) {
  SKIP_WHEN_SANITIZED();
  const std::string retail = test::dataset("retail.dat");
  if (retail.empty()) GTEST_SKIP() << test::no_dataset("retail.dat");
  TempDir dir;
  test::RunOptions options;
  options.address_space = 16 * kMiB;
  const test::ProcessResult r = test::run_program(test::zub_binary(), {retail, "10", "out"}, dir.path(), options);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(is_memory_message(r.out)) << r.out;
  EXPECT_EQ(dir.read("testfile.txt"), "");
}

// --- wide data ---------------------------------------------------------------

// Three lines over the ids 0..n-1, at a support where every id is frequent,
// and what each target must write: their maximal and closed itemsets and
// their frequent items (the itemsets of --max-len 1).
struct WideInput {
  std::string name;
  std::string text;
  int minsup;
  Mined maximal, closed, items;
};

Itemset id_range(int from, int to) {
  Itemset ids;
  for (int x = from; x < to; ++x) ids.push_back(x);
  return ids;
}

std::string line_of(const Itemset& ids) {
  std::string line;
  for (int x : ids) line += std::to_string(x) + " ";
  return line + "\n";
}

Mined items_with(int from, int to, int support, Mined into = {}) {
  for (int x = from; x < to; ++x) into[{x}] = support;
  return into;
}

std::vector<WideInput> wide_inputs(int n) {
  const int h = n / 2;
  const Itemset all = id_range(0, n), first = id_range(0, h), second = id_range(h, n);
  // All ids, then each half: every pair is frequent at 1.
  WideInput halves{"halves", line_of(all) + line_of(first) + line_of(second), 1, {{all, 1}},
                   {{all, 1}, {first, 2}, {second, 2}}, items_with(0, n, 2)};
  // All ids twice, and two ids seen once: one path of n items.
  WideInput twin{"twin", line_of(all) + line_of(all) + std::to_string(n) + " " + std::to_string(n + 1) + "\n", 2,
                 {{all, 2}}, {{all, 2}}, items_with(0, n, 2)};
  // All ids twice, then the first half again.
  WideInput cut{"cut", line_of(all) + line_of(all) + line_of(first), 2, {{all, 2}}, {{all, 2}, {first, 3}},
                items_with(h, n, 2, items_with(0, h, 3))};
  // The same halves at 2, and all ids with the even and the odd ones at 2:
  // each id's transactions hold a later id, so the ids of a half (or of a
  // parity) hold no maximal itemset of their own but the least frequent.
  // Walking every id's pattern base took square time (20 s at 50,000 ids).
  WideInput halves2{"halves at 2", halves.text, 2, {{first, 2}, {second, 2}}, {{first, 2}, {second, 2}},
                    items_with(0, n, 2)};
  Itemset evens, odds;
  for (int x = 0; x < n; ++x) (x % 2 == 0 ? evens : odds).push_back(x);
  WideInput parity{"parity at 2", line_of(all) + line_of(evens) + line_of(odds), 2, {{evens, 2}, {odds, 2}},
                   {{evens, 2}, {odds, 2}}, items_with(0, n, 2)};
  return {halves, twin, cut, halves2, parity};
}

// Keeping every frequent pair of the main tree cost the square of the ids
// (6.3 GB at 40,000 ids), and the closure method checked the closure of
// every id over the whole line (16 s at 100,000). The bounds are generous:
// these runs take well under 100 MB of resident memory and a second; the
// address space also holds each thread's heap reservation. Sanitized builds
// cannot limit the address space and run on 5,000 ids.
TEST(ResourceLimit, WideDataWithinBoundsForEveryTargetAndMethod) {
#ifdef ZUB_SANITIZED
  const int n = 5000;
  test::RunOptions bounds;
  bounds.cpu_seconds = 60;
#else
  const int n = 100000;
  test::RunOptions bounds;
  bounds.address_space = 512 * kMiB;
  bounds.cpu_seconds = 10;
#endif
  for (const WideInput& in : wide_inputs(n)) {
    TempDir dir;
    dir.write("db", in.text);
    const std::string minsup = std::to_string(in.minsup);
    {
      SCOPED_TRACE(in.name + ": zub");
      const test::ProcessResult r = test::run_program(test::zub_binary(), {"db", minsup, "out"}, dir.path(), bounds);
      EXPECT_EQ(r.status, 0) << r.out << r.err;
      if (r.status == 0) {
        EXPECT_EQ(test::parse_itemsets(dir.read("out")), in.maximal);
      }
      // The run report, or a single path's length report.
      const std::string mfi = "\nMFI: " + std::to_string(in.maximal.size()) + "\n";
      EXPECT_NE((r.out + dir.read("testfile.txt")).find(mfi), std::string::npos) << r.out;
    }
    struct Run {
      std::vector<std::string> options;
      const Mined* expected;
    };
    const Mined none;
    const std::vector<Run> runs{{{"--method", "lookahead"}, &in.maximal},
                                {{"--method", "projected"}, &in.maximal},
                                {{"--target", "closed", "--method", "closure"}, &in.closed},
                                {{"--target", "closed", "--method", "cfi-tree"}, &in.closed},
                                {{"--target", "all", "--max-len", "1"}, &in.items},
                                {{"--target", "rules", "--max-len", "1"}, &none}};
    for (const Run& run : runs)
      for (const char* threads : {"1", "2"}) {
        std::vector<std::string> args = run.options;
        args.insert(args.end(), {"--threads", threads, "db", minsup});
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        SCOPED_TRACE(in.name + ": zub-mine " + shown);
        const test::ProcessResult r = test::run_program(test::zub_mine_binary(), args, dir.path(), bounds);
        EXPECT_EQ(r.status, 0) << r.err;
        if (r.status == 0) {
          EXPECT_EQ(test::parse_itemsets(r.out), *run.expected);
        }
      }
  }
  // At MINSUP 0 every id up to the largest is an item, and every pair of
  // them frequent, though most never occur.
  TempDir dir;
  const std::string last = std::to_string(n);
  dir.write("db", "1 2\n1 " + last + "\n" + last + "\n");
  const test::ProcessResult r = test::run_program(test::zub_binary(), {"db", "0", "out"}, dir.path(), bounds);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  if (r.status == 0) {
    EXPECT_EQ(test::parse_itemsets(dir.read("out")), (Mined{{id_range(0, n + 1), 0}}));
  }
}

// Resident memory follows what a run holds, not the items times the threads:
// a worker's scratch by item lies in zeroed pages that wide data hardly
// touches, the build keeps only the positions that head a transaction, a
// unit that keeps nothing costs a few bytes, and the writer does not keep a
// copy of a long line. At 200,000 ids (all, then each half) every run stays
// under 90 MB; maximal on two threads took 100 MB and projected 136 MB when
// each worker filled arrays of every item. The peak is /usr/bin/time's: a
// child of this (large) test process would count its pages as its own.
// Sanitizers add memory of their own.
TEST(ResourceLimit, WideDataResidentMemoryFollowsTheRunNotTheItems) {
#ifdef ZUB_SANITIZED
  GTEST_SKIP() << "sanitized builds hold shadow memory";
#else
  const std::string time = "/usr/bin/time";
  if (access(time.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << time;
  const long long bound_kb = 90 * 1024;
  const WideInput in = wide_inputs(200000).front();
  ASSERT_EQ(in.name, "halves");
  TempDir dir;
  dir.write("db", in.text);
  // Runs the program under time; its peak resident memory in KiB.
  auto peak_kb = [&](const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), {"-f", "peak %M", program});
    const test::ProcessResult r = test::run_program(time, args, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::size_t at = r.err.rfind("peak ");
    return at == std::string::npos ? -1LL : std::stoll(r.err.substr(at + 5));
  };
  {
    SCOPED_TRACE("zub");
    const long long kb = peak_kb(test::zub_binary(), {"db", "1", "out"});
    EXPECT_GT(kb, 0);
    EXPECT_LT(kb, bound_kb);
    EXPECT_EQ(test::parse_itemsets(dir.read("out")), in.maximal);
  }
  const Mined none;
  const std::vector<std::pair<std::vector<std::string>, const Mined*>> runs{
      {{"--method", "lookahead"}, &in.maximal},
      {{"--method", "projected"}, &in.maximal},
      {{"--target", "closed", "--method", "closure"}, &in.closed},
      {{"--target", "closed", "--method", "cfi-tree"}, &in.closed},
      {{"--target", "all", "--max-len", "1"}, &in.items},
      {{"--target", "rules", "--max-len", "1"}, &none}};
  for (const auto& [options, expected] : runs)
    for (const char* threads : {"1", "2"}) {
      std::vector<std::string> args = options;
      args.insert(args.end(), {"--threads", threads, "db", "1", "out"});
      std::string shown;
      for (const auto& a : args) shown += a + " ";
      SCOPED_TRACE("zub-mine " + shown);
      const long long kb = peak_kb(test::zub_mine_binary(), args);
      EXPECT_GT(kb, 0);
      EXPECT_LT(kb, bound_kb);
      EXPECT_EQ(test::parse_itemsets(dir.read("out")), *expected);
    }
#endif
}

}  // namespace
}  // namespace zub
