// zub under an address-space limit (ulimit -v): too little memory must end
// the run with a memory message and status 3, never with a signal, a report
// in the run log or a status 0 beside incomplete output. The limits tried
// range from far too little to just too little, so that runs fail in
// different phases.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "support/test_support.h"

namespace zub {
namespace {

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
      int mined = 0;
      for (unsigned long long limit = 8 * kMiB; limit <= 72 * kMiB && !HasFailure(); limit += 4 * kMiB) {
        SCOPED_TRACE(std::string(target) + " on " + threads + " threads under " + std::to_string(limit / kMiB) +
                     " MiB");
        std::filesystem::remove(dir.path() / "out");
        test::RunOptions options;
        options.address_space = limit;
        const test::ProcessResult r = test::run_program(test::zub_mine_binary(), args, dir.path(), options);
        if (r.status == 0) {
          ++mined;
          EXPECT_EQ(dir.read("out"), complete);
          continue;
        }
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_TRUE(r.err == "Not enough memory!\n" || r.err == "INIT: not enough memory to run this program\n")
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out")) << "a failed run leaves no output file";
      }
      EXPECT_GT(mined, 0) << "no limit was enough";
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

}  // namespace
}  // namespace zub
